#include "qx/plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "qx/session.h"
#include "qx/units.h"

namespace qx {

namespace {

char device_letter(char d) {
  const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(d)));
  return u == ' ' ? 'S' : u;
}

bool is_screen(char d) { return d != 'Q' && d != 'H' && d != 'P' && d != 'O' && d != 'U'; }

// Tens digit of the screen pen code for a line style.
int style_digit(int style) {
  switch (style) {
    case 1:
    case 5:
      return 3;
    case 2:
    case 6:
      return 2;
    case 3:
      return 1;
    case 4:
      return 4;
    default:
      return 0;
  }
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

void device_point(Session& s, char device, float x, float y, int action) {
  switch (device) {
    case 'Q':
      ps_point(s, x, y, action);
      break;
    case 'H':
    case 'P':
      hpgl_point(s, x, y, action);
      break;
    case 'O':
    case 'U':
      break;
    default:
      plot_point(s, x, y, action + 10 * style_digit(s.gfx.plot.line_style));
  }
}

}  // namespace

Frame screen_frame(float a, float m) {
  if (!(a > 1.0e-5f) || !std::isfinite(a)) a = kSqrt2;   // no aspect given: the usual frame
  Frame f{};
  f.x0 = (3.0f * m + 1.0f) * 145.0f / 4.0f;
  f.y0 = 80.0f * m;
  if (a >= kSqrt2) {
    f.x1 = 990.0f;
    f.y1 = (990.0f - f.x0) / a + f.y0;
  } else {
    f.y1 = (990.0f - f.x0) / kSqrt2 + f.y0;
    f.x1 = (f.y1 - f.y0) * a + f.x0;
  }
  if (a > 2.0f) {
    const float d = (724.0f - (f.y1 - f.y0)) / 2.0f;
    f.y0 += 0.75f * d;
    f.y1 += 0.75f * d;
  } else if (a <= 1.0f) {
    const float d = (1023.0f - (f.x1 - f.x0)) / 2.0f;
    f.x0 += 0.5f * d;
    f.x1 += 0.5f * d;
  }
  return f;
}

int qxplot(Session& s, Input& in, Output& out, int k, float a, char device, float x0, float x1, float y0,
           float y1) {
  PlotState& p = s.gfx.plot;
  store_window(p, x0, x1, y0, y1);
  p.aspect = a;
  p.last_action = 3;
  device = device_letter(device);
  p.device = device;
  switch (device) {
    case 'O':
      out.list("Not implemented at Tarnby.");
      return 0;
    case 'Q':
      return ps_begin(s, a, p.margin, x0, x1, y0, y1) ? 0 : 1;
    case 'H':
    case 'P':
      return hpgl_begin(s, device, a, x0, x1, y0, y1, k);
    case 'U':
      return 0;
    default:
      break;
  }
  const Frame f = screen_frame(a, p.margin);
  set_clip_window(s, 0, kScreenMax, 0, 767);
  ScreenTransform& t = s.gfx.tek.t;
  t.sx0 = static_cast<int>(f.x0);
  t.sx1 = static_cast<int>(f.x1);
  t.sy0 = static_cast<int>(f.y0);
  t.sy1 = static_cast<int>(f.y1);
  if (!begin_screen_plot(s, in, out, x0, x1, y0, y1)) return 1;
  if (s.gfx.auto_clear) graphics_erase(s);
  return 0;
}

void qxdraw(Session& s, char device, float x, float y, int action) {
  PlotState& p = s.gfx.plot;
  device = device_letter(device);
  if (action == 3) {
    p.last_x = x;
    p.last_y = y;
    p.last_action = 3;
    return;
  }
  if (p.last_action == 3) device_point(s, device, p.last_x, p.last_y, 3);
  device_point(s, device, x, y, 2);
  p.last_x = x;
  p.last_y = y;
  p.last_action = 2;
}

void qxbox(Session& s, char device, float x1, float x2, float y1, float y2, bool store_only) {
  store_window(s.gfx.plot, x1, x2, y1, y2);
  if (store_only) return;
  device = device_letter(device);
  qxdraw(s, device, x1, y1, 3);
  qxdraw(s, device, x2, y1, 2);
  qxdraw(s, device, x2, y2, 2);
  qxdraw(s, device, x1, y2, 2);
  qxdraw(s, device, x1, y1, 2);
  if (device == 'S') qxdraw(s, device, x1, y2, 2);
}

void qxend(Session& s, char device) {
  device = device_letter(device);
  if (device == 'Q') {
    ps_flush(s);
  } else if (is_screen(device)) {
    qxmode(s, 0);
  }
}

void set_line_style(Session& s, int style) { s.gfx.plot.line_style = (style >= 0 && style <= 6) ? style : 0; }

void set_margin_factor(Session& s, float m) { s.gfx.plot.margin = std::isfinite(m) && m >= 0.0f ? m : 0.0f; }

void set_char_size(Session& s, float fraction) {
  s.gfx.plot.char_size = std::isfinite(fraction) && fraction > 0.0f ? fraction : 0.0225f;
}

}  // namespace qx
