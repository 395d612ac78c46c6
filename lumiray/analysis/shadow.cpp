#include "analysis/shadow.h"

#include <cmath>
#include <optional>

#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "analysis/ray_tools.h"
#include "generate/fake.h"
#include "io/lqio.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kTiny = 1.0e-10;           // smaller periods, widths and rotations are none
constexpr double kMicron = 1.0e-6;
constexpr int kScale = 60;                  // stars of the progress scale
constexpr std::size_t kNameAnswer = 30;     // a name typed at the prompt (A30)
const Grid kDefaultGrid;

// A grid dimension at its prompt (micron); at most 1.0E-10 takes the default.
std::optional<double> ask_size(Lumiray& s, const qx::Format& prompt, double fallback) {
  const std::optional<double> v = ask_fixed(s.dialogue(), [&] { s.out.write(prompt); });
  if (!v) return std::nullopt;
  return *v <= kTiny ? fallback : *v * kMicron;
}

// The grid dialogue; empty when the input ends.
std::optional<Grid> ask_grid(Lumiray& s) {
  static const qx::Format kWhich{"(1H ,' Hole or Bar at origin? (CR for Hole) > ',$)"};
  static const qx::Format kChoices{"(1H ,'B   Bar at origin',/,1H ,'H   Hole at origin')"};
  static const qx::Format kPeriod{"(1H ,' Period of grid (micron, CR for 12.7) > ',$)"};
  static const qx::Format kBar{"(1H ,' Bar full width (micron, CR for 6.35) > ',$)"};
  static const qx::Format kRotation{"(1H ,' Rotation of grid (degrees, CR for 0.0) > ',$)"};
  Grid g;
  while (true) {
    const std::optional<char> c = ask_letter(s.dialogue(), kWhich);
    if (!c) return std::nullopt;
    if (*c == ' ' || *c == 'H') break;
    if (*c == 'B') {
      g.bar_at_origin = true;
      break;
    }
    s.out.write(kChoices);
  }
  const std::optional<double> period = ask_size(s, kPeriod, kDefaultGrid.period);
  if (!period) return std::nullopt;
  const std::optional<double> bar = ask_size(s, kBar, kDefaultGrid.bar);
  if (!bar) return std::nullopt;
  const std::optional<double> rotation = ask_fixed(s.dialogue(), [&] { s.out.write(kRotation); });
  if (!rotation) return std::nullopt;
  g.period = *period;
  g.bar = *bar;
  g.rotation = std::fabs(*rotation) <= kTiny ? 0.0 : *rotation;
  return g;
}

}  // namespace

bool grid_passes(const Grid& g, double x, double y) {
  double u = x, v = y;
  if (std::fabs(g.rotation) > kTiny) {
    const double a = -2.0 * kPi * g.rotation / 360.0;
    u = x * std::cos(a) - y * std::sin(a);
    v = x * std::sin(a) + y * std::cos(a);
  }
  const double p = g.period, w = g.bar, h = p - w;
  u = std::fmod(std::fabs(u), p);
  v = std::fmod(std::fabs(v), p);
  // Strict edges: a bar as wide as the period leaves holes of no width, and no ray passes.
  if (g.bar_at_origin) return w / 2 < u && u < h + w / 2 && w / 2 < v && v < h + w / 2;
  const auto in_hole = [&](double t) { return t < h / 2 || t > p - h / 2; };
  return in_hole(u) && in_hole(v);
}

void shadow_command(Lumiray& s, const std::string& typed) {
  static const qx::Format kCannot{"(1H ,'?LQGRID - Unable to open ',A,'.')"};
  static const qx::Format kImages{"(1H ,/,1H ,' X Image = ',1P,G13.5,' um',/,1H ,' Y Image = ',1P,G13.5,' um')"};
  static const qx::Format kPlane{"(1H ,' Plane for grid (micron, CR for 0) > ',$)"};
  static const qx::Format kGridSettings{"(1H ,'Grid specifications;',/,1H ,' Period ',F10.5,' um',/,"
                                 "1H ,' Bar full width ',F10.5,' um',/,1H ,'Hole full width ',F10.5,' um',/,"
                                 "1H ,' Position ',F10.5,' m ',/,1H ,' Orientation ',F10.5,' deg')"};
  static const qx::Format kHoleCentred{"(1H ,'Grid hole centred at origin.',/)"};
  static const qx::Format kBarCentred{"(1H ,'Grid bar centred at origin.',/)"};
  static const qx::Format kProceed{"(1H ,18X,' Proceed? > ',$)"};
  static const qx::Format kScaleLine{"(1H ,A)"};
  static const qx::Format kDone{"(1H ,/,1H ,/,1H ,'Of ',I6,' rays processed, ',I6,' passed through the grid.',/,"
                                "1H ,'The output rayset is in file ',A,'.')"};

  // Without the paraxial rays there are no image planes and no output set to begin.
  DataSet rays(s);
  if (!has_rays(s, rays, "?LQGRID", 2)) return;
  std::string name(qx::trim_right(typed));
  if (name.empty()) {
    const std::string current = base_name(s.data_file);
    const std::string fallback = current.empty() ? "shadow.bin" : current + "s.bin";
    // The prompt shows the default name: a literal of the layout, its apostrophes doubled.
    std::string quoted;
    for (const char c : fallback) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    const qx::Format ask{"(1H ,'Filename for output rayset (CR for " + quoted + ") > ',$)"};
    const std::optional<std::string> answer = ask_file_name(s.dialogue(), ask, kNameAnswer);
    if (!answer) return;
    name = answer->empty() ? fallback : *answer;
  }
  name = output_name(name, ".bin");

  const ImagePlanes planes = image_planes(rays, ParaxialTest::slope_product, s.out);
  s.out.write(kImages, planes.zx / kMicron, planes.zy / kMicron);
  const std::optional<double> plane = ask_fixed(s.dialogue(), [&] { s.out.write(kPlane); });
  if (!plane) return;
  const double z = *plane * kMicron;
  const std::optional<Grid> grid = ask_grid(s);
  if (!grid) return;
  s.out.write(kGridSettings, grid->period / kMicron, grid->bar / kMicron, (grid->period - grid->bar) / kMicron, z,
              grid->rotation);
  s.out.write(grid->bar_at_origin ? kBarCentred : kHoleCentred);
  const std::optional<char> go = ask_letter(s.dialogue(), kProceed);
  if (!go || *go == 'N') return;

  // A new set through a temporary file: a second SHADOW to the same name replaces it.
  if (lqio_open(s.lqio(), 'W', name) != 0) {
    s.out.write(kCannot, name);
    return;
  }
  const long total = rays.count();
  s.out.write(kScaleLine, std::string(kScale, '_'));
  Stars stars(s.out, total / kScale, kScale + 1, 0);
  long passed = 0;
  const bool whole = each_ray(rays, 1, [&](long i, const Ray& r) {
    // The paraxial rays go first, untested, so that the output set has image planes too.
    if (i <= 2) return lqio_write(s.lqio(), 'W', r);
    stars.tick(i - 2);
    const Point p = at_plane(r, z);
    if (!grid_passes(*grid, p.x, p.y)) return true;
    ++passed;
    return lqio_write(s.lqio(), 'W', r);
  });
  stars.finish();
  // A set cut short or a failed write leaves the older file of that name as it was.
  if (!whole) {
    s.rays.writer.reset();
    return;
  }
  lqio_close(s.lqio(), 'W');
  s.out.write(kDone, total, passed, name);
}

}  // namespace lumiray
