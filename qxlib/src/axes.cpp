// QXAXES (ticks and labels of the plot window) and QXFIT (straight-line fit).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "qx/format.h"
#include "qx/plot.h"
#include "qx/session.h"
#include "qx/units.h"

namespace qx {

namespace {

constexpr int kTickRange = 100;         // candidate ticks k = -100 .. 100
constexpr float kLabelDrop = 1.8f;      // labels this many heights below the axis
constexpr float kLogLabelDrop = 1.98f;
constexpr float kLabelSize = 0.75f;     // labels against the library character size
constexpr float kLogAxisMaxRange = 20.0f;
constexpr float kTiny = 1.0e-30f;

// Whether v lies in the window's range; a hair of slack keeps the end ticks that the
// single-precision sums land a rounding error outside.
bool within(float v, float lo, float hi, float step) {
  const float slack = 1.0e-4f * std::fabs(step);
  return v >= std::min(lo, hi) - slack && v <= std::max(lo, hi) + slack;
}

// One axis: its range, the tick and label geometry, and where things go.
struct AxisGeometry {
  bool horizontal;
  float lo, hi;            // the range along the axis
  float base, top;         // the frame edges across it (the axis, the opposite edge)
  float tick;              // major tick length across the axis
  float label_h;           // label character height (plot units across a horizontal axis)
  float label_w;           // label character width (plot units along a horizontal axis)
  int decimals;
  bool labels;
  bool mirror;             // ticks again on the opposite edge
};

void tick(Session& s, char device, const AxisGeometry& g, float v, float len) {
  if (g.horizontal) {
    qxdraw(s, device, v, g.base + len, 3);
    qxdraw(s, device, v, g.base, 2);
    if (g.mirror) {
      qxdraw(s, device, v, g.top, 3);
      qxdraw(s, device, v, g.top - len, 2);
    }
  } else {
    qxdraw(s, device, g.base + len, v, 3);
    qxdraw(s, device, g.base, v, 2);
    if (g.mirror) {
      qxdraw(s, device, g.top, v, 3);
      qxdraw(s, device, g.top - len, v, 2);
    }
  }
}

void grid_line(Session& s, char device, const AxisGeometry& g, float v) {
  if (g.horizontal) {
    qxdraw(s, device, v, g.top, 3);
    qxdraw(s, device, v, g.base, 2);
  } else {
    qxdraw(s, device, g.top, v, 3);
    qxdraw(s, device, g.base, v, 2);
  }
}

void label(Session& s, char device, const AxisGeometry& g, float v, const std::string& text, float drop,
           float size) {
  const float width = qxtext(s, 1, device, 0.0f, 0.0f, size, 0.0f, text);
  if (g.horizontal) {
    qxtext(s, 0, device, v - width / 2.0f, g.base - drop * g.label_h, size, 0.0f, text);
  } else {
    qxtext(s, 0, device, g.base - g.label_w - width, v - g.label_h / 2.0f, size, 0.0f, text);
  }
}

void draw_axis(Session& s, char device, const AxisGeometry& g, int n, bool logarithmic, float size) {
  const AxesOptions& o = s.gfx.axes;
  const float range = g.hi - g.lo;
  if (range == 0.0f || !std::isfinite(range) || n <= 0) return;
  AxisStep st{std::copysign(1.0f, range), false};
  if (!logarithmic) st = axis_step(range, n);
  if (st.step == 0.0f || !std::isfinite(st.step)) return;
  const float step = st.step;
  const float b = std::trunc(g.lo / step) * step;
  const float text_size = 5.0f * kLabelSize * size;

  for (int k = -kTickRange; k <= kTickRange; ++k) {
    const float v = b + static_cast<float>(k - 1) * step;
    if (!within(v, g.lo, g.hi, step)) continue;
    if (o.grid) {
      grid_line(s, device, g, v);
    } else {
      tick(s, device, g, v, g.tick);
    }
    if (g.labels) {
      if (logarithmic) {
        label(s, device, g, v, decade_label(v), kLogLabelDrop, text_size);
      } else {
        label(s, device, g, v, axis_label(v, g.decimals), kLabelDrop, text_size);
      }
    }
  }

  // Minor ticks, half as long, inside each major interval.
  if (logarithmic) {
    for (int k = -kTickRange; k <= kTickRange; ++k) {
      for (int a = 2; a <= 9; ++a) {
        const float v = b + static_cast<float>(k - 1) * step + std::copysign(std::log10(static_cast<float>(a)), step);
        if (within(v, g.lo, g.hi, 0.0f)) tick(s, device, g, v, g.tick / 2.0f);
      }
    }
    return;
  }
  int minor = static_cast<int>(std::lround(std::isfinite(o.minor) ? std::clamp(o.minor, 0.0f, 100.0f) : 0.0f));
  if (st.last_factor_25) minor = o.fives ? 5 : 0;
  for (int k = -kTickRange; k <= kTickRange && minor > 1; ++k) {
    for (int a = 2; a <= minor; ++a) {
      const float v = b + (static_cast<float>(a - 1) / static_cast<float>(minor) + static_cast<float>(k - 1)) * step;
      if (within(v, g.lo, g.hi, 0.0f)) tick(s, device, g, v, g.tick / 2.0f);
    }
  }
}

}  // namespace

AxisStep axis_step(float range, int n) {
  AxisStep r{0.0f, false};
  if (n <= 0 || range == 0.0f || !std::isfinite(range)) return r;
  const float nf = static_cast<float>(n);
  const float sdiv = range / nf;
  const int e = static_cast<int>(std::trunc(std::log10(std::fabs(sdiv)) + 1.0e-6f));
  float step = std::copysign(std::pow(10.0f, static_cast<float>(e)), sdiv);
  if (std::fabs(range / step) < nf) step /= 10.0f;
  // Widen the step by 2, 2.5, 2 in turn until about n intervals remain.
  for (int guard = 0; guard < 100 && nf < std::fabs(range / step) - 3.0f; ++guard) {
    step *= 2.0f;
    r.last_factor_25 = false;
    if (!(nf < std::fabs(range / step) - 3.0f)) break;
    step *= 2.5f;
    r.last_factor_25 = true;
    if (!(nf < std::fabs(range / step) - 3.0f)) break;
    step *= 2.0f;
    r.last_factor_25 = false;
  }
  r.step = step;
  return r;
}

int auto_decimals(float range) {
  const float r = std::fabs(range);
  if (r >= 20.0f) return 0;
  if (r >= 2.0f) return 1;
  if (r >= 0.2f) return 2;
  if (r >= 0.02f) return 3;
  if (r >= 0.002f) return 4;
  if (r >= 0.0002f) return 5;
  return 6;
}

std::string axis_label(float value, int decimals) {
  if (std::fabs(value) < kTiny) return "0";
  std::string text;
  if (decimals == 0 && std::fabs(value) < 9.9999995e7f) {
    text = edit_i(std::lround(value), 10);
  } else if (decimals >= 1 && decimals <= 5) {
    text = edit_f(value, 10, decimals);
  }
  if (text.empty() || text.find('*') != std::string::npos) text = edit_e(value, 8, 1, 1);
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string("0") : text.substr(first);
}

std::string decade_label(float decade) {
  const long e = std::isfinite(decade) ? std::lround(std::clamp(decade, -99999.0f, 999999.0f)) : 0;
  const int w = (e >= 0 && e <= 9) ? 1 : (e >= -9 && e <= 99) ? 2 : (e >= -99 && e <= 999) ? 3 : 6;
  return "10^U" + edit_i(e, w);
}

void qxaxes_option(Session& s, char letter, int ivalue, float rvalue) {
  AxesOptions& o = s.gfx.axes;
  const bool on = ivalue != 0;
  const auto nearest = [](float v) {
    return std::isfinite(v) ? static_cast<int>(std::lround(std::clamp(v, -100.0f, 100.0f))) : -1;
  };
  switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'K':
      if (rvalue >= 1.0e-10f && std::isfinite(rvalue)) o.tick = rvalue;
      break;
    case 'G':
      if (std::isfinite(rvalue)) o.minor = rvalue;
      break;
    case 'I':
      o.x_decimals = nearest(rvalue);
      break;
    case 'J':
      o.y_decimals = nearest(rvalue);
      break;
    case 'X':
      o.log_x = on;
      break;
    case 'U':
      o.upper = on;
      break;
    case 'R':
      o.right = on;
      break;
    case '5':
      o.fives = on;
      break;
    case 'V':
      o.x_labels = on;
      break;
    case 'W':
      o.y_labels = on;
      break;
    case 'L':
      o.grid = on;
      break;
    default:
      break;
  }
}

void qxaxes(Session& s, char device, int nx, int ny, float size) {
  const PlotState& p = s.gfx.plot;
  const AxesOptions& o = s.gfx.axes;
  if (!(size > 0.0f) || !std::isfinite(size)) size = 1.0f;
  // The label cell: the library character size as QXTEXT computes it, scaled for labels.
  float cw = p.char_size * std::fabs(p.width), ch = p.char_size * std::fabs(p.height);
  const float a = p.aspect > 1.0e-5f ? p.aspect : kSqrt2;
  if (a < 1.0f) {
    cw /= a;
  } else {
    ch *= a;
  }
  const float h = ch * kLabelSize * size, w = cw * kLabelSize * size;
  const float sign_y = p.height < 0 ? -1.0f : 1.0f, sign_x = p.width < 0 ? -1.0f : 1.0f;

  if (nx > 0) {
    const bool logarithmic = o.log_x && std::fabs(p.width) <= kLogAxisMaxRange;
    const int d = o.x_decimals >= 0 ? o.x_decimals : auto_decimals(p.width);
    const AxisGeometry g{true, p.x0, p.x1, p.y0, p.y1, o.tick * h * sign_y,
                         h * sign_y, w * sign_x, d, o.x_labels, o.upper};
    draw_axis(s, device, g, nx, logarithmic, size);
  }
  if (ny > 0) {
    const int d = o.y_decimals >= 0 ? o.y_decimals : auto_decimals(p.height);
    const AxisGeometry g{false, p.y0, p.y1, p.x0, p.x1, o.tick * w * sign_x,
                         h * sign_y, w * sign_x, d, o.y_labels, o.right};
    draw_axis(s, device, g, ny, false, size);
  }
}

LineFit qxfit(Output& out, std::span<const float> x, std::span<const float> y) {
  LineFit f;
  const std::size_t n = std::min(x.size(), y.size());
  static const Format kNone{"(1H ,'Unable to fit a straight line to one or less points!',/)"};
  static const Format kTwo{"(1H ,'Only two data points, perfect fit possible!',/)"};
  static const Format kVertical{"(1H ,'Infinite slope (vertical) line.',/)"};
  if (n < 2) {
    out.write(kNone);
    f.slope = 1.0f;
    return f;
  }
  if (n == 2) {
    out.write(kTwo);
    if (std::fabs(x[1] - x[0]) > 1.0e-20f) {
      f.slope = (y[1] - y[0]) / (x[1] - x[0]);
      f.intercept = y[1] - f.slope * x[1];
    } else {
      f.slope = 1.0e10f;
      f.intercept = x[1];
      out.write(kVertical);
    }
    return f;
  }
  const float nf = static_cast<float>(n);
  float sx = 0, sy = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sx += x[i];
    sy += y[i];
  }
  float stt = 0, syt = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const float t = x[i] - sx / nf;
    stt += t * t;
    syt += y[i] * t;
  }
  if (!(stt > 0.0f) || !std::isfinite(stt)) {
    // All x alike: the line is vertical, as with two points one above the other.
    out.write(kVertical);
    f.slope = 1.0e10f;
    f.intercept = x[n - 1];
    return f;
  }
  f.slope = syt / stt;
  f.intercept = (sy - sx * f.slope) / nf;
  f.slope_error = std::sqrt(1.0f / stt);
  f.intercept_error = std::sqrt((1.0f + sx * sx / (nf * stt)) / nf);
  for (std::size_t i = 0; i < n; ++i) {
    const float r = y[i] - f.intercept - f.slope * x[i];
    f.chi_square += r * r;
  }
  const float sigma = std::sqrt(f.chi_square / (nf - 2.0f));
  f.slope_error *= sigma;
  f.intercept_error *= sigma;
  return f;
}

}  // namespace qx
