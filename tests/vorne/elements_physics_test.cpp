// Element matrices against numerical integration of the paraxial equations of motion, and
// the strengths against closed forms written from the physics.
#include "optics_rig.h"

namespace {

using namespace optics_test;
using vorne::ElementStatus;

constexpr double kE = 1.6021892E-19;
constexpr double kRel = 1.0E-8;

// The matrix an element routine builds for row `row`.
template <class Routine>
Mat4 built(Rig& r, int row, Routine routine) {
  Mat4 a;
  EXPECT_EQ(r.element(routine, row, a), ElementStatus::ok);
  return a;
}

TEST(QuadPhysics, MagneticAndElectricMatchIntegration) {
  struct Case {
    double code, len, field, radius;
  };
  const Case cases[] = {{4.0, 0.07, 0.25, 0.005},  {4.0, 0.2, -0.6, 0.01},   {4.0, 0.03, 1.2, 0.004},
                        {14.0, 0.1, 3000.0, 0.01}, {14.0, 0.25, -8000.0, 0.02}};
  for (const Case& c : cases) {
    Rig r(1.0, 1.00728, 3.0);
    const int row = r.add(c.code, c.len, c.field, c.radius);
    const Mat4 a = built(r, row, vorne::quad);
    // Magnetic: K = q e g / p with the gradient g = B/a. Electric (non-relativistic as the
    // program holds it): |K| = V / (a^2 T[eV]), the sign opposite to the voltage's.
    const double k = c.code == 4.0 ? kE * (c.field / c.radius) / momentum(3.0, 1.00728)
                                   : -c.field / (c.radius * c.radius * 3.0E6);
    expect_matrix_near(a, integrated_quad(k, c.len), kRel, c.len, "quad " + std::to_string(c.field));
    EXPECT_NEAR(r.s.p(row, 8), std::copysign(std::sqrt(std::fabs(k)), k), 1e-12 * std::sqrt(std::fabs(k)));
  }
}

TEST(QuadPhysics, ZeroFieldTiltAndSupra) {
  Rig r;
  const int plain = r.add(4.0, 0.1, 0.0, 0.005);
  for (int col = 5; col <= 12; ++col) r.s.p(plain, col) = 7.0;   // stale results
  EXPECT_EQ(built(r, plain, vorne::quad), vorne::drift_matrix(0.1));
  for (int col = 5; col <= 12; ++col) EXPECT_EQ(r.s.p(plain, col), 0.0) << col;

  // A quadrupole turned by 90 degrees is the quadrupole of opposite field.
  const int turned = r.add(4.0, 0.1, 0.3, 0.005);
  const int opposite = r.add(4.0, 0.1, -0.3, 0.005);
  r.s.rotation(turned) = 3.141592653589793 / 2;
  expect_matrix_near(built(r, turned, vorne::quad), built(r, opposite, vorne::quad), 1e-12, 0.1, "turned");
  // A negative field focuses in y: the x block holds the cosh terms.
  EXPECT_GT(built(r, opposite, vorne::quad)(1, 1), 1.0);

  // A supra quadrupole (24.00) of the same length adds its strength: one lens of the summed
  // field. Its own row is cleared and keeps the electrostatic fraction (0 here).
  Rig s;
  const int base = s.add(4.0, 0.1, 0.2, 0.005);
  const int supra = s.add(24.0, 0.1, 0.1, 0.005);
  for (int col = 5; col <= 12; ++col) s.s.p(supra, col) = 7.0;
  const int summed = s.add(4.0, 0.1, 0.3, 0.005);
  expect_matrix_near(built(s, base, vorne::quad), built(s, summed, vorne::quad), 1e-12, 0.1, "supra");
  for (int col = 5; col <= 12; ++col) EXPECT_EQ(s.s.p(supra, col), 0.0) << col;

  // An electric supra lens (34.00): the electrostatic fraction KE'/K lands in its column 8.
  Rig m;
  const int mq = m.add(4.0, 0.1, 0.2, 0.005);
  const int ms = m.add(34.0, 0.1, 2000.0, 0.01);
  built(m, mq, vorne::quad);
  const double kb = kE * 0.2 / 0.005 / momentum(3.0, 1.00728);
  const double ke = 2000.0 / (0.01 * 0.01 * 3.0E6);
  EXPECT_NEAR(m.s.p(ms, 8), ke / (kb - ke), 1e-12);
}

// Solenoid in the laboratory frame: x'' = 2k y', y'' = -2k x' inside, and the edge kicks
// x' += k y, y' -= k x at the entrance (reversed at the exit), k = q e B / (2 p).
Mat4 integrated_solenoid(double k, double len) {
  return matrix_of([&](const Vec4& in) {
    Vec4 y = in;
    y(2) += k * y(3);
    y(4) -= k * y(1);
    y = rk4([k](double, const Vec4& s) {
      Vec4 d;
      d(1) = s(2);
      d(2) = 2 * k * s(4);
      d(3) = s(4);
      d(4) = -2 * k * s(2);
      return d;
    }, y, 0.0, len, 4000);
    y(2) -= k * y(3);
    y(4) += k * y(1);
    return y;
  });
}

TEST(SolenoidPhysics, MatchesIntegrationAndOppositeFieldsUncouple) {
  for (const double len : {0.05, 0.3, 1.0})
    for (const double field : {0.5, -1.5, 4.0}) {
      Rig r;
      const int row = r.add(11.0, len, field, 0.02);
      const double k = kE * field / (2 * momentum(3.0, 1.00728));
      expect_matrix_near(built(r, row, vorne::solenoid), integrated_solenoid(k, len), kRel, len, "solenoid");
      EXPECT_NEAR(r.s.p(row, 8), k, 1e-12 * std::fabs(k));
    }
  // The rotation follows the field's sign, so a reversed twin undoes the coupling.
  Rig r;
  const Mat4 one = built(r, r.add(11.0, 0.4, 2.0, 0.02), vorne::solenoid);
  const Mat4 two = built(r, r.add(11.0, 0.4, -2.0, 0.02), vorne::solenoid);
  const Mat4 both = vorne::product(two, one);
  for (int i = 1; i <= 2; ++i)
    for (int j = 3; j <= 4; ++j) {
      EXPECT_NEAR(both(i, j), 0.0, 1e-14) << i << j;
      EXPECT_NEAR(both(j, i), 0.0, 1e-14) << j << i;
    }
  EXPECT_GT(std::fabs(one(1, 3)), 0.01);   // each one alone couples
}

// Non-relativistic motion in a uniform accelerating field: (p x')' = 0 with p ~ sqrt(T), so
// x'' = -(T'/2T) x', T(z) = T0 + gain z / L.
Mat4 integrated_column(double t0, double gain, double len) {
  return integrated([=](double z, const Vec4& s) {
    const double shrink = (gain / len) / (2 * (t0 + gain * z / len));
    Vec4 d;
    d(1) = s(2);
    d(2) = -shrink * s(2);
    d(3) = s(4);
    d(4) = -shrink * s(4);
    return d;
  }, len, 20000);
}

TEST(AccelPhysics, ColumnMatchesIntegrationAndEnergyFollowsCharge) {
  for (const double volts : {1.0, 4.0, -1.5}) {
    Rig r(1.0, 1.00728, 3.0);
    const int row = r.add(10.0, 0.5, volts, 0.01);
    expect_matrix_near(built(r, row, vorne::accel), integrated_column(3.0, volts, 0.5), kRel, 0.5, "column");
  }
  // A doubly charged ion gains 2 V in a column of V: two halves of a column make the whole
  // column only when the second half starts at T0 + |q| V/2.
  Rig whole(2.0, 4.0026, 2.0);
  whole.add(3.0, 1.0);
  whole.add(10.0, 0.6, 3.0, 0.01);
  whole.end();
  whole.walk();
  Rig halves(2.0, 4.0026, 2.0);
  halves.add(3.0, 1.0);
  halves.add(10.0, 0.3, 1.5, 0.01);
  halves.add(10.0, 0.3, 1.5, 0.01);
  halves.end();
  halves.walk();
  expect_matrix_near(halves.v.walk.s, whole.v.walk.s, 1e-12, 1.0, "halves");
  expect_matrix_near(whole.v.walk.s, vorne::product(integrated_column(2.0, 6.0, 0.6), integrated_drift(1.0)), kRel,
                     1.0, "ion column");
  EXPECT_DOUBLE_EQ(vorne::energy_at(halves.s, 6), 8.0);
}

TEST(AccelPhysics, LensAfterColumnSeesTheFasterParticle) {
  // A quadrupole behind a 1 MV column focuses a 3 MeV proton as a 4 MeV one.
  Rig r(1.0, 1.00728, 3.0);
  r.add(10.0, 0.5, 1.0, 0.01);
  const int q = r.add(4.0, 0.1, 0.4, 0.005);
  r.end();
  r.walk();
  const double k = kE * (0.4 / 0.005) / momentum(4.0, 1.00728);
  expect_matrix_near(r.v.walk.element_matrix[q], integrated_quad(k, 0.1), kRel, 0.1, "quad after column");
  EXPECT_EQ(r.s.p(1, 4), 3.0);   // the working energy is back
}

TEST(MultipolePhysics, SextupoleAndOctupoleStrengths) {
  Rig r(2.0, 4.0026, 5.0);
  const int sx = r.add(6.0, 0.1, -0.4, 0.01);
  const int oc = r.add(8.0, 0.1, 0.3, 0.01);
  const int eo = r.add(18.0, 0.1, 500.0, 0.01);
  EXPECT_EQ(built(r, sx, vorne::sext), vorne::drift_matrix(0.1));
  EXPECT_EQ(built(r, oc, vorne::octu), vorne::drift_matrix(0.1));
  built(r, eo, vorne::octu);
  const double rigidity = 2 * kE / momentum(5.0, 4.0026);
  EXPECT_NEAR(r.s.p(sx, 8), -std::sqrt(rigidity * 0.4 / 1e-4), 1e-9);
  EXPECT_NEAR(r.s.p(oc, 8), rigidity * 0.3 / 1e-6, 1e-6);
  EXPECT_NEAR(r.s.p(eo, 8), -2 * 500.0 / (1e-8 * 5.0E6), 1e-6);
  EXPECT_EQ(r.s.p(oc, 11), 1.0E30);
  EXPECT_EQ(r.s.p(oc, 12), 1.0E30);
  EXPECT_EQ(r.s.p(oc, 9), 1.0);
}

}  // namespace
