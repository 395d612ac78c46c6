// Smallest target: feeds arbitrary bytes to the keyboard-style record reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "qx/units.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx::StringInput in(std::string(reinterpret_cast<const char*>(data), size));
  std::string line;
  while (qx::read_record(in, line, 40) == qx::ReadStatus::ok) {
  }
  return 0;
}
