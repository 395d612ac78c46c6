#include "analysis/phase_plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/display.h"
#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "qx/plot.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr long kFirstRay = 3;               // rays 1 and 2 are the paraxial rays
constexpr std::string_view kPlotOptions = "ED";
constexpr std::string_view kLetters = "XTYPE";
constexpr double kZeroArea = 1.0e-30;
constexpr double kLargestLimit = 1.0e30;
constexpr double kSideRoom = 0.05;          // of the horizontal range, both sides
constexpr double kLabelRoom = 0.10;         // of the vertical range, below (the labels)
constexpr double kCaptionRoom = 0.12;       // of the vertical range, above (the caption block)
constexpr float kAspect = 1.4142135f;
constexpr float kCaptionSize = 3.75f;
constexpr float kLabelSize = 3.0f;
constexpr int kTicks = 5;

// The axis title of each quantity, with the font escape for micrometres.
std::string_view axis_title(char letter) {
  switch (letter) {
    case 'X': return "X (^2l^cm)";
    case 'Y': return "Y (^2l^cm)";
    case 'T': return "Theta (mrad)";
    case 'P': return "Phi (mrad)";
    default: return "DE (%)";
  }
}

std::size_t slot(char letter) { return kLetters.find(letter); }

// Smallest and largest value of the five quantities over rays 3..NTOT at z.
struct Ranges {
  std::array<double, 5> lo{}, hi{};
  bool any = false;
  void add(const Ray& r, double z) {
    for (std::size_t k = 0; k < kLetters.size(); ++k) {
      const double v = phase_value(r, z, kLetters[k]);
      if (!std::isfinite(v)) continue;
      lo[k] = any ? std::min(lo[k], v) : v;
      hi[k] = any ? std::max(hi[k], v) : v;
    }
    any = true;
  }
};

void print_ranges(Lumiray& s, long rays, const Ranges& g) {
  static const qx::Format kRays{"(1H ,I6,' rays.')"};
  static const qx::Format kRange{"(1H ,A,'min = ',1P,G12.5,' to ',A,'max = ',1P,G12.5,A,/,"
                                 "1H ,A,'range = ',1P,G12.5,A)"};
  static const qx::Format kEnergy{"(1H ,'Emin = ',1P,G12.5,' to Emax = ',1P,G12.5,/,1H ,'Erange = ',1P,G12.5)"};
  s.out.write(kRays, rays);
  for (const char c : std::string_view("XTYP")) {
    const std::size_t k = slot(c);
    const char* unit = c == 'X' || c == 'Y' ? " micron" : " mrad";
    const std::string l(1, c);
    s.out.write(kRange, l, g.lo[k], l, g.hi[k], unit, l, g.hi[k] - g.lo[k], unit);
  }
  s.out.write(kEnergy, g.lo[4], g.hi[4], g.hi[4] - g.lo[4]);
}

// One of the five letters; asked again until one is given. Empty at the end of the input.
std::optional<char> ask_quantity(Lumiray& s, const qx::Format& prompt) {
  while (true) {
    const std::optional<char> c = ask_letter(s.dialogue(), prompt);
    if (!c) return std::nullopt;
    if (*c != ' ' && kLetters.find(*c) != std::string_view::npos) return c;
  }
}

// The limits of one axis, the data range offered. Empty at the end of the input.
std::optional<std::array<double, 2>> ask_limits(Lumiray& s, char letter, double lo, double hi) {
  static const qx::Format kAsk{"(1H ,'Limits on ',A,'-axis (',1P,G12.5,',',1P,G12.5,') > ',$)"};
  double a = lo, b = hi;
  const std::string l(1, letter);
  if (!ask_numbers(s.dialogue(), [&] { s.out.write(kAsk, l, lo, hi); }, a, b)) return std::nullopt;
  if (a > b) std::swap(a, b);
  return std::array<double, 2>{a, b};
}

// MAP's scale bar, when scale drawing is on and the horizontal axis is a position, drawn
// inside the frame above its lower left corner (the tick labels take the room below).
void draw_scale(Lumiray& s, char device, const PlotBox& box, float vrange) {
  const float x0 = box.x0 + 0.05f * (box.x1 - box.x0);
  draw_scale_bar_at(s, device, box, (box.x1 - box.x0) / 2.0, x0, box.y0 + 0.08f * vrange, 0.015f * vrange);
}

// The framed axes with their titles, the caption block and the rays inside the limits.
void draw_plot(Lumiray& s, char device, DataSet& rays, double z, char hq, char vq, const std::array<double, 2>& h,
               const std::array<double, 2>& v) {
  const double hr = h[1] - h[0], vr = v[1] - v[0];
  const float x0 = static_cast<float>(h[0] - kSideRoom * hr), x1 = static_cast<float>(h[1] + kSideRoom * hr);
  const float y0 = static_cast<float>(v[0] - kLabelRoom * vr);
  const float y1 = static_cast<float>(v[1] + (s.display.captions ? kCaptionRoom * vr : 0.0));
  static const qx::Format kCannot{"(1H ,'Unable to plot at this time.')"};
  if (qx::qxplot(s.qx, s.input.current(), s.out, 0, kAspect, device, x0, x1, y0, y1) != 0) {
    s.out.write(kCannot);
    return;
  }
  const PlotBox box{static_cast<float>(h[0]), static_cast<float>(h[1]), static_cast<float>(v[0]),
                    static_cast<float>(v[1])};
  qx::qxbox(s.qx, device, box.x0, box.x1, box.y0, box.y1);
  qx::qxaxes(s.qx, device, kTicks, kTicks, 1.0f);
  const float hx = static_cast<float>(hr), vy = static_cast<float>(vr);
  const std::string_view ht = axis_title(hq), vt = axis_title(vq);
  const float wide = qx::qxtext(s.qx, 1, device, 0.0f, 0.0f, kLabelSize, 0.0f, ht);
  qx::qxtext(s.qx, 0, device, box.x1 - wide, box.y0 + 0.03f * vy, kLabelSize, 0.0f, ht);
  qx::qxtext(s.qx, 0, device, box.x0 + 0.02f * hx, box.y1 - 0.07f * vy, kLabelSize, 0.0f, vt);
  if (s.display.captions) {
    qx::qxtext(s.qx, 0, device, box.x0, box.y1 + 0.07f * vy, kCaptionSize, 0.0f, qx::trim_right(s.caption));
    const std::string_view name = qx::trim_right(s.data_file);
    const float right = qx::qxtext(s.qx, 1, device, 0.0f, 0.0f, kLabelSize, 0.0f, name);
    qx::qxtext(s.qx, 0, device, box.x1 - right, box.y1 + 0.02f * vy, kLabelSize, 0.0f, name);
  }
  each_ray(rays, s.display.paraxial ? 1 : kFirstRay, [&](long, const Ray& r) {
    const double a = phase_value(r, z, hq), b = phase_value(r, z, vq);
    if (a >= h[0] && a <= h[1] && b >= v[0] && b <= v[1])
      draw_dot(s, device, box, static_cast<float>(a), static_cast<float>(b));
    return true;
  });
  if (s.display.scale && (hq == 'X' || hq == 'Y')) draw_scale(s, device, box, vy);
  qx::qxend(s.qx, device);
}

}  // namespace

double phase_value(const Ray& r, double z, char letter) {
  switch (letter) {
    case 'X': return at_plane(r, z).x * kMicrometresPerMetre;
    case 'Y': return at_plane(r, z).y * kMicrometresPerMetre;
    case 'T': return r.th * 1000.0;
    case 'P': return r.ph * 1000.0;
    default: return r.d;
  }
}

void plot_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kNoData{"(1H ,'? - No data for display.')"};
  static const qx::Format kAt{"(1H ,'Image plotted at Z = ',1P,G13.5,' m')"};
  static const qx::Format kHorizontal{"(1H ,7X,'Parameter on horizontal ? (X,T,Y,P,E) > ',$)"};
  static const qx::Format kVertical{"(1H ,7X,'  Parameter on vertical ? (X,T,Y,P,E) > ',$)"};
  static const qx::Format kZero{"(1H ,' Zero range on one axis')"};
  static const qx::Format kTooWide{"(1H ,'?PLOT - A limit is too large to plot; type smaller limits.')"};
  if (line.option == 'E' || line.option == 'D') {
    display_switch(s, line, false);
    return;
  }
  const char device = plot_device(s, line.option, kPlotOptions);
  DataSet rays(s);
  if (rays.count() < kFirstRay) {
    s.out.write(kNoData);
    return;
  }
  const ImagePlanes planes = image_planes(rays, ParaxialTest::slope_product, s.out);
  const std::optional<double> plane = ask_plane(s, planes);
  if (!plane) return;
  const double z = *plane;
  s.out.write(kAt, z);
  Ranges g;
  if (!each_ray(rays, kFirstRay, [&](long, const Ray& r) {
        g.add(r, z);
        return true;
      }))
    return;
  print_ranges(s, rays.count(), g);
  const std::optional<char> hq = ask_quantity(s, kHorizontal);
  if (!hq) return;
  const std::optional<char> vq = ask_quantity(s, kVertical);
  if (!vq) return;
  const auto h = ask_limits(s, *hq, g.lo[slot(*hq)], g.hi[slot(*hq)]);
  if (!h) return;
  const auto v = ask_limits(s, *vq, g.lo[slot(*vq)], g.hi[slot(*vq)]);
  if (!v) return;
  if (!((*h)[1] - (*h)[0] >= 0.0 && ((*h)[1] - (*h)[0]) * ((*v)[1] - (*v)[0]) >= kZeroArea)) {
    s.out.write(kZero);
    return;
  }
  // Plot coordinates are single precision.
  for (const double limit : {(*h)[0], (*h)[1], (*v)[0], (*v)[1]})
    if (!(std::fabs(limit) < kLargestLimit)) {
      s.out.write(kTooWide);
      return;
    }
  take_run_number(s.out);
  draw_plot(s, device, rays, z, *hq, *vq, *h, *v);
}

}  // namespace lumiray
