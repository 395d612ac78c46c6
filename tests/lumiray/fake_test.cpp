// The ray generator: grids, apertures, point objects, flux peaking and the random numbers.
#include "generate/fake.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>
#include <vector>

namespace {

using lumiray::Ray;
using lumiray::Sampling;
using lumiray::SamplingMode;

class Collect : public lumiray::RaySink {
 public:
  explicit Collect(long limit = 1 << 30) : limit_(limit) {}
  bool put(const Ray& r) override {
    if (static_cast<long>(rays.size()) >= limit_) return false;
    rays.push_back(r);
    return true;
  }
  std::vector<Ray> rays;

 private:
  long limit_;
};

struct Generated {
  std::vector<Ray> rays;
  std::array<int, lumiray::kHistogramBins> histogram{};
  std::string said;
};

Generated generate(const Sampling& p, std::uint64_t seed = 12345, long limit = 1 << 30) {
  lumiray::CoefficientSet identity;   // nothing loaded: rays come out as they start
  std::uint64_t state = seed;
  lumiray::Lcg48 rng(state);
  Collect sink(limit);
  qx::StringOutput out;
  Generated r;
  lumiray::generate_rays(p, identity, rng, r.histogram, sink, out);
  r.rays = std::move(sink.rays);
  r.said = out.text();
  return r;
}

Sampling regular(double no, double na, bool square) {
  Sampling p;
  p.mode = SamplingMode::regular;
  p.no = no;
  p.na = na;
  p.square = square;
  p.hx = p.hy = 5e-6;
  p.ax = p.ay = 1e-4;
  p.collimator = 2.0;
  return p;
}

TEST(Generator, SquareAperturesGiveTheFullRectangularGrid) {
  // 10000 rays asked: 100 object and 100 aperture points, 11 per axis (-h to h in h/5).
  const Generated r = generate(regular(100, 100, true));
  ASSERT_EQ(r.rays.size(), 11u * 11u * 11u * 11u);
  std::set<double> xs, ths;
  for (const Ray& ray : r.rays) {
    xs.insert(ray.x);
    ths.insert(ray.th);
  }
  ASSERT_EQ(xs.size(), 11u);
  EXPECT_NEAR(*xs.begin(), -5e-6, 1e-20);
  EXPECT_NEAR(*xs.rbegin(), 5e-6, 1e-20);
  EXPECT_NEAR(*ths.rbegin(), 1e-4 / 2.0, 1e-18);   // aperture edge over the collimator distance
  // Object x outermost, aperture y innermost.
  EXPECT_EQ(r.rays[0].x, r.rays[1].x);
  EXPECT_NE(r.rays[0].ph, r.rays[1].ph);
}

TEST(Generator, CircularAperturesDropThePointsOutsideTheEllipse) {
  // 12 steps across: points i h/6, i = -6..6, inside when i^2 + j^2 <= 36.
  int inside = 0;
  for (int i = -6; i <= 6; ++i)
    for (int j = -6; j <= 6; ++j) inside += i * i + j * j <= 36 ? 1 : 0;
  Sampling p = regular(144, 144, false);
  p.hy = 2.5e-6;   // an ellipse: the same count of points, the y steps halved
  p.ay = 0.5e-4;
  const Generated r = generate(p);
  EXPECT_EQ(r.rays.size(), static_cast<std::size_t>(inside * inside));
  for (const Ray& ray : r.rays) {
    EXPECT_LE(std::pow(ray.x / p.hx, 2) + std::pow(ray.y / p.hy, 2), 1.0 + 1e-9);
  }
  // The corners are gone, the edge points on the axes stay.
  const auto has = [&](double x, double y) {
    return std::any_of(r.rays.begin(), r.rays.end(),
                       [&](const Ray& ray) { return std::fabs(ray.x - x) < 1e-15 && std::fabs(ray.y - y) < 1e-15; });
  };
  EXPECT_FALSE(has(5e-6, 2.5e-6));
  EXPECT_TRUE(has(5e-6, 0.0));
  EXPECT_TRUE(has(0.0, -2.5e-6));
}

TEST(Generator, PointObjectSendsEveryRayThroughOnePoint) {
  Sampling p = regular(1, 10000, true);   // what FAKE makes of a point object and 100 x 100
  p.hx = p.hy = 0.0;
  const Generated r = generate(p);
  EXPECT_EQ(r.rays.size(), 101u * 101u);
  for (const Ray& ray : r.rays) {
    ASSERT_EQ(ray.x, 0.0);
    ASSERT_EQ(ray.y, 0.0);
  }
}

TEST(Generator, GridAxis) {
  const auto a = lumiray::grid_axis(1.0, 100.0);
  EXPECT_EQ(a.n, 11);
  EXPECT_DOUBLE_EQ(a.step, 0.2);
  EXPECT_DOUBLE_EQ(a.at(0), -1.0);
  EXPECT_DOUBLE_EQ(a.at(5), 0.0);
  // A count whose root is not whole: the points stay centred on the axis.
  const auto b = lumiray::grid_axis(1.0, 110.25);   // root 10.5
  EXPECT_EQ(b.n, 11);
  EXPECT_DOUBLE_EQ(b.at(0), -b.at(10));
  EXPECT_EQ(lumiray::grid_axis(0.0, 100.0).n, 1);
  EXPECT_EQ(lumiray::grid_axis(1.0, 0.0).n, 1);
  EXPECT_EQ(lumiray::grid_axis(1.0, 0.0).at(0), 0.0);
}

TEST(Generator, SinkStopsTheRun) {
  const Generated r = generate(regular(100, 100, true), 1, 1000);
  EXPECT_EQ(r.rays.size(), 1000u);
}

Sampling random_disc(double ko, long n) {
  Sampling p;
  p.mode = SamplingMode::random;
  p.random_rays = n;
  p.square = false;
  p.hx = p.hy = 10e-6;
  p.ax = p.ay = 1e-4;
  p.collimator = 1.0;
  p.ko = ko;
  return p;
}

double fraction_within_half_radius(const Generated& r, double radius) {
  long inner = 0;
  for (const Ray& ray : r.rays) inner += std::hypot(ray.x, ray.y) < radius / 2 ? 1 : 0;
  return static_cast<double>(inner) / static_cast<double>(r.rays.size());
}

TEST(Generator, FluxPeakingIndexOnePutsHalfTheRaysWithinHalfTheRadius) {
  const long n = 20000;   // standard deviation of a fraction near 0.5: 0.0035
  const Generated peaked = generate(random_disc(1.0, n), 987654321);
  ASSERT_EQ(peaked.rays.size(), static_cast<std::size_t>(n));
  EXPECT_NEAR(fraction_within_half_radius(peaked, 10e-6), 0.5, 0.015);
  // Below 0.01 the sampling is uniform: a quarter of the disc's area.
  const Generated uniform = generate(random_disc(0.005, n), 987654321);
  EXPECT_NEAR(fraction_within_half_radius(uniform, 10e-6), 0.25, 0.015);
  for (const Ray& ray : uniform.rays) ASSERT_LE(std::hypot(ray.x, ray.y), 10e-6 * (1 + 1e-12));
}

TEST(Generator, EnergySpreadAndItsHistogram) {
  Sampling p = random_disc(0.0, 5000);
  p.spread = 0.4;
  const Generated r = generate(p, 77);
  int counted = 0;
  for (const int c : r.histogram) counted += c;
  EXPECT_EQ(counted, 5000);
  double lo = 1, hi = -1;
  for (const Ray& ray : r.rays) {
    lo = std::min(lo, ray.d);
    hi = std::max(hi, ray.d);
  }
  EXPECT_GE(lo, -0.4);
  EXPECT_LE(hi, 0.4);
  EXPECT_LT(lo, -0.39);
  EXPECT_GT(hi, 0.39);
  // Uniform: the inner bins hold about 5000/100 each; the end bins half that.
  EXPECT_NEAR(r.histogram[50], 50, 25);
  EXPECT_LT(r.histogram[0], 45);
  // No spread: every deviation is 0 and nothing is counted.
  const Generated none = generate(random_disc(0.0, 100), 77);
  for (const Ray& ray : none.rays) ASSERT_EQ(ray.d, 0.0);
  for (const int c : none.histogram) ASSERT_EQ(c, 0);
}

TEST(Generator, AngleOffsetsAreAddedToEveryRay) {
  Sampling p = regular(1, 1, true);
  p.hx = p.hy = p.ax = p.ay = 0.0;
  p.th_off = 1e-3;
  p.ph_off = -2e-3;
  const Generated r = generate(p);
  ASSERT_EQ(r.rays.size(), 1u);
  EXPECT_EQ(r.rays[0].th, 1e-3);
  EXPECT_EQ(r.rays[0].ph, -2e-3);
}

TEST(Generator, DivergenceModeAimsEveryRayAtAnAperturePoint) {
  Sampling p;
  p.mode = SamplingMode::divergence;
  p.square = true;
  p.no = 64;   // half counts 4 and, for Y at half the divergence, 2
  p.na = 16;   // half counts 2 and 2
  p.hx = 1e-3;
  p.hy = 0.5e-3;
  p.ax = p.ay = 2e-4;
  p.collimator = 1.5;
  const Generated r = generate(p);
  EXPECT_EQ(r.rays.size(), 9u * 5u * 5u * 5u);
  std::set<long> aperture_x;
  for (const Ray& ray : r.rays) {
    ASSERT_LE(std::fabs(ray.th), 1e-3 * (1 + 1e-12));
    ASSERT_LE(std::fabs(ray.ph), 0.5e-3 * (1 + 1e-12));
    const double ax0 = ray.x + std::tan(ray.th) * p.collimator;
    aperture_x.insert(std::lround(ax0 / 1e-4));   // grid step 2 ax / sqrt(na) = 1e-4
    ASSERT_NEAR(ax0, 1e-4 * std::lround(ax0 / 1e-4), 1e-15);
  }
  EXPECT_EQ(aperture_x, (std::set<long>{-2, -1, 0, 1, 2}));
}

TEST(RandomNumbers, FullPeriodGeneratorHasNoShortCycles) {
  // 200000 random-mode rays are 200000 different rays.
  Sampling p = random_disc(0.0, 200000);
  const Generated r = generate(p, lumiray::Lcg48::state_from(0.5182));
  std::set<std::tuple<double, double, double, double>> distinct;
  for (const Ray& ray : r.rays) distinct.emplace(ray.x, ray.y, ray.th, ray.ph);
  EXPECT_EQ(distinct.size(), 200000u);
  std::uint64_t state = 42;
  lumiray::Lcg48 rng(state);
  double lo = 1, hi = 0;
  for (int i = 0; i < 100000; ++i) {
    const double v = rng.next();
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_GE(lo, 0.0);
  EXPECT_LT(hi, 1.0);
  EXPECT_LT(lo, 1e-3);
  EXPECT_GT(hi, 1 - 1e-3);
}

TEST(RandomNumbers, SeedFromTheTimeOfDay) {
  EXPECT_EQ(lumiray::seconds_of_day("12:34:56"), 12 * 3600 + 34 * 60 + 56);
  EXPECT_EQ(lumiray::seconds_of_day("        "), 0);
  EXPECT_EQ(lumiray::seconds_of_day(" 1: 2: 3"), 3723);
  // Equal times give equal sequences.
  std::uint64_t a = lumiray::Lcg48::state_from(0.25), b = lumiray::Lcg48::state_from(0.25);
  lumiray::Lcg48 ra(a), rb(b);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ra.next(), rb.next());
}

}  // namespace
