#include "analysis/map.h"

#include <algorithm>
#include <cmath>

#include "analysis/display.h"
#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "qx/plot.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kMargin = 1.05;            // extents are widened by 5 %
constexpr double kNoWidth = 1.0e-10;        // um: a window answer below this keeps the default
constexpr long kFirstRay = 3;               // rays 1 and 2 are the paraxial rays
constexpr std::string_view kMapOptions = "EDRIJ";
constexpr double kWidestMap = 1.0e30;       // um, well inside single precision

// Prints the extents as MAP reports them (um).
void print_extents(Lumiray& s, long rays, const Extents& e) {
  static const qx::Format kRays{"(1H ,I6,' rays.')"};
  static const qx::Format kRange{"(1H ,A,'min = ',1P,G13.5,' to ',A,'max = ',1P,G13.5,' micron',/,"
                                 "1H ,A,'range = ',1P,G13.5,' micron')"};
  const double u = kMicrometresPerMetre;
  s.out.write(kRays, rays);
  s.out.write(kRange, "X", e.xmin * u, "X", e.xmax * u, "X", e.xrange() * u);
  s.out.write(kRange, "Y", e.ymin * u, "Y", e.ymax * u, "Y", e.yrange() * u);
}

// The half width (m) the map is drawn to: the default from the extents, or the user's.
std::optional<double> ask_half_width(Lumiray& s, const Extents& e) {
  static const qx::Format kAround{"(1H ,'Map done to +/- ',1P,G13.5,' micron, other? > ',$)"};
  static const qx::Format kWindow{
      "(1H ,'Map done for window width +/-',1P,G13.5,' micron centred on data, other? > ',$)"};
  const bool window = s.display.window;
  const double h = kMargin * (window ? std::max(e.xrange(), e.yrange()) / 2.0 : e.largest());
  const std::optional<double> um =
      ask_fixed(s.dialogue(), [&] { s.out.write(window ? kWindow : kAround, h * kMicrometresPerMetre); });
  if (!um) return std::nullopt;
  if (window ? std::fabs(*um) > kNoWidth : *um != 0.0) return std::fabs(*um) / kMicrometresPerMetre;
  return h;
}

// LQMAP: the box of half width h about the axis, or about the data centre in window mode,
// the captions, the rays inside the box as dots and the scale bar.
void lqmap(Lumiray& s, char device, RaySource& rays, double z, double h, const Extents& e) {
  static const qx::Format kWindow{"(1H ,'Using window mode.',/,1H ,'X limits: ',1P,G13.5,' to ',1P,G13.5,/,"
                                  "1H ,'Y limits: ',1P,G13.5,' to ',1P,G13.5)"};
  static const qx::Format kLabel{"('Box edge length = ',1P,G11.4,' ^2l^cm','  Z = ',1P,G11.4,' ^2l^cm')"};
  const double u = kMicrometresPerMetre;
  double cx = 0.0, cy = 0.0;
  if (s.display.window) {
    cx = (e.xmin + e.xmax) / 2.0;
    cy = (e.ymin + e.ymax) / 2.0;
    s.out.write(kWindow, (cx - h) * u, (cx + h) * u, (cy - h) * u, (cy + h) * u);
  }
  const PlotBox box{static_cast<float>((cx - h) * u), static_cast<float>((cx + h) * u),
                    static_cast<float>((cy - h) * u), static_cast<float>((cy + h) * u)};
  if (!begin_box_plot(s, device, box)) return;
  if (s.display.captions)
    draw_captions(s, device, box, plot_text(kLabel, {2.0 * h * u, z * u}));
  each_ray(rays, s.display.paraxial ? 1 : kFirstRay, [&](long, const Ray& r) {
    const Point p = at_plane(r, z);
    if (std::fabs(p.x - cx) <= h && std::fabs(p.y - cy) <= h)
      draw_dot(s, device, box, static_cast<float>(p.x * u), static_cast<float>(p.y * u));
    return true;
  });
  if (s.display.scale) draw_scale_bar(s, device, box, h * u);
  qx::qxend(s.qx, device);
}

}  // namespace

void map_command(Lumiray& s, const qx::CommandLine& line) {
  const char option = line.option;
  if (option == 'E' || option == 'D') {
    display_switch(s, line, true);
    return;
  }
  const char device = plot_device(s, option, kMapOptions);
  if (option == 'R' && !s.display.mapped) {
    static const qx::Format kNoMap{"(1H ,'? - There is no map to repeat.')"};
    s.out.write(kNoMap);
    return;
  }
  DataSet rays(s);
  if (rays.count() < kFirstRay) {
    static const qx::Format kNoData{"(1H ,'? - No data for display.')"};
    s.out.write(kNoData);
    return;
  }
  double z = s.display.z, h = s.display.half_width;
  if (option != 'R') {
    const ImagePlanes planes = image_planes(rays, ParaxialTest::slope_product, s.out);
    if (option == 'I' || option == 'J') {
      z = planes.zx + plane_argument(s.reg, line) / kMicrometresPerMetre;
      h = s.reg.a[0] / kMicrometresPerMetre;
    } else {
      const std::optional<double> plane = ask_plane(s, planes);
      if (!plane) return;
      z = *plane;
    }
  }
  static const qx::Format kAt{"(1H ,'Image plotted at Z = ',1P,G13.5,' m',/)"};
  s.out.write(kAt, z);
  const std::optional<Extents> e = extents_at(rays, z, kFirstRay);
  if (!e) return;
  print_extents(s, rays.count(), *e);
  if (option != 'R' && option != 'I' && option != 'J') {
    const std::optional<double> answer = ask_half_width(s, *e);
    if (!answer) return;
    h = *answer;
  }
  // A box of no size would divide the plot by zero.
  if (!(std::fabs(h) > 0.0) || !std::isfinite(h)) {
    static const qx::Format kZero{"(1H ,'? - Zero range; nothing to map.')"};
    s.out.write(kZero);
    return;
  }
  h = std::fabs(h);
  // Plot coordinates are single precision: a wider box would reach the device as infinity.
  const double centre = s.display.window ? std::max(std::fabs(e->xmin + e->xmax), std::fabs(e->ymin + e->ymax)) : 0.0;
  if (!((centre + h) * kMicrometresPerMetre < kWidestMap)) {
    static const qx::Format kTooWide{"(1H ,'? - The map is too wide to plot.')"};
    s.out.write(kTooWide);
    return;
  }
  take_run_number(s.out);
  lqmap(s, device, rays, z, h, *e);
  static const qx::Format kPreparing{"(1H ,'Preparing to map at Z = ',1P,G13.5,' m')"};
  s.out.write(kPreparing, z);
  s.display.mapped = true;
  s.display.z = z;
  s.display.half_width = h;
}

void maxima_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kResult{
      "(1H ,'At Z = ',1P,G13.5,'um from X image plane the max. extent is ',1P,G13.5,' um')"};
  DataSet rays(s);
  if (rays.count() < kFirstRay) {
    static const qx::Format kNoData{"(1H ,'No data!',/)"};
    s.out.write(kNoData);
    return;
  }
  const ImagePlanes planes = image_planes(rays, ParaxialTest::each_slope, s.out);
  double n = plane_argument(s.reg, line);
  if (n == 0.0 && qx::qxlen(line.arg()) == 0) {
    static const qx::Format kFind{"(1H ,'Find the maximum extent in a particular plane',/,"
                                  "1H ,'X focus = ',1P,G13.5,'um',/,1H ,'Y focus = ',1P,G13.5,'um')"};
    s.out.write(kFind, planes.zx * kMicrometresPerMetre, planes.zy * kMicrometresPerMetre);
    static const qx::Format kAsk{"(1H ,'Z plane for maximum extent (um) > ',$)"};
    const std::optional<double> answer = ask_fixed(s.dialogue(), [&] { s.out.write(kAsk); });
    if (!answer) return;
    n = *answer;
  }
  // The plane is measured from the X image plane.
  const double z = planes.zx + n / kMicrometresPerMetre;
  const std::optional<Extents> e = extents_at(rays, z, kFirstRay);
  if (!e) return;
  const double m = kMargin * e->largest() * kMicrometresPerMetre;
  static const qx::Format kNoRegister{"(1H ,'%MAXIMA - Registers are numbered 0 to 9, not ',A,'; nothing stored.')"};
  if (line.option >= '0' && line.option <= '9')
    s.reg.a[static_cast<std::size_t>(line.option - '0')] = m;
  else if (line.option != ' ')
    s.out.write(kNoRegister, std::string(1, line.option));
  s.out.write(kResult, n, m);
}

}  // namespace lumiray
