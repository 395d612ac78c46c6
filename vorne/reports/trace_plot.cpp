// The picture of TRACE: z in metres across, x and y in millimetres up, the elements drawn as
// outlines of their bores and jaws, the x and the y trajectory over them.
#include <algorithm>
#include <string>
#include <string_view>

#include "qx/plot.h"
#include "qx/session.h"
#include "qx/text.h"
#include "reports/trace.h"

namespace vorne {

namespace {

constexpr float kBelow = 0.20f;       // room below and left of the frame for the labels (4 x 5 %)
constexpr float kAbove = 0.05f;       // and above and right of it
constexpr float kTextSize = 5.0f;     // the library's character size
constexpr float kCurveLabel = 4.0f;   // "x" and "y" at the ends of the curves
constexpr int kTicks = 5;             // major ticks asked of each axis
constexpr double kMillimetres = 1000.0;

constexpr float kMarkDepth = 0.02f;   // an outline beyond the extent stays this far inside

struct Frame {
  char device;
  float z1, z2, e1, e2;   // the frame: z range (m) and extent (mm)
  float clip_y(double mm) const {
    return static_cast<float>(std::clamp(mm, static_cast<double>(e1), static_cast<double>(e2)));
  }
  // An outline's edge: a bore or jaw beyond the extent is drawn just inside the frame, so
  // every element still shows where it is.
  float mark_y(double mm) const {
    const double d = kMarkDepth * (e2 - e1);
    return static_cast<float>(std::clamp(mm, e1 + d, e2 - d));
  }
};

void segment(qx::Session& qx, const Frame& f, float za, float ya, float zb, float yb) {
  qx::qxdraw(qx, f.device, za, ya, 3);
  qx::qxdraw(qx, f.device, zb, yb, 2);
}

// Text in the trace's own font when one is set (a font control in front of it).
std::string in_font(int font, std::string_view text) {
  std::string t;
  if (font >= 0 && font <= 9) t = std::string("^") + static_cast<char>('0' + font);
  return t + std::string(text);
}

float text_width(qx::Session& qx, const Frame& f, const std::string& text, float size) {
  return qx::qxtext(qx, 1, f.device, 0.0f, 0.0f, size, 0.0f, text);
}

void draw_labels(qx::Session& qx, const LensSystem& s, const Frame& f, int font) {
  const float zr = f.z2 - f.z1;
  const float er = f.e2 - f.e1;
  const std::size_t first = std::min(s.title.find_first_not_of(' '), s.title.size());
  const std::string title = in_font(font, qx::trim_right(s.title.substr(first)));
  qx::qxtext(qx, 0, f.device, f.z1, f.e2 + 0.015f * er, kTextSize, 0.0f, title);

  const std::string zlabel = in_font(font, "z-axis (m)");
  const float zw = text_width(qx, f, zlabel, kTextSize);
  qx::qxtext(qx, 0, f.device, (f.z1 + f.z2 - zw) / 2.0f, f.e1 - 0.11f * er, kTextSize, 0.0f, zlabel);

  const std::string caption = in_font(font, s.data_file);
  const float cw = text_width(qx, f, caption, kTextSize);
  qx::qxtext(qx, 0, f.device, f.z2 - cw, f.e1 - 0.17f * er, kTextSize, 0.0f, caption);

  // Turned by 90 degrees, a text's length runs up in the units of the vertical axis.
  const std::string ylabel = in_font(font, "x- and y-axes (mm)");
  const qx::PlotState& ps = qx.gfx.plot;
  const float up = ps.width != 0.0f ? ps.aspect * ps.height / ps.width : 1.0f;
  const float yw = text_width(qx, f, ylabel, kTextSize) * up;
  qx::qxtext(qx, 0, f.device, f.z1 - 0.15f * zr, (f.e1 + f.e2 - yw) / 2.0f, kTextSize, 90.0f, ylabel);
}

// One pole of a lens: from the frame's edge to the bore and along it.
void draw_pole(qx::Session& qx, const Frame& f, float za, float zb, float edge, float bore) {
  qx::qxdraw(qx, f.device, za, edge, 3);
  qx::qxdraw(qx, f.device, za, bore, 2);
  qx::qxdraw(qx, f.device, zb, bore, 2);
  qx::qxdraw(qx, f.device, zb, edge, 2);
}

void draw_outlines(qx::Session& qx, const LensSystem& s, const Frame& f) {
  double start = 0.0;
  for (int k = kFirstElementRow; k < s.izend && k <= kRows; ++k) {
    const TypeCode t = s.type_at(k);
    if (t.supra == 1) continue;
    const double end = start + s.p(k, 2);
    const bool inside = end >= f.z1 && start <= f.z2;
    if (t.type == kCollimator && start >= f.z1 && start <= f.z2) {
      // The jaws: from the frame's edges to offset +- width.
      const float z = static_cast<float>(start);
      const double offset = s.p(k, 3) * kMillimetres;
      const double width = s.p(k, 4) * kMillimetres;
      segment(qx, f, z, f.e2, z, f.mark_y(offset + width));
      segment(qx, f, z, f.e1, z, f.mark_y(offset - width));
    } else if (t.polarity != 0 && inside) {
      const float za = static_cast<float>(std::max(start, static_cast<double>(f.z1)));
      const float zb = static_cast<float>(std::min(end, static_cast<double>(f.z2)));
      const double r = bore_radius(s, k);
      if (r >= 0.0) {
        draw_pole(qx, f, za, zb, f.e2, f.mark_y(r * kMillimetres));
        draw_pole(qx, f, za, zb, f.e1, f.mark_y(-r * kMillimetres));
      } else {
        // Field values, no bore: the element's ends across the whole frame.
        segment(qx, f, za, f.e1, za, f.e2);
        segment(qx, f, zb, f.e1, zb, f.e2);
      }
    }
    start = end;
  }
}

// One trajectory over the first `drawn` steps, labelled at its last point.
void draw_curve(qx::Session& qx, const Frame& f, const TracePlot& p, bool y, std::string_view name) {
  const std::vector<TraceStep>& steps = *p.steps;
  const int n = std::min(p.drawn, static_cast<int>(steps.size()));
  if (n < 1) return;
  for (int k = 0; k < n; ++k) {
    const TraceStep& st = steps[static_cast<std::size_t>(k)];
    qx::qxdraw(qx, f.device, static_cast<float>(st.z), f.clip_y(y ? st.y : st.x), k == 0 ? 3 : 2);
  }
  const TraceStep& last = steps[static_cast<std::size_t>(n - 1)];
  qx::qxtext(qx, 0, f.device, static_cast<float>(last.z) + 0.01f * (f.z2 - f.z1), f.clip_y(y ? last.y : last.x),
             kCurveLabel, 0.0f, in_font(p.font, name));
}

}  // namespace

int start_trace_plot(qx::Session& qx, qx::Input& in, qx::Output& out, const TracePlot& p) {
  const float z1 = static_cast<float>(p.z1), z2 = static_cast<float>(p.z2);
  const float e1 = static_cast<float>(p.e1), e2 = static_cast<float>(p.e2);
  const float zr = z2 - z1;
  const float er = e2 - e1;
  return qx::qxplot(qx, in, out, 0, qx::kSqrt2, p.device, z1 - kBelow * zr, z2 + kAbove * zr, e1 - kBelow * er,
                    e2 + kAbove * er);
}

void draw_trace(qx::Session& qx, const LensSystem& s, const TracePlot& p) {
  const Frame f{p.device, static_cast<float>(p.z1), static_cast<float>(p.z2), static_cast<float>(p.e1),
                static_cast<float>(p.e2)};
  qx::qxbox(qx, f.device, f.z1, f.z2, f.e1, f.e2);
  qx::qxaxes(qx, f.device, kTicks, kTicks, 1.0f);
  draw_labels(qx, s, f, p.font);
  draw_outlines(qx, s, f);
  draw_curve(qx, f, p, false, "x");
  draw_curve(qx, f, p, true, "y");
  qx::qxend(qx, f.device);
}

}  // namespace vorne
