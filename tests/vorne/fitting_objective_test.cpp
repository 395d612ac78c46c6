// The pieces behind MASK and PTF run in-process: variables from a mask, the objective's
// coefficient classes, excitation coefficients against integrated optics, and PTF's empty
// answers.
#include <cmath>
#include <memory>
#include <string>

#include "fit/mask.h"
#include "fit/excitation.h"
#include "app/loop.h"
#include "optics_rig.h"

namespace {

using optics_test::integrated_drift;
using optics_test::integrated_quad;
using optics_test::Mat4;
using optics_test::momentum;
using optics_test::Rig;
using vorne::FitMasks;
using vorne::FitVariables;

constexpr double kE = 1.6021892E-19;

// The user columns and offsets of every row, compared bit for bit.
void expect_same_table(const vorne::LensSystem& a, const vorne::LensSystem& b) {
  ASSERT_EQ(a.izend, b.izend);
  for (int iz = 1; iz <= vorne::kRows; ++iz) {
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(a.p(iz, c), b.p(iz, c)) << iz << "," << c;
    EXPECT_EQ(a.rotation(iz), b.rotation(iz)) << iz;
  }
}

// The detuned triplet's system matrix from integrated element matrices, for a proton of
// kinetic energy mev, with the fields of the lenses (rows 4, 6, 8) scaled by the factors.
Mat4 detuned_triplet(double mev, double f4 = 1.0, double f6 = 1.0, double f8 = 1.0) {
  const double p = momentum(mev, 1.00728);
  auto quad = [p](double len, double field) { return integrated_quad(kE * field / (0.005 * p), len); };
  Mat4 s = integrated_drift(5.0);
  for (const Mat4& a : {quad(0.07, 0.255193 * f4), integrated_drift(0.03), quad(0.14, -0.128921635749378 * f6),
                        integrated_drift(0.03), quad(0.07, 0.255193 * f8), integrated_drift(0.15)})
    s = vorne::product(a, s);
  return s;
}

TEST(FittingObjective, VariablesLinkEntriesAndComeBackExactly) {
  Rig r;
  r.load("triplet_detuned.vrn");
  const vorne::LensSystem before = r.s;
  FitMasks m;
  // Link 5 appears first, so it is variable 1; the rotation of row 6 moves against row 4's field.
  m.variables = {{{1, 6, 3, 5}, {1, 4, 3, 1}, {1, 8, 3, 1}, {2, 6, 1, -1}, {0, 0, 0, 0}}};
  const FitVariables vars = vorne::load_variables(r.s, m.variables);
  ASSERT_EQ(vars.nv, 2);
  EXPECT_EQ(vars.start[0], -0.128921635749378);
  EXPECT_EQ(vars.start[1], 0.255193);

  const double x[] = {-0.2, 0.3};
  vorne::apply_variables(r.s, vars, x);
  EXPECT_EQ(r.s.p(6, 3), -0.2);
  EXPECT_EQ(r.s.p(4, 3), 0.3);
  EXPECT_DOUBLE_EQ(r.s.p(8, 3), 0.3);
  EXPECT_DOUBLE_EQ(r.s.rotation(6), -(0.3 - 0.255193));

  // Awkward values on the way do not leave rounding behind once the start values return.
  for (const double t : {0.1 / 3, 1.0 / 7, 1E-9, 12345.678}) {
    const double y[] = {t, -t};
    vorne::apply_variables(r.s, vars, y);
  }
  vorne::apply_variables(r.s, vars, std::span<const double>(vars.start.data(), 2));
  expect_same_table(r.s, before);
}

TEST(FittingObjective, FirstOrderClassNamesEachMatrixTermOnce) {
  Rig r;
  r.add(3.0, 1.0);
  const int q = r.add(4.10, 0.1, 0.5, 0.01);
  r.add(3.0, 0.5);
  r.end();
  r.s.rotation(q) = 0.3;   // a rotated lens couples the planes: no term is zero
  r.walk();
  const Mat4 s = r.v.walk.s;
  // Plane 1: (x|x) (x|th) (th|x) (th|th) (x|y) (x|ph) (th|y) (th|ph); plane 2 exchanges the planes.
  const int rows[2][8] = {{1, 1, 2, 2, 1, 1, 2, 2}, {3, 3, 4, 4, 3, 3, 4, 4}};
  const int cols[2][8] = {{1, 2, 1, 2, 3, 4, 3, 4}, {3, 4, 3, 4, 1, 2, 1, 2}};
  const FitVariables none;
  for (int plane = 1; plane <= 2; ++plane)
    for (int c = 1; c <= 8; ++c) {
      FitMasks m;
      m.coefficients[0] = {1, plane, c, 0};
      const double value = vorne::mask_objective(r.v, m, none, {});
      const double expected = s(rows[plane - 1][c - 1], cols[plane - 1][c - 1]);
      EXPECT_EQ(value, std::fabs(expected)) << plane << " " << c;
      EXPECT_GT(value, 0.0) << plane << " " << c;
    }
  // Two coefficients of a row, and rows together, add in quadrature.
  FitMasks both;
  both.coefficients[0] = {1, 1, 2, 1};
  both.coefficients[1] = {1, 2, 2, 0};
  EXPECT_DOUBLE_EQ(vorne::mask_objective(r.v, both, none, {}),
                   std::sqrt(s(1, 2) * s(1, 2) + s(1, 1) * s(1, 1) + s(3, 4) * s(3, 4)));
}

TEST(FittingObjective, ExcitationCoefficientsAgreeWithIntegratedOptics) {
  Rig r;
  r.load("triplet_detuned.vrn");
  const vorne::LensSystem before = r.s;
  const double percent = 0.5;
  const vorne::ExcitationCoefficients e = vorne::excitation_coefficients(r.v, percent);
  ASSERT_EQ(e.lenses, 3);
  ASSERT_EQ(e.groups, 2);
  EXPECT_EQ(e.octupoles, 0);

  auto system = [](double f4, double f6, double f8) { return detuned_triplet(3.0, f4, f6, f8); };
  const double up = 1.0 + percent / 100.0;
  const double a = 1.0 / percent;   // the ray's angles, rad per percent
  auto expect_ray = [&](const Mat4& s, const std::array<double, 2>& got, const char* what) {
    EXPECT_NEAR(got[0], (s(1, 2) + s(1, 4)) * a * 1E3, 1E-6 * std::fabs(s(1, 2) * a * 1E3)) << what;
    EXPECT_NEAR(got[1], (s(3, 2) + s(3, 4)) * a * 1E3, 1E-6 * std::fabs(s(3, 4) * a * 1E3)) << what;
  };
  expect_ray(system(up, 1, 1), e.lens[0], "lens 1");
  expect_ray(system(1, up, 1), e.lens[1], "lens 2");
  expect_ray(system(1, 1, up), e.lens[2], "lens 3");
  expect_ray(system(up, 1, up), e.group[0], "group 1");
  expect_ray(system(1, up, 1), e.group[1], "group 2");
  expect_same_table(r.s, before);
}

// MASK's chromatic class: each term is how far its ray's end moves when the energy is raised
// by the fit's 0.005 %, rays (0, 1/P, 0, 1/P) and (1/P, 0, 1/P, 0); not the end itself.
TEST(FittingObjective, ChromaticClassHoldsTheChangesPerPercentOfEnergy) {
  Rig r;
  r.load("triplet_detuned.vrn");
  const double percent = 0.005, a = 1.0 / percent;
  const Mat4 hot = detuned_triplet(3.0 * (1.0 + percent / 100.0)), cold = detuned_triplet(3.0);
  auto change = [&](int i, int j, int k) { return (hot(i, j) + hot(i, k) - cold(i, j) - cold(i, k)) * a; };
  struct Case {
    int plane, c;
    double expected;
  } const cases[] = {{1, 1, change(1, 2, 4)}, {1, 2, change(1, 1, 3)}, {2, 1, change(3, 2, 4)}, {2, 2, change(3, 1, 3)}};
  const FitVariables none;
  for (const Case& k : cases) {
    FitMasks m;
    m.coefficients[0] = {2, k.plane, k.c, 0};
    EXPECT_NEAR(vorne::mask_objective(r.v, m, none, {}), std::fabs(k.expected), 1e-4 * std::fabs(k.expected))
        << k.plane << " " << k.c;
  }
}

TEST(FittingObjective, PtfEmptyAnswersLeaveFieldsUntouched) {
  // Fields whose trip through sqrt(K) and back does not give the same double.
  const double fields[] = {0.255193, -0.128921635749378, 0.7, 1.0 / 3.0};
  Rig r;
  int rows[4];
  for (int i = 0; i < 4; ++i) {
    r.add(3.0, 0.1);
    rows[i] = r.add(4.10, 0.1, fields[i], 0.0123);
  }
  r.end();
  const double p = momentum(3.0, 1.00728);
  const double factor = kE / (0.0123 * p);
  int changed = 0;
  for (const double f : fields) {
    const double v = std::sqrt(f * factor * (f < 0 ? -1 : 1));
    if ((f < 0 ? -v * v : v * v) / factor != f) ++changed;
  }
  ASSERT_GT(changed, 0) << "the round trip should lose bits for some of these fields";

  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("\n\n\n\n")};
  v.sys = r.s;
  vorne::run_line(v, "PTF B");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(v.sys.p(rows[i], 3), fields[i]) << i;
  EXPECT_NE(term.text().find("Beta  > "), std::string::npos);
}

TEST(FittingObjective, PtfRefusesAUnitThatDoesNotApply) {
  // A quadrupole without a bore radius has no strength: a typed value is refused.
  Rig r;
  r.add(3.0, 0.1);
  const int q = r.add(4.10, 0.1, 0.3, 0.0);
  r.end();
  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("5\n")};
  v.sys = r.s;
  vorne::run_line(v, "PTF B");
  EXPECT_EQ(v.sys.p(q, 3), 0.3);
  EXPECT_NE(term.text().find("?PTF- This unit does not apply to this lens; field unchanged."), std::string::npos)
      << term.text();
}

}  // namespace
