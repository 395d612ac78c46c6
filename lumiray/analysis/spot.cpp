#include "analysis/spot.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr long kFirstRay = 3;                 // rays 1 and 2 are the paraxial rays
constexpr double kChannelsPerWidth50 = 10.0;  // FWHM channels across the narrowest 50 % width
constexpr double kMaxChannels = 10000.0;      // and at most this many across the full range
constexpr long kMaxPlanes = 1000;             // planes of one scan: each is a pass over the file
constexpr double kFarthest = 1.0e100;         // m: sums of squares of n positions stay numbers
constexpr std::string_view kSpotOptions = " XYFGOIJS";
constexpr const char* kWho = "?SPOT";

// The positions of rays 3..NTOT at z, read in one pass. A ray that is not at a finite
// position (a damaged file) is left out with a note, as MAP and SORT leave it out. False when
// the set ended early (it said why), no ray is left, or a ray lies so far out that its
// square would not be a number.
bool gather(Lumiray& s, RaySource& rays, double z, PlanePoints& p) {
  static const qx::Format kLeftOut{"(1H ,'%SPOT - ',I6,' rays are not at a finite position in the plane; left out.')"};
  static const qx::Format kNone{"(1H ,'?SPOT - No ray is at a finite position in the plane.')"};
  static const qx::Format kTooFar{"(1H ,'?SPOT - The rays spread too far to measure.')"};
  p.x.clear();
  p.y.clear();
  long left_out = 0;
  bool too_far = false;
  const bool read = each_ray(rays, kFirstRay, [&](long, const Ray& r) {
    const Point q = at_plane(r, z);
    if (!std::isfinite(q.x) || !std::isfinite(q.y)) {
      ++left_out;
      return true;
    }
    too_far = too_far || std::fabs(q.x) > kFarthest || std::fabs(q.y) > kFarthest;
    p.x.push_back(q.x);
    p.y.push_back(q.y);
    return true;
  });
  if (!read) return false;
  if (too_far) {
    s.out.write(kTooFar);
    return false;
  }
  if (p.x.empty()) {
    s.out.write(kNone);
    return false;
  }
  if (left_out > 0) s.out.write(kLeftOut, left_out);
  return true;
}

// The mean of v, taken about its first value: exact when all values are equal.
double mean(const std::vector<double>& v) {
  double sum = 0.0;
  for (const double x : v) sum += x - v.front();
  return v.front() + sum / static_cast<double>(v.size());
}

void report(Lumiray& s, double z, const SpotSizes& m) {
  static const qx::Format kAt{"(1H ,'Spot at Z = ',1P,G13.5,' m, ',I6,' rays')"};
  static const qx::Format kCentroid{"(1H ,'Centroid x, y (um): ',1P,2G13.5)"};
  static const qx::Format kRms{"(1H ,'RMS size x, y (um): ',1P,2G13.5)"};
  static const qx::Format kFwhm{"(1H ,'FWHM x, y (um): ',1P,2G13.5)"};
  static const qx::Format kWidthX{"(1H ,'Width in x holding 50, 80, 90, 100 % (um): ',1P,4G13.5)"};
  static const qx::Format kWidthY{"(1H ,'Width in y holding 50, 80, 90, 100 % (um): ',1P,4G13.5)"};
  static const qx::Format kDiameter{"(1H ,'Diameter holding 50, 80, 90, 100 % (um): ',1P,4G13.5)"};
  static const qx::Format kPoint{"(1H ,'%SPOT - Every ray is at the same point; all sizes are 0.')"};
  const double u = kMicrometresPerMetre;
  if (m.width_x[3] == 0.0 && m.width_y[3] == 0.0) s.out.write(kPoint);
  s.out.write(kAt, z, m.rays);
  s.out.write(kCentroid, m.cx * u, m.cy * u);
  s.out.write(kRms, m.rms_x * u, m.rms_y * u);
  s.out.write(kFwhm, m.fwhm_x * u, m.fwhm_y * u);
  s.out.write(kWidthX, m.width_x[0] * u, m.width_x[1] * u, m.width_x[2] * u, m.width_x[3] * u);
  s.out.write(kWidthY, m.width_y[0] * u, m.width_y[1] * u, m.width_y[2] * u, m.width_y[3] * u);
  s.out.write(kDiameter, m.diameter[0] * u, m.diameter[1] * u, m.diameter[2] * u, m.diameter[3] * u);
}

struct ScanPlanes {
  double from = 0.0, to = 0.0;   // um from the X image plane
  long count = 0;
};

// The scan's question. A bad answer is asked again; a number of planes outside 1..1000 ends
// the command. Empty then and at the end of the input.
std::optional<ScanPlanes> ask_scan(Lumiray& s) {
  static const qx::Format kAsk{"(1H ,'From, to (um from the X image plane), number of planes > ',$)"};
  static const qx::Format kBad{"(1H ,'?SPOT - Type three numbers: from and to in micron, and the number of planes.')"};
  static const qx::Format kPlanes{"(1H ,'?SPOT - The number of planes is a whole number from 1 to ',I4,"
                                  "'; nothing is scanned.')"};
  while (true) {
    const std::optional<std::string> answer = ask_text(s.dialogue(), kAsk);
    if (!answer) return std::nullopt;
    qx::StringInput one(*answer);
    std::array<double, 3> v{};
    if (qx::read_reals(one, v) == qx::ReadStatus::ok &&
        std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); })) {
      const std::optional<std::int64_t> n = qx::nearest_int(v[2], 1, kMaxPlanes);
      if (!n) {
        s.out.write(kPlanes, kMaxPlanes);
        return std::nullopt;
      }
      return ScanPlanes{v[0], v[1], static_cast<long>(*n)};
    }
    s.out.write(kBad);
  }
}

// SPOT/S: rms sizes and the 50 and 90 % diameters plane by plane, on the terminal and in
// "<set>.spt", then the plane of the smallest 50 % diameter.
void scan(Lumiray& s, RaySource& rays, const ImagePlanes& planes, PlanePoints& p) {
  static const qx::Format kOutput{"(1H ,'Output in file ',A)"};
  static const qx::Format kHead{"(1H ,'       Z (um)   RMS x (um)   RMS y (um)  D 50 % (um)  D 90 % (um)')"};
  static const qx::Format kRow{"(1H ,1P,5G13.5)"};
  static const qx::Format kRecord{"(1H ,1P,G13.5,4(',',1P,G13.5))"};
  static const qx::Format kFailed{"(1H ,'?SPOT - Unable to write ',A)"};
  static const qx::Format kSmallest{"(1H ,'Smallest 50 % diameter ',1P,G13.5,' um at Z = ',1P,G13.5,' um')"};
  const std::optional<ScanPlanes> plan = ask_scan(s);
  if (!plan) return;
  const std::string name = base_name(s.data_file) + ".spt";
  // Written beside the old file and renamed over it: a scan that stops keeps the old one.
  const std::unique_ptr<qx::FileOutput> f = open_plot_file(s, name, qx::FileOutput::Mode::atomic, kWho);
  if (!f) return;
  s.out.write(kOutput, name);
  write_plot_header(*f, "Spot size through focus for " + s.data_file, "Z from the X image plane (^Gg^Rm)",
                    "RMS x, RMS y, 50 % and 90 % diameters (^Gg^Rm)", "12,0");
  s.out.write(kHead);
  const double u = kMicrometresPerMetre;
  double best_d = 0.0, best_z = 0.0;
  for (long k = 0; k < plan->count; ++k) {
    const double zum = plan->count == 1 ? plan->from
                                        : plan->from + static_cast<double>(k) * (plan->to - plan->from) /
                                                           static_cast<double>(plan->count - 1);
    if (!gather(s, rays, planes.zx + zum / u, p)) return;
    const SpotSizes m = measure_spot(p, false);
    s.out.write(kRow, zum, m.rms_x * u, m.rms_y * u, m.diameter[0] * u, m.diameter[2] * u);
    f->write(kRecord, zum, m.rms_x * u, m.rms_y * u, m.diameter[0] * u, m.diameter[2] * u);
    if (k == 0 || m.diameter[0] < best_d) {
      best_d = m.diameter[0];
      best_z = zum;
    }
  }
  if (!f->commit()) {
    s.out.write(kFailed, name);
    return;
  }
  s.out.write(kSmallest, best_d * u, best_z);
}

}  // namespace

long rays_holding(int percent, long n) {
  const long m = (static_cast<long>(percent) * n + 99) / 100;
  return std::clamp(m, 1L, std::max(n, 1L));
}

double narrowest_width(std::span<const double> sorted, long m) {
  if (sorted.empty()) return 0.0;
  const std::size_t k = static_cast<std::size_t>(std::clamp(m, 1L, static_cast<long>(sorted.size())));
  double w = sorted.back() - sorted.front();
  for (std::size_t i = 0; i + k <= sorted.size(); ++i) w = std::min(w, sorted[i + k - 1] - sorted[i]);
  return w;
}

double profile_fwhm(std::span<const double> sorted, double width50) {
  if (sorted.empty()) return 0.0;
  const double lo = sorted.front(), range = sorted.back() - lo;
  if (!(range > 0.0)) return 0.0;
  const double h = std::max(width50 / kChannelsPerWidth50, range / kMaxChannels);
  const long channels = static_cast<long>(range / h) + 1;
  std::vector<long> count(static_cast<std::size_t>(channels), 0);
  for (const double v : sorted) ++count[static_cast<std::size_t>(std::min(static_cast<long>((v - lo) / h), channels - 1))];
  const double half = static_cast<double>(*std::max_element(count.begin(), count.end())) / 2.0;
  const auto n = [&](long k) {
    return k < 0 || k >= channels ? 0.0 : static_cast<double>(count[static_cast<std::size_t>(k)]);
  };
  const auto centre = [&](long k) { return lo + (static_cast<double>(k) + 0.5) * h; };
  long i = 0, j = channels - 1;
  while (n(i) < half) ++i;
  while (n(j) < half) --j;
  // n(i - 1) < half <= n(i) and n(j + 1) < half <= n(j): neither difference is 0.
  const double left = centre(i - 1) + h * (half - n(i - 1)) / (n(i) - n(i - 1));
  const double right = centre(j) + h * (n(j) - half) / (n(j) - n(j + 1));
  return right - left;
}

SpotSizes measure_spot(PlanePoints& p, bool widths) {
  SpotSizes m;
  const std::size_t n = p.x.size();
  m.rays = static_cast<long>(n);
  m.cx = mean(p.x);
  m.cy = mean(p.y);
  double vx = 0.0, vy = 0.0;
  p.r2.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double dx = p.x[i] - m.cx, dy = p.y[i] - m.cy;
    vx += dx * dx;
    vy += dy * dy;
    p.r2[i] = dx * dx + dy * dy;
  }
  m.rms_x = std::sqrt(vx / static_cast<double>(n));
  m.rms_y = std::sqrt(vy / static_cast<double>(n));
  // The k-th nearest rays in rising k: each selection works on what lies beyond the last.
  auto from = p.r2.begin();
  for (std::size_t k = 0; k < kSpotPercents.size(); ++k) {
    const auto nth = p.r2.begin() + (rays_holding(kSpotPercents[k], m.rays) - 1);
    std::nth_element(from, nth, p.r2.end());
    m.diameter[k] = 2.0 * std::sqrt(*nth);
    from = nth;
  }
  if (!widths) return m;
  std::sort(p.x.begin(), p.x.end());
  std::sort(p.y.begin(), p.y.end());
  for (std::size_t k = 0; k < kSpotPercents.size(); ++k) {
    m.width_x[k] = narrowest_width(p.x, rays_holding(kSpotPercents[k], m.rays));
    m.width_y[k] = narrowest_width(p.y, rays_holding(kSpotPercents[k], m.rays));
  }
  m.fwhm_x = profile_fwhm(p.x, m.width_x[0]);
  m.fwhm_y = profile_fwhm(p.y, m.width_y[0]);
  return m;
}

void spot_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kUnknown{"(1H ,'?SPOT - Unknown option: ',A)"};
  static const qx::Format kParaxialOnly{"(1H ,'?SPOT - The set holds only its paraxial rays; there is no spot.')"};
  const char option = line.option;
  const bool store = option >= '0' && option <= '9';
  if (!store && kSpotOptions.find(option) == std::string_view::npos) {
    s.out.write(kUnknown, std::string(1, option));
    return;
  }
  DataSet rays(s);
  if (!rays.ready(kWho)) return;
  if (rays.count() < kFirstRay) {
    s.out.write(kParaxialOnly);
    return;
  }
  const ImagePlanes planes = image_planes(rays, ParaxialTest::slope_product, s.out);
  // Only sorting needs every position at once: memory grows with the ray count, nowhere else.
  PlanePoints p;
  p.x.reserve(static_cast<std::size_t>(rays.count()));
  p.y.reserve(static_cast<std::size_t>(rays.count()));
  if (option == 'S') {
    scan(s, rays, planes, p);
    return;
  }
  double z = 0.0;
  if (option == 'I' || option == 'J') {
    z = planes.zx + plane_argument(s.reg, line) / kMicrometresPerMetre;
  } else {
    const std::optional<double> plane = ask_plane(s, planes, store ? ' ' : option);
    if (!plane) return;
    z = *plane;
  }
  if (!gather(s, rays, z, p)) return;
  const SpotSizes m = measure_spot(p, true);
  report(s, z, m);
  if (store) s.reg.a[static_cast<std::size_t>(option - '0')] = m.diameter[0] * kMicrometresPerMetre;
}

}  // namespace lumiray
