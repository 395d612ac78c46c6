// Plot captions come from users (titles, file names, typed text): any bytes, with any
// control codes, at any size and angle, must draw without a crash and measure to a finite x.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "qx/plot.h"
#include "qx/session.h"
#include "qx/units.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  float text_size = 0, angle = 0;
  std::memcpy(&text_size, data, 4);
  std::memcpy(&angle, data + 4, 4);
  const int font = data[8] % 10;
  const std::string_view text(reinterpret_cast<const char*>(data + 9), size - 9);

  qx::StringOutput out;
  qx::StringInput in("");
  qx::Session s(out);
  s.dest.file = std::fopen("/dev/null", "wb");
  s.dest.name = "/dev/null";
  s.gfx.tek.type = 1;
  s.gfx.plot.default_font = font > 8 ? 0 : font;
  qx::qxplot(s, in, out, 0, 1.0f, 'S', 0, 10, 0, 10);
  const float end = qx::qxtext(s, 1, 'S', 5.0f, 5.0f, text_size, angle, text);
  qx::qxtext(s, 0, 'S', 5.0f, 5.0f, text_size, angle, text);
  qx::qxend(s, 'S');
  if (std::isfinite(text_size) && std::isfinite(angle) && std::fabs(text_size) < 1e6f && !std::isfinite(end)) {
    std::abort();
  }
  return 0;
}
