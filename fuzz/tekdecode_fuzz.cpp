// The terminal stream decoder reads files users hand to tek2svg: any bytes must decode
// without a crash, and every segment must stay on the 10-bit screen.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "qx/tekdecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qx::TekDrawing d = qx::decode_tek(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const qx::TekPage& p : d.pages) {
    for (const qx::TekSegment& s : p.segments) {
      if (s.x0 < 0 || s.x0 > 1023 || s.y1 < 0 || s.y1 > 1023) std::abort();
    }
    (void)qx::tek_page_svg(p);
  }
  return 0;
}
