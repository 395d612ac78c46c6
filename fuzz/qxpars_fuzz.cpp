// Arbitrary bytes as command lines: the canonical layout must hold whatever is typed.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qx/command.h"
#include "qx/session.h"
#include "qx/units.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void check_layout(const qx::CommandLine& c) {
  check(c.line.size() == 40);
  check(c.line[6] == ' ');
  for (std::size_t i = 0; i < 6; ++i) check(c.line[i] < 'a' || c.line[i] > 'z');
  check(c.option < 'a' || c.option > 'z');
  check(std::isfinite(c.number));
  check(c.typed_arg.size() <= 40);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qx::StringOutput out;
  qx::Session s(out);
  check_layout(qx::qxpars(text, s));
  const qx::CommandLine c = qx::prepare_line(text, s);
  check_layout(c);
  static constexpr std::string_view kTable[] = {"P", "PTF", "S", "STIG", "EXIT", "", "$", "@"};
  const int i = qx::match_command(c.word(), kTable);
  check(i >= -1 && i < 8);
  return 0;
}
