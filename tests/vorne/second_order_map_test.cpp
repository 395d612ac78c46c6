// The second-order maps: the linear extension as an exact polynomial identity, a system
// without sextupoles, sextupoles against numerical integration of their equations of motion,
// and the zero-radius check.
#include <array>
#include <random>

#include "optics_rig.h"
#include "optics/second_order.h"

namespace {

using namespace optics_test;
using vorne::Mat14;

// The monomial vector (x, theta, y, phi, x^2, x theta, ..., phi^2) of a phase-space vector.
std::array<double, 15> monomials(const Vec4& v) {
  std::array<double, 15> m{};
  int k = 5;
  for (int i = 1; i <= 4; ++i) m[static_cast<std::size_t>(i)] = v(i);
  for (int a = 1; a <= 4; ++a)
    for (int b = a; b <= 4; ++b) m[static_cast<std::size_t>(k++)] = v(a) * v(b);
  return m;
}

TEST(SecondOrderMap, LinearExtensionCarriesEveryProduct) {
  // A linear map carries the products of the coordinates into the products of the images:
  // the quadratic rows must turn the monomials of v into the monomials of A v exactly.
  std::mt19937 gen(7);
  std::uniform_real_distribution<double> u(-2.0, 2.0);
  for (int trial = 0; trial < 20; ++trial) {
    Mat4 a;
    for (double& x : a.v) x = u(gen);
    Vec4 v;
    for (int i = 1; i <= 4; ++i) v(i) = u(gen);
    const Mat14 t = vorne::linear_extension(a);
    const std::array<double, 15> in = monomials(v);
    const std::array<double, 15> want = monomials(vorne::apply(a, v));
    for (int i = 1; i <= 14; ++i) {
      double got = 0.0;
      for (int j = 1; j <= 14; ++j) got += t(i, j) * in[static_cast<std::size_t>(j)];
      EXPECT_NEAR(got, want[static_cast<std::size_t>(i)], 1e-12 * 64) << "row " << i;
    }
    for (int i = 1; i <= 4; ++i)
      for (int j = 5; j <= 14; ++j) EXPECT_EQ(t(i, j), 0.0);
  }
}

TEST(SecondOrderMap, SystemWithoutSextupolesIsItsLinearExtension) {
  for (const char* name : {"triplet_focused.vrn", "quadruplet_octupoles.vrn", "solenoid_doublet.vrn"}) {
    Rig r;
    r.load(name);
    r.walk(2);
    const Mat14 want = vorne::linear_extension(r.v.walk.s);
    for (int i = 1; i <= 14; ++i)
      for (int j = 1; j <= 14; ++j)
        EXPECT_NEAR(r.v.walk.s2(i, j), want(i, j), 1e-9 * std::max(1.0, std::fabs(want(i, j)))) << name << i << j;
  }
}

// State after a sextupole x'' = -K (x^2 - y^2), y'' = 2 K x y of length len.
Vec4 through_sextupole(double k, double len, const Vec4& in) {
  return rk4(
      [k](double, const Vec4& s) {
        Vec4 d;
        d(1) = s(2);
        d(2) = -k * (s(1) * s(1) - s(3) * s(3));
        d(3) = s(4);
        d(4) = 2 * k * s(1) * s(3);
        return d;
      },
      in, 0.0, len, 200);
}

// Second-order coefficient of monomial x_a x_b in output i, by central differences.
double integrated_coefficient(double k, double len, int i, int a, int b, double e) {
  auto out = [&](double sa, double sb) {
    Vec4 v;
    v(a) += sa * e;
    v(b) += sb * e;
    return through_sextupole(k, len, v)(i);
  };
  if (a == b) return (out(0.5, 0.5) + out(-0.5, -0.5) - 2 * out(0, 0)) / (2 * e * e);
  return (out(1, 1) - out(1, -1) - out(-1, 1) + out(-1, -1)) / (4 * e * e);
}

TEST(SecondOrderMap, SextupoleMatchesIntegratedRays) {
  struct Case {
    double code, field, radius, k;
  };
  const double w = 3.0;  // MeV, charge 1
  const double magnetic = 1.6021892E-19 / momentum(w, 1.00728) * 0.05 / (0.01 * 0.01);
  const double electric = -300.0 / (std::pow(0.01, 3) * w * 1e6);
  for (const Case& c : {Case{6.0, 0.05, 0.01, magnetic}, Case{16.0, -300.0, 0.01, electric}}) {
    Rig r;
    const int row = r.add(c.code, 0.1, c.field, c.radius);
    r.end();
    r.walk(2);
    const double strength = r.s.p(row, 8);
    const Mat14& s2 = r.v.walk.s2;
    int checked = 0;
    for (int i = 1; i <= 4; ++i)
      for (int a = 1; a <= 4; ++a)
        for (int b = a; b <= 4; ++b) {
          const double want = integrated_coefficient(c.k, 0.1, i, a, b, 1e-3);
          const double got = s2(i, vorne::monomial(a, b));
          EXPECT_NEAR(got, want, 1e-4 * std::fabs(want) + 1e-9 * std::fabs(c.k)) << c.code << " " << i << a << b;
          if (want != 0.0) ++checked;
        }
    EXPECT_GE(checked, 16);
    // The map leaves the strength column as the first-order routine wrote it.
    EXPECT_EQ(r.s.p(row, 8), strength);
  }
}

TEST(SecondOrderMap, ZeroRadiusOnlyWhereTheRadiusIsUsed) {
  Rig r;
  const int sext = r.add(6.0, 0.1, 0.05, 0.0);
  const int cyl = r.add(17.0, 0.1, 1.0, 0.0);  // a cylinder lens keeps its field in P3
  const int sol = r.add(11.0, 0.1, 0.0, 0.0);
  r.end();
  Mat14 t;
  vorne::element_second_order(r.s, sext, r.settings(), vorne::drift_matrix(0.1), t);
  EXPECT_EQ(r.take(), " Zero radius second order element at   3\n\n");
  EXPECT_EQ(t, vorne::linear_extension(vorne::drift_matrix(0.1)));
  vorne::element_second_order(r.s, cyl, r.settings(), vorne::drift_matrix(0.1), t);
  vorne::element_second_order(r.s, sol, r.settings(), vorne::drift_matrix(0.1), t);
  EXPECT_EQ(r.take(), "");
  EXPECT_EQ(t, vorne::linear_extension(vorne::drift_matrix(0.1)));
}

TEST(SecondOrderMap, SupraSextupoleOnAQuadrupoleAddsItsEntries) {
  Rig r;
  r.load("sextupole_triplet.vrn");
  r.walk(2);
  const int quad = 8;  // carries the supra sextupole of row 9
  Mat14 t;
  vorne::element_second_order(r.s, quad, r.settings(), r.v.walk.element_matrix[quad], t);
  Mat14 want = vorne::linear_extension(r.v.walk.element_matrix[quad]);
  const double k = 1.6021892E-19 / momentum(3.0, 1.00728) * 0.04 / (0.005 * 0.005);
  vorne::set_sextupole_entries(k, 0.14, want);
  for (int i = 1; i <= 14; ++i)
    for (int j = 1; j <= 14; ++j) EXPECT_NEAR(t(i, j), want(i, j), 1e-12 * std::max(1.0, std::fabs(want(i, j))));
  EXPECT_NE(t(1, 5), 0.0);
}

}  // namespace
