// Third-order coefficients against the physics: the aberration factors of magnetic and
// electric quadrupoles, a zero-strength lens, the separate octupole against numerical
// integration of its equations of motion, a superimposed octupole in the limit of a weak
// quadrupole, the solenoid term and the image-side units.
#include <array>

#include "optics_rig.h"
#include "optics/third_order.h"

namespace {

using namespace optics_test;

constexpr double kE = 1.6021892E-19;

TEST(ThirdOrderPhysics, QuadrupoleFactorsAndSingleLensCoefficients) {
  EXPECT_DOUBLE_EQ(vorne::quad_factors(0.0).c1, 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(vorne::quad_factors(0.0).c2, 1.0);
  EXPECT_DOUBLE_EQ(vorne::quad_factors(-1.0).c1, 7.0 / 6.0);
  EXPECT_DOUBLE_EQ(vorne::quad_factors(-1.0).c2, -0.5);

  // One lens after an object drift: the spherical terms from its object distance and focal
  // lengths, the off-axis terms from them by the object distance.
  struct Case {
    double code, field, c1, c2;
  };
  for (const Case& c : {Case{4.0, 0.25, 1.0 / 3.0, 1.0}, Case{14.0, -15000.0, 7.0 / 6.0, -0.5}}) {
    Rig r;
    r.add(3.0, 2.0);
    const int q = r.add(c.code, 0.07, c.field, 0.005);
    r.add(3.0, 0.5);
    r.end();
    r.walk(3);
    const double u = 2.0 + 0.035;
    const double fx = r.s.p(q, 11), fy = r.s.p(q, 12), len = 0.07;
    const vorne::ThirdOrderSet& t = r.v.walk.total;
    EXPECT_NEAR(t(1, 1), c.c1 * std::pow(u, 4) / (fx * fx * len), 1e-12 * std::fabs(t(1, 1))) << c.code;
    EXPECT_NEAR(t(1, 2), -c.c2 * std::pow(u * u, 2) / (fx * fy * len), 1e-12 * std::fabs(t(1, 2))) << c.code;
    EXPECT_NEAR(t(2, 1), c.c1 * std::pow(u, 4) / (fy * fy * len), 1e-12 * std::fabs(t(2, 1))) << c.code;
    EXPECT_NEAR(t(1, 9), t(1, 1) / (u * u * u), 1e-12 * std::fabs(t(1, 9)));
    EXPECT_NEAR(t(2, 7), t(2, 2) / (u * u), 1e-12 * std::fabs(t(2, 7)));
    EXPECT_EQ(r.v.walk.quad.c, t.c);
    EXPECT_EQ(r.v.walk.octu.c, vorne::ThirdOrderSet{}.c);
  }
}

TEST(ThirdOrderPhysics, ZeroStrengthQuadrupoleContributesNothing) {
  auto sums = [](double field) {
    Rig r;
    r.load("triplet_focused.vrn");
    // A fourth quadrupole in the image drift, at the given field.
    for (int iz = r.s.izend; iz >= 9; --iz)
      for (int c = 1; c <= 4; ++c) r.s.p(iz + 2, c) = r.s.p(iz, c);
    r.s.p(9, 2) = 0.05;
    r.s.p(10, 1) = 4.0;
    r.s.p(10, 2) = 0.05;
    r.s.p(10, 3) = field;
    r.s.p(10, 4) = 0.005;
    r.s.p(11, 2) = 0.05;
    r.s.izend += 2;
    r.walk(3);
    EXPECT_EQ(vorne::lens_third_order(r.s, 10, -2).c,
              field == 0.0 ? vorne::ThirdOrderSet{}.c : vorne::lens_third_order(r.s, 10, -2).c);
    return r.v.walk;
  };
  const vorne::WalkResult off = sums(0.0);
  const vorne::WalkResult on = sums(0.05);
  Rig plain;
  plain.load("triplet_focused.vrn");
  plain.s.p(9, 2) = 0.15;
  plain.walk(3);
  EXPECT_EQ(off.total.c, plain.v.walk.total.c);
  EXPECT_EQ(off.quad.c, plain.v.walk.quad.c);
  EXPECT_NE(on.total.c, plain.v.walk.total.c);
}

// The octupole's deviations referred to its object: trace a ray from the object through the
// drift and the octupole (x'' = -K (x^3 - 3 x y^2), y'' = -K (y^3 - 3 x^2 y)) and project it
// back to the object plane.
Vec4 octupole_deviation(double k3, double u, double len, const Vec4& ray) {
  Vec4 at;  // at the octupole's entrance
  at(1) = ray(1) + u * ray(2);
  at(2) = ray(2);
  at(3) = ray(3) + u * ray(4);
  at(4) = ray(4);
  const Vec4 out = rk4(
      [k3](double, const Vec4& s) {
        Vec4 d;
        d(1) = s(2);
        d(2) = -k3 * (s(1) * s(1) * s(1) - 3 * s(1) * s(3) * s(3));
        d(3) = s(4);
        d(4) = -k3 * (s(3) * s(3) * s(3) - 3 * s(1) * s(1) * s(3));
        return d;
      },
      at, 0.0, len, 400);
  Vec4 dev;
  dev(1) = -((out(1) - (u + len) * out(2)) - ray(1));
  dev(3) = -((out(3) - (u + len) * out(4)) - ray(3));
  return dev;
}

// The cubic part of the deviation (Richardson on amplitudes e and 2e removes the fifth order).
Vec4 cubic_deviation(double k3, double u, double len, const Vec4& ray) {
  Vec4 twice;
  for (int i = 1; i <= 4; ++i) twice(i) = 2 * ray(i);
  const Vec4 a = octupole_deviation(k3, u, len, ray);
  const Vec4 b = octupole_deviation(k3, u, len, twice);
  Vec4 c;
  c(1) = (32 * a(1) - b(1)) / 24;
  c(3) = (32 * a(3) - b(3)) / 24;
  return c;
}

// The deviations the set predicts for a ray (x, theta, y, phi) at the object.
double predicted(const vorne::ThirdOrderSet& c, int plane, const Vec4& r, double* size = nullptr) {
  const double x = plane == 1 ? r(1) : r(3), t = plane == 1 ? r(2) : r(4);
  const double y = plane == 1 ? r(3) : r(1), p = plane == 1 ? r(4) : r(2);
  const std::array<double, 11> m = {0,         t * t * t, t * p * p, t * t * x, p * p * x, t * p * y,
                                    t * x * x, t * y * y, x * p * y, x * x * x, x * y * y};
  double sum = 0.0;
  double total = 0.0;
  for (int j = 1; j <= 10; ++j) {
    sum += c(plane, j) * m[static_cast<std::size_t>(j)];
    total += std::fabs(c(plane, j) * m[static_cast<std::size_t>(j)]);
  }
  if (size != nullptr) *size = total;
  return sum;
}

TEST(ThirdOrderPhysics, SeparateOctupoleMatchesIntegratedRays) {
  Rig r;
  const double u = 1.0, len = 0.1;
  r.add(3.0, u);
  const int oct = r.add(8.0, len, 0.02, 0.01);
  r.add(3.0, 0.3);
  r.end();
  r.walk(3);
  const double k3 = r.s.p(oct, 8);
  EXPECT_NEAR(k3, kE / momentum(3.0, 1.00728) * 0.02 / 1e-6, 1e-9 * k3);
  const vorne::ThirdOrderSet& c = r.v.walk.octu;
  EXPECT_EQ(c.c, r.v.walk.total.c);

  // The position terms alone: x^3 and x y^2, whose ratio is -3 for the force x^3 - 3 x y^2.
  EXPECT_DOUBLE_EQ(c(1, 10), -3 * c(1, 9));
  EXPECT_DOUBLE_EQ(c(2, 10), -3 * c(2, 9));
  const double e = 1e-4;
  const std::array<std::array<double, 4>, 8> rays = {{{0, e, 0, 0},
                                                      {0, e, 0, 0.7 * e},
                                                      {e, 0, 0, 0},
                                                      {e, 0, 0.6 * e, 0},
                                                      {0.5 * e, e, 0, 0},
                                                      {0.3 * e, 0.8 * e, -0.4 * e, 0.5 * e},
                                                      {-0.7 * e, 0.2 * e, 0.9 * e, -e},
                                                      {0.4 * e, -0.6 * e, 0.2 * e, 0.9 * e}}};
  for (const auto& a : rays) {
    Vec4 ray;
    for (int i = 1; i <= 4; ++i) ray(i) = a[static_cast<std::size_t>(i - 1)];
    const Vec4 dev = cubic_deviation(k3, u, len, ray);
    for (int plane = 1; plane <= 2; ++plane) {
      const double want = dev(plane == 1 ? 1 : 3);
      double size = 0.0;
      const double got = predicted(c, plane, ray, &size);
      EXPECT_NEAR(got, want, 1e-6 * size)
          << "plane " << plane << " ray " << a[0] << " " << a[1] << " " << a[2] << " " << a[3];
    }
  }
}

TEST(ThirdOrderPhysics, OctupoleOnAWeakQuadrupoleIsTheSeparateOctupole) {
  // In the limit of a weak quadrupole the superimposed octupole's closed forms become the
  // separate octupole's integrals from the lens entrance.
  auto lens = [](double octupole_field) {
    Rig r;
    r.add(3.0, 4.0);
    const int q = r.add(4.0, 0.06, 4e-5, 0.01);
    r.add(28.0, 0.06, octupole_field, 0.01);
    r.add(3.0, 0.2);
    r.end();
    r.walk(3);
    EXPECT_LT(std::fabs(r.s.p(q, 8) * 0.06), 0.01);
    EXPECT_GT(std::fabs(r.s.p(q, 8)), 1e-6);
    return vorne::lens_third_order(r.s, q, -2);
  };
  const vorne::ThirdOrderSet with = lens(0.02);
  const vorne::ThirdOrderSet without = lens(0.0);
  const double k3 = kE / momentum(3.0, 1.00728) * 0.02 / 1e-6;
  const double u = 4.0 + 0.03 - 0.03;  // object to the centre, less half the octupole
  vorne::ThirdOrderSet thick;
  vorne::thick_octupole(k3, 0.06, u, u, 1, thick);
  vorne::thick_octupole(k3, 0.06, u, u, 2, thick);
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j)
      EXPECT_NEAR(with(i, j) - without(i, j), thick(i, j), 1e-3 * std::fabs(thick(i, j))) << i << j;
}

TEST(ThirdOrderPhysics, SolenoidTermAndImageSideUnits) {
  Rig r;
  r.add(3.0, 1.0);
  const int sol = r.add(11.0, 0.1, 1.5, 0.02);
  r.add(3.0, 1.0);
  r.end();
  r.walk(3);
  const double k = kE / momentum(3.0, 1.00728) * 1.5 * 0.5;
  EXPECT_NEAR(r.s.p(sol, 8), k, 1e-12 * k);
  const double want = 3.141592654 * k * 0.1 / 6;
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 10; ++j) EXPECT_NEAR(r.v.walk.total(i, j), j == 1 ? want : 0.0, 1e-14 * want) << i << j;
  EXPECT_EQ(r.v.walk.quad.c, vorne::ThirdOrderSet{}.c);

  vorne::ThirdOrderSet c;
  for (int j = 1; j <= 10; ++j) {
    c(1, j) = j;
    c(2, j) = -j;
  }
  const vorne::ThirdOrderSet m = vorne::magnification_included(c, {2.0, -0.5});
  const double unit[11] = {0, 1e-3, 1e-3, 1e-6, 1e-6, 1e-6, 1e-9, 1e-9, 1e-9, 1e-12, 1e-12};
  for (int j = 1; j <= 10; ++j) {
    EXPECT_DOUBLE_EQ(m(1, j), 2.0 * j * unit[j]) << j;
    EXPECT_DOUBLE_EQ(m(2, j), 0.5 * j * unit[j]) << j;
  }
}

TEST(ThirdOrderPhysics, FirstLensIsTakenAsItStandsAndZeroMagnificationIsReported) {
  Rig r;
  r.load("doublet_focused.vrn");
  r.walk(3);
  const vorne::ThirdOrderSet first = vorne::lens_third_order(r.s, 4, -2);
  vorne::ThirdOrderSet sum;
  vorne::tadd(r.s, 4, r.settings(), first, sum);
  EXPECT_EQ(sum.c, first.c);
  r.take();
  // A lens whose preceding lens images with zero magnification cannot be referred.
  r.s.p(4, 9) = 0.0;
  vorne::ThirdOrderSet kept = sum;
  vorne::tadd(r.s, 6, r.settings(), first, kept);
  EXPECT_EQ(kept.c, sum.c);
  EXPECT_EQ(r.take(), " ?TADD - ZERO MAGNIFICATION AT IZ =   6\n           TMX =   0.00000E+00   TMY = " +
                          qx::edit_g(r.s.p(4, 10), 13, 5, 1) + "\n");
}

}  // namespace
