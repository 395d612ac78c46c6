#include "generate/fake.h"

#include <cmath>
#include <algorithm>
#include <optional>

#include "qx/format.h"
#include "qx/numeric.h"

namespace lumiray {

namespace {

constexpr std::uint64_t kLcgMultiplier = 25214903917ULL;
constexpr std::uint64_t kLcgIncrement = 11;
constexpr std::uint64_t kLcgMask = (1ULL << 48) - 1;
constexpr double kLcgScale = 281474976710656.0;   // 2^48

constexpr double kUniformIndex = 0.01;       // flux-peaking indices below this sample uniformly
constexpr double kEdge = 1.0e-9;             // grid points on an aperture edge count as inside
constexpr long kRandomProgress = 1000;
constexpr long kRegularProgress = 500;
constexpr long kDivergenceProgress = 1000;
constexpr long kMaxRejections = 1000000;     // rejected draws in a row before giving up

// True when (u, v) lies outside the ellipse of half sizes (hu, hv); a zero half size
// leaves its term out.
bool outside(double u, double v, double hu, double hv, double tolerance) {
  double sum = 0.0;
  if (hu >= kNoSize) sum += (u / hu) * (u / hu);
  if (hv >= kNoSize) sum += (v / hv) * (v / hv);
  return sum > 1.0 + tolerance;
}

// One point of the object or aperture in random mode: uniform over the rectangle, or with
// a flux-peaking index k >= 0.01 at polar angle 2 pi r1 and radius r2^k times the larger
// half size (index 1 puts half the points within half the radius).
void random_point(Lcg48& rng, double k, double hu, double hv, double& u, double& v) {
  const double r1 = rng.next();
  const double r2 = rng.next();
  if (std::fabs(k) < kUniformIndex) {
    u = (2.0 * r1 - 1.0) * hu;
    v = (2.0 * r2 - 1.0) * hv;
    return;
  }
  const double angle = 2.0 * kPi * r1;
  const double radius = std::pow(r2, k) * std::max(hu, hv);
  u = radius * std::cos(angle);
  v = radius * std::sin(angle);
}

// Energy deviation, histogram and mapping of one accepted ray; then the sink.
class RayFinisher {
 public:
  RayFinisher(const Sampling& p, const CoefficientSet& coef, Lcg48& rng, std::array<int, kHistogramBins>& histogram,
              RaySink& sink)
      : p_(p), coef_(coef), rng_(rng), histogram_(histogram), sink_(sink) {}

  bool put(double x, double th, double y, double ph) {
    Ray r{x, th + p_.th_off, y, ph + p_.ph_off, 0.0};
    if (p_.spread > kSpreadOn) {
      r.d = (1.0 - 2.0 * rng_.next()) * p_.spread;
      const double bin = r.d * 50.0 / p_.spread + 51.5;   // 1.5 to 101.5
      if (bin >= 1.0 && bin < kHistogramBins + 1.0) ++histogram_[static_cast<std::size_t>(bin) - 1];
    }
    if (!sink_.put(p_.solenoid ? raysol(coef_, r) : raymap(coef_, r))) return false;
    ++taken_;
    return true;
  }
  long taken() const { return taken_; }

 private:
  const Sampling& p_;
  const CoefficientSet& coef_;
  Lcg48& rng_;
  std::array<int, kHistogramBins>& histogram_;
  RaySink& sink_;
  long taken_ = 0;
};

void progress(qx::Output& out, long n, long every) {
  static const qx::Format kProgress{"(1H ,I8,' rays generated')"};
  if (n % every == 0) out.write(kProgress, n);
}

long random_mode(const Sampling& p, Lcg48& rng, RayFinisher& finish, qx::Output& out) {
  static const qx::Format kStuck{"(1H ,'?FAKE - No ray passes the object and aperture; generation stopped.')"};
  long rejected = 0;
  while (finish.taken() < p.random_rays) {
    double gx, gy, ax0, ay0;
    random_point(rng, p.ko, p.hx, p.hy, gx, gy);
    bool accepted = p.square || !outside(gx, gy, p.hx, p.hy, 0.0);
    if (accepted) {
      random_point(rng, p.ka, p.ax, p.ay, ax0, ay0);
      accepted = p.square || !outside(ax0, ay0, p.ax, p.ay, 0.0);
    }
    if (!accepted) {
      if (++rejected >= kMaxRejections) {
        out.write(kStuck);
        break;
      }
      continue;
    }
    rejected = 0;
    if (!finish.put(gx, ax0 / p.collimator, gy, ay0 / p.collimator)) break;
    progress(out, finish.taken(), kRandomProgress);
  }
  return finish.taken();
}

long regular_mode(const Sampling& p, RayFinisher& finish, qx::Output& out) {
  static const qx::Format kPair{"(1H ,A,1P,G13.5,',',1P,G13.5)"};
  static const qx::Format kOffset{"(1H ,'A Offset: ',1P,G13.5,',',1P,G13.5,' mr')"};
  static const qx::Format kCount{"(1H ,A,I10)"};
  const Axis ox = grid_axis(p.hx, p.no), oy = grid_axis(p.hy, p.no);
  const Axis apx = grid_axis(p.ax, p.na), apy = grid_axis(p.ay, p.na);
  out.write(kPair, " Object: ", p.hx, p.hy);
  out.write(kPair, " Step: ", ox.step, oy.step);
  out.write(kPair, "Aperture: ", p.ax, p.ay);
  out.write(kOffset, p.th_off * 1000.0, p.ph_off * 1000.0);
  out.write(kPair, " Step: ", apx.step, apy.step);
  const long no = static_cast<long>(std::lround(p.no)), na = static_cast<long>(std::lround(p.na));
  out.write(kCount, "No. of object rays ", no);
  out.write(kCount, "No. of aperture rays ", na);
  out.write(kCount, "Approx. total ", no * na);
  for (int i = 0; i < ox.n; ++i) {
    for (int j = 0; j < oy.n; ++j) {
      const double gx = ox.at(i), gy = oy.at(j);
      if (!p.square && outside(gx, gy, p.hx, p.hy, kEdge)) continue;
      for (int k = 0; k < apx.n; ++k) {
        for (int l = 0; l < apy.n; ++l) {
          const double ax0 = apx.at(k), ay0 = apy.at(l);
          if (!p.square && outside(ax0, ay0, p.ax, p.ay, kEdge)) continue;
          if (!finish.put(gx, ax0 / p.collimator, gy, ay0 / p.collimator)) return finish.taken();
          progress(out, finish.taken(), kRegularProgress);
        }
      }
    }
  }
  return finish.taken();
}

// Half count of a divergence-mode axis: the nearest integer to sqrt(count)/2 times the
// aspect ratio; 0 (one point) for a size below 1.0E-30.
int half_count(double count, double size, double ratio) {
  if (size < kNoSize) return 0;
  const std::optional<std::int64_t> n = qx::nearest_int(std::sqrt(count) / 2.0 * ratio, 0, 1 << 20);
  return n ? static_cast<int>(*n) : 0;
}

long divergence_mode(const Sampling& p, RayFinisher& finish, qx::Output& out) {
  static const qx::Format kSpace{"(1H ,'No of rays in ',A,' space = ',I10,' (',I5,'x',I5,')')"};
  static const qx::Format kRange{"(1H ,A,' range: +/-',1P,G12.5,' rad (+/-',1P,G12.5,' degrees)')"};
  static const qx::Format kApertureRange{"(1H ,A,' range: +/-',1P,G12.5,' m')"};
  // The grid steps are those of the X axes; the Y counts follow the aspect ratio.
  const double ratio_o = p.hx >= kNoSize ? p.hy / p.hx : 0.0;
  const double ratio_a = p.ax >= kNoSize ? p.ay / p.ax : 0.0;
  const int ndx = half_count(p.no, p.hx, 1.0), ndy = half_count(p.no, p.hy, ratio_o);
  const int nax = half_count(p.na, p.ax, 1.0), nay = half_count(p.na, p.ay, ratio_a);
  const double ustep = ndx > 0 || ndy > 0 ? 2.0 * p.hx / std::sqrt(p.no) : 0.0;
  const double astep = nax > 0 || nay > 0 ? 2.0 * p.ax / std::sqrt(p.na) : 0.0;
  out.write(kSpace, "divergence", static_cast<long>(std::lround(p.no)), 2 * ndx + 1, 2 * ndy + 1);
  out.write(kRange, "X divergence", p.hx, p.hx / kDegree);
  out.write(kRange, "Y divergence", p.hy, p.hy / kDegree);
  out.write(kSpace, "aperture", static_cast<long>(std::lround(p.na)), 2 * nax + 1, 2 * nay + 1);
  out.write(kApertureRange, "Aperture X", p.ax);
  out.write(kApertureRange, "Aperture Y", p.ay);
  for (int i = -ndx; i <= ndx; ++i) {
    for (int j = -ndy; j <= ndy; ++j) {
      const double u = i * ustep, w = j * ustep;
      if (!p.square && outside(u, w, p.hx, p.hy, kEdge)) continue;
      for (int k = -nax; k <= nax; ++k) {
        for (int l = -nay; l <= nay; ++l) {
          const double ax0 = k * astep, ay0 = l * astep;
          if (!p.square && outside(ax0, ay0, p.ax, p.ay, kEdge)) continue;
          if (!finish.put(ax0 - std::tan(u) * p.collimator, u, ay0 - std::tan(w) * p.collimator, w))
            return finish.taken();
          progress(out, finish.taken(), kDivergenceProgress);
        }
      }
    }
  }
  return finish.taken();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Generator
// ---------------------------------------------------------------------------------------
double Lcg48::next() {
  x_ = (kLcgMultiplier * x_ + kLcgIncrement) & kLcgMask;
  return static_cast<double>(x_) / kLcgScale;
}

std::uint64_t Lcg48::state_from(double r) {
  const double scaled = std::floor(std::fabs(r) * kLcgScale);
  if (!(scaled >= 0.0) || scaled >= kLcgScale) return 0;
  return static_cast<std::uint64_t>(scaled) & kLcgMask;
}

int seconds_of_day(std::string_view time) {
  auto field = [&](std::size_t at) {
    int v = 0;
    for (std::size_t i = at; i < at + 2 && i < time.size(); ++i)
      if (time[i] >= '0' && time[i] <= '9') v = v * 10 + (time[i] - '0');
    return v;
  };
  return field(0) * 3600 + field(3) * 60 + field(6);
}

Axis grid_axis(double h, double count) {
  Axis a;
  if (h < kNoSize || !(count > 0.0)) return a;
  const double root = std::sqrt(count);
  const std::optional<std::int64_t> n = qx::int_part(root + 1.0 + 1.0e-6, 1, 1 << 20);
  a.n = n ? static_cast<int>(*n) : 1;
  a.step = 2.0 * h / root;
  return a;
}

long generate_rays(const Sampling& p, const CoefficientSet& coef, Lcg48& rng,
                   std::array<int, kHistogramBins>& histogram, RaySink& sink, qx::Output& out) {
  RayFinisher finish(p, coef, rng, histogram, sink);
  switch (p.mode) {
    case SamplingMode::random:
      return random_mode(p, rng, finish, out);
    case SamplingMode::regular:
      return regular_mode(p, finish, out);
    case SamplingMode::divergence:
      return divergence_mode(p, finish, out);
  }
  return 0;
}

}  // namespace lumiray
