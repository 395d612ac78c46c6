#include "analysis/plane.h"

#include <algorithm>
#include <cmath>

#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kFlatSlope = 1.0e-20;       // a slope difference below this images nothing
constexpr double kFlatProduct = 1.0e-30;     // nor does a product of the two below this

}  // namespace

ImagePlanes image_planes(RaySource& rays, ParaxialTest test, qx::Output& out) {
  static const qx::Format kBad{"(1H ,'Bad paraxial rays.')"};
  Ray r1, r2;
  if (rays.count() >= 2 && rays.get(1, r1) && rays.get(2, r2)) {
    const double dth = r2.th - r1.th, dph = r2.ph - r1.ph;
    const bool flat = test == ParaxialTest::each_slope
                          ? std::fabs(dth) < kFlatSlope || std::fabs(dph) < kFlatSlope
                          : std::fabs(dth * dph) < kFlatProduct;
    if (!flat) {
      const ImagePlanes p{-(r2.x - r1.x) / dth, -(r2.y - r1.y) / dph};
      if (std::isfinite(p.zx) && std::isfinite(p.zy)) return p;
    }
  }
  out.write(kBad);
  return ImagePlanes{};
}

void Extents::add(Point p) {
  // A damaged ray (not finite) has no place in a plane; the binning drops it as outside too.
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
  if (empty) {
    xmin = xmax = p.x;
    ymin = ymax = p.y;
    empty = false;
    return;
  }
  xmin = std::min(xmin, p.x);
  xmax = std::max(xmax, p.x);
  ymin = std::min(ymin, p.y);
  ymax = std::max(ymax, p.y);
}

double Extents::largest() const {
  return std::max({std::fabs(xmin), std::fabs(xmax), std::fabs(ymin), std::fabs(ymax)});
}

std::optional<Extents> extents_at(RaySource& rays, double z, long first, Extents start) {
  Extents e = start;
  if (!each_ray(rays, first, [&](long, const Ray& r) {
        e.add(at_plane(r, z));
        return true;
      }))
    return std::nullopt;
  return e;
}

std::optional<int> register_argument(const qx::CommandLine& line) {
  const std::string text = line.arg();
  const std::string_view arg = qx::trim_right(text);
  if (arg.size() == 2 && (arg[0] == 'A' || arg[0] == 'a') && arg[1] >= '0' && arg[1] <= '9') return arg[1] - '0';
  return std::nullopt;
}

double plane_argument(const Registers& reg, const qx::CommandLine& line) {
  if (const std::optional<int> k = register_argument(line)) return reg.a[static_cast<std::size_t>(*k)];
  return line.number;
}

std::optional<double> ask_plane(Lumiray& s, const ImagePlanes& planes, char answer) {
  static const qx::Format kAsk{"(1H ,'Plane for image analysis (X, Y, or Other plane) > ',$)"};
  static const qx::Format kAskFocal{"(1H ,'Plane for image analysis (X, Y, F, G or Other plane) > ',$)"};
  static const qx::Format kFocal{"(1H ,'F (x focal point) ',1P,G13.5,' m',/,1H ,'G (y focal point) ',1P,G13.5,' m',/,"
                                 "1H ,'(Relative to end of system)')"};
  static const qx::Format kImages{"(1H ,'Y Image ',1P,G13.5,' micron',/,1H ,'X Image ',1P,G13.5,' micron')"};
  static const qx::Format kDistance{"(1H ,' Distance (micron) > ',$)"};
  static const qx::Format kChoices{
      "(1H ,'X      X image plane',/,1H ,'Y      Y image plane',/,1H ,'O      Other plane')"};
  static const qx::Format kFocalChoices{"(1H ,'F      X focal point',/,1H ,'G      Y focal point')"};
  const bool focal = s.fake.focus_known;
  while (true) {
    const std::optional<char> c = answer != ' ' ? answer : ask_letter(s.dialogue(), focal ? kAskFocal : kAsk);
    if (!c) return std::nullopt;
    answer = ' ';
    if (*c == 'X') return planes.zx;
    if (*c == 'Y') return planes.zy;
    if (focal && *c == 'F') return s.fake.focus_x;
    if (focal && *c == 'G') return s.fake.focus_y;
    if (*c == 'O') {
      if (focal) s.out.write(kFocal, s.fake.focus_x, s.fake.focus_y);
      s.out.write(kImages, planes.zy * kMicrometresPerMetre, planes.zx * kMicrometresPerMetre);
      const std::optional<double> um = ask_fixed(s.dialogue(), [&] { s.out.write(kDistance); });
      if (!um) return std::nullopt;
      return *um / kMicrometresPerMetre;
    }
    s.out.write(kChoices);
    if (focal) s.out.write(kFocalChoices);
  }
}

std::optional<double> ask_image_distance(Lumiray& s, const ImagePlanes& planes) {
  static const qx::Format kImages{"(1H ,'X image = ',1P,G13.5,' um Y image = ',1P,G13.5,' um')"};
  static const qx::Format kAsk{"(1H ,'Image distance (micron) (CR for 0) > ',$)"};
  s.out.write(kImages, planes.zx * kMicrometresPerMetre, planes.zy * kMicrometresPerMetre);
  const std::optional<double> um = ask_fixed(s.dialogue(), [&] { s.out.write(kAsk); });
  if (!um) return std::nullopt;
  return *um / kMicrometresPerMetre;
}

}  // namespace lumiray
