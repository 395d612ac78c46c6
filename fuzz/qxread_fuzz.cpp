// Arbitrary bytes as answers at a numeric prompt: every answer is accepted with finite
// values, or rejected or ended with both defaults untouched.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qx/command.h"
#include "qx/units.h"

namespace {

constexpr double kFirst = -123.25;
constexpr double kSecond = 456.5;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void check_answer(qx::Answer a, double first, double second) {
  if (a == qx::Answer::accepted) {
    check(std::isfinite(first) && std::isfinite(second));
  } else {
    check(first == kFirst && second == kSecond);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qx::StringOutput out;
  qx::StringInput in(text);
  for (int answers = 0; answers < 64; ++answers) {
    double first = kFirst;
    double second = kSecond;
    const qx::Answer a = qx::qxread(in, out, true, first, second);
    check_answer(a, first, second);
    if (a == qx::Answer::end) break;
  }
  double first = kFirst;
  double second = kSecond;
  check_answer(qx::qxrdst(text, out, false, first, second), first, second);
  return 0;
}
