#include "qx/plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "qx/device.h"
#include "qx/session.h"
#include "qx/units.h"

namespace qx {

namespace {

// The screen frame: left margin (3m + 1) quarters of 145 units, bottom margin 80 m, right
// edge at 990; a wide frame (a > 2) is raised by three quarters of its room below 724
// units, a narrow one (a <= 1) moved right by half its room on the screen.
constexpr PageGeometry<float> kScreenPage{145.0f, 80.0f, 990.0f, kSqrt2};
constexpr float kWideAspect = 2.0f, kNarrowAspect = 1.0f;
constexpr float kWideFrameHeight = 724.0f, kWideRaise = 0.75f;
constexpr float kScreenWidth = static_cast<float>(kScreenMax), kNarrowShift = 0.5f;

char device_letter(char d) {
  const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(d)));
  return u == ' ' ? 'S' : u;
}

void store_window(PlotState& p, float x0, float x1, float y0, float y1) {
  p.x0 = x0;
  p.x1 = x1;
  p.y0 = y0;
  p.y1 = y1;
  p.width = x1 - x0;
  p.height = y1 - y0;
  p.label_margin = x0 - 0.05f * p.width;
}

// The device of the plot in progress; a call naming another device's letter (drawing into
// two files at once) gets that one.
const PlotDevice& device_of(const Session& s, char letter) {
  const PlotState& p = s.gfx.plot;
  letter = device_letter(letter);
  if (p.current != nullptr && letter == p.device) return *p.current;
  return plot_device_for(letter);
}

}  // namespace

Frame screen_frame(float a, float m) {
  if (!(a > 1.0e-5f) || !std::isfinite(a)) a = kSqrt2;   // no aspect given: the usual frame
  Frame f = page_frame(kScreenPage, a, m);
  if (a > kWideAspect) {
    const float d = (kWideFrameHeight - (f.y1 - f.y0)) / 2.0f;
    f.y0 += kWideRaise * d;
    f.y1 += kWideRaise * d;
  } else if (a <= kNarrowAspect) {
    const float d = (kScreenWidth - (f.x1 - f.x0)) / 2.0f;
    f.x0 += kNarrowShift * d;
    f.x1 += kNarrowShift * d;
  }
  return f;
}

int qxplot(Session& s, Input& in, Output& out, int k, float a, char device, float x0, float x1, float y0,
           float y1) {
  PlotState& p = s.gfx.plot;
  store_window(p, x0, x1, y0, y1);
  p.aspect = a;
  p.last_action = 3;
  p.device = device_letter(device);
  p.current = &plot_device_for(p.device);
  const int status = p.current->begin(s, in, out, PlotStart{p.device, k, a, p.margin, x0, x1, y0, y1});
  p.title.clear();   // it named this plot only
  return status;
}

void qxdraw(Session& s, char device, float x, float y, int action) {
  PlotState& p = s.gfx.plot;
  if (action == 3) {
    p.last_x = x;
    p.last_y = y;
    p.last_action = 3;
    return;
  }
  const PlotDevice& d = device_of(s, device);
  if (p.last_action == 3) d.move(s, p.last_x, p.last_y);
  d.draw(s, x, y);
  p.last_x = x;
  p.last_y = y;
  p.last_action = 2;
}

void qxbox(Session& s, char device, float x1, float x2, float y1, float y2, bool store_only) {
  store_window(s.gfx.plot, x1, x2, y1, y2);
  if (store_only) return;
  qxdraw(s, device, x1, y1, 3);
  qxdraw(s, device, x2, y1, 2);
  qxdraw(s, device, x2, y2, 2);
  qxdraw(s, device, x1, y2, 2);
  qxdraw(s, device, x1, y1, 2);
  if (device_of(s, device).retraces_frame()) qxdraw(s, device, x1, y2, 2);
}

void qxend(Session& s, char device) { device_of(s, device).end(s); }

void set_plot_title(Session& s, std::string_view title) { s.gfx.plot.title = std::string(title); }

void set_line_style(Session& s, int style) { s.gfx.plot.line_style = (style >= 0 && style <= 6) ? style : 0; }

void set_margin_factor(Session& s, float m) { s.gfx.plot.margin = std::isfinite(m) && m >= 0.0f ? m : 0.0f; }

void set_char_size(Session& s, float fraction) {
  s.gfx.plot.char_size = std::isfinite(fraction) && fraction > 0.0f ? fraction : 0.0225f;
}

}  // namespace qx
