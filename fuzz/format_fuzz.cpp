// Layout parser and record rendering: arbitrary layouts must either be refused with
// std::invalid_argument or render any values without crashing, hanging or overrunning.
// Input: the layout up to the first newline, then values of 9 bytes each (a kind byte and
// 8 bytes of payload: the bits of a double, an integer, or a text length).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "qx/format.h"

namespace {

constexpr std::size_t kMaxValues = 16;
constexpr std::string_view kTextPool = "Quadrupole  Drift  System End  ab''cd  x";

std::vector<qx::FormatArg> values_from(const std::uint8_t* p, std::size_t n) {
  std::vector<qx::FormatArg> values;
  for (std::size_t i = 0; i + 9 <= n && values.size() < kMaxValues; i += 9) {
    std::uint64_t payload;
    std::memcpy(&payload, p + i + 1, sizeof payload);
    switch (p[i] % 3) {
      case 0: {
        double d;
        std::memcpy(&d, &payload, sizeof d);
        values.emplace_back(d);
        break;
      }
      case 1: values.emplace_back(static_cast<long long>(payload)); break;
      default: values.emplace_back(kTextPool.substr(0, payload % (kTextPool.size() + 1))); break;
    }
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::size_t end = std::string_view(text, size).find('\n');
  const std::string_view layout(text, end == std::string_view::npos ? size : end);
  const std::size_t rest = end == std::string_view::npos ? size : end + 1;
  const std::vector<qx::FormatArg> values = values_from(data + rest, size - rest);

  std::string out = qx::render_list(values);
  try {
    const qx::Format f{layout};
    out = f.render(values);
    out = f.render(std::span<const qx::FormatArg>());
  } catch (const std::invalid_argument&) {
  }
  // The edit functions with field sizes taken from the values.
  for (const qx::FormatArg& v : values) {
    const std::int64_t i = v.integer();
    const int w = static_cast<int>(static_cast<std::uint64_t>(i) % 40) + 1;
    const int d = static_cast<int>((static_cast<std::uint64_t>(i) >> 8) % 30);
    const int k = static_cast<int>((static_cast<std::uint64_t>(i) >> 16) % 7) - 3;
    out = qx::edit_f(v.real(), w, d, k);
    out = qx::edit_e(v.real(), w, d, k, static_cast<int>((static_cast<std::uint64_t>(i) >> 24) % 4));
    out = qx::edit_g(v.real(), w, d, k);
    out = qx::edit_i(i, w, d % (w + 1));
  }
  return 0;
}
