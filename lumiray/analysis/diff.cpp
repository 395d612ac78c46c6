#include "analysis/diff.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "analysis/ray_tools.h"
#include "generate/fake.h"
#include "io/lqio.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kMicron = 1.0e-6;
constexpr int kDefaultRings = 20;
constexpr int kMaxRings = 1000;
constexpr int kReportedOutside = 10;
constexpr std::size_t kNameAnswer = 30;

const qx::Format kRule{"(1H ,78('-'))"};

}  // namespace

int brightness_ring(double r, double range, int n) {
  const double d = range / n;
  // Ring k is [(k-1)d, kd): the ring whose centre radius and area the file reports.
  const std::optional<std::int64_t> k = qx::int_part(r / d, 0, kMaxRings);
  if (!k || *k + 1 > n || r < 0.0) return 0;
  return static_cast<int>(*k + 1);
}

void diff_command(Lumiray& s, const std::string& typed) {
  s.out.write(kRule);
  static const qx::Format kTitle{"(1H ,20X,'Differential brightness options')"};
  s.out.write(kTitle);
  s.out.write(kRule);
  DataSet rays(s);
  if (!has_rays(s, rays, "?LQDIFF", 2)) return;
  std::string name(qx::trim_right(typed));
  if (name.empty()) {
    const std::string current = base_name(s.data_file);
    if (!current.empty()) name = current + "br";
  }
  static const qx::Format kAsk{"(1H ,'Output filename > ',$)"};
  if (name.empty()) {
    const std::optional<std::string> answer = ask_file_name(s.dialogue(), kAsk, kNameAnswer);
    if (!answer || answer->empty()) return;
    name = *answer;
  }
  name = base_name(name) + ".fit";
  static const qx::Format kOutput{"(1H ,20X,'Output in file ',A)"};
  s.out.write(kOutput, name);
  // The file takes its name only when it is complete.
  const std::unique_ptr<qx::FileOutput> file = open_plot_file(s, name, qx::FileOutput::Mode::atomic, "?LQDIFF", 2);
  if (!file) return;
  static const qx::Format kRings{"(1H ,'Number of annuli (CR for N=20) > ',$)"};
  const std::optional<double> rings = ask_fixed(s.dialogue(), [&] { s.out.write(kRings); });
  if (!rings) return;
  const int rounded = static_cast<int>(qx::nearest_int(std::clamp(*rings, -1.0, kMaxRings + 1.0)).value_or(0));
  const int n = rounded < 1 ? kDefaultRings : std::min(rounded, kMaxRings);

  const std::optional<double> plane = ask_image_distance(s, image_planes(rays, ParaxialTest::each_slope, s.out));
  if (!plane) return;
  const double z = *plane;
  const auto radius = [z](const Ray& r) {
    const Point p = at_plane(r, z);
    return std::sqrt(p.x * p.x + p.y * p.y);
  };
  Ray r;
  if (!rays.get(1, r)) return;
  double rmax = radius(r), rmin = rmax;
  const bool whole = each_ray(rays, 3, [&](long, const Ray& q) {
    rmax = std::max(rmax, radius(q));
    rmin = std::min(rmin, radius(q));
    return true;
  });
  if (!whole) return;
  static const qx::Format kExtent{"(1H ,'R max = ',1P,G13.5,' R min = ',1P,G13.5)"};
  s.out.write(kExtent, rmax, rmin);
  double range = 1.05 * rmax / kMicron;
  static const qx::Format kRange{"(1H ,'Range = ',1P,G12.5,'micron, required range (micron) > ',$)"};
  if (!ask_number(s.dialogue(), [&] { s.out.write(kRange, range); }, range)) return;
  static const qx::Format kZeroRange{"(1H ,'?LQDIFF - Zero range.')"};
  if (!(range > 0.0) || !std::isfinite(range)) {
    s.out.write(kZeroRange);
    return;
  }
  static const qx::Format kUsing{"(1H ,'Using a maximum range of ',1P,G12.5,' micron')"};
  s.out.write(kUsing, range);
  const double rr = range * kMicron;

  std::vector<long> counts(static_cast<std::size_t>(n) + 1, 0);
  long outside = 0;
  static const qx::Format kOutside{"(1H ,'Ray outside range.')"};
  const bool counted = each_ray(rays, 1, [&](long, const Ray& q) {
    const int k = brightness_ring(radius(q), rr, n);
    if (k == 0) {
      if (++outside <= kReportedOutside) s.out.write(kOutside);
    } else {
      ++counts[static_cast<std::size_t>(k)];
    }
    return true;
  });
  if (!counted) return;
  static const qx::Format kOutsideCount{"(1H ,'Number of rays outside range = ',I6)"};
  s.out.write(kOutsideCount, outside);

  write_plot_header(*file, s.caption, "Radius (mm)", "Differential Brightness (Counts/mm^u2^r)", "9,0");
  const double d = rr / n;
  static const qx::Format kPoint{"(1H ,1P,G12.5,',',1P,G12.5,',',1P,G12.5)"};
  for (int k = 1; k <= n; ++k) {
    const double rk = (k - 0.5) * 1000.0 * d;
    const double area = 2.0 * kPi * 1000.0 * rk * d;
    const double c = static_cast<double>(counts[static_cast<std::size_t>(k)]);
    file->write(kPoint, rk, c / area, std::sqrt(c) / area);
  }
  static const qx::Format kCannotWrite{"(1H ,'?LQDIFF - Unable to write ',A)"};
  if (!file->commit()) s.out.write(kCannotWrite, name);
}

}  // namespace lumiray
