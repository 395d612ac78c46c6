// The physics runs without the program: a quadrupole's matrix from its row and a particle,
// and the walk of the example system at first order, each against closed forms written here
// (thick-lens quadrupole matrices and drifts), with no program state built.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "elements/elements.h"
#include "optics/walk.h"
#include "qx/units.h"
#include "system/datafile.h"

namespace {

using vorne::Mat4;

constexpr double kE = 1.6021892E-19;   // C
constexpr double kC = 299792458.0;     // m/s
constexpr double kU = 1.660565416E-27; // kg

// Relativistic momentum (kg m/s) from pc = sqrt(T^2 + 2 T mc^2).
double momentum(double mev, double amu) {
  const double mc2 = amu * kU * kC * kC / kE / 1.0E6;
  return std::sqrt(mev * mev + 2.0 * mev * mc2) * 1.0E6 * kE / kC;
}

// Thick hard-edge quadrupole x'' = -k x, y'' = +k y (k signed, 1/m^2).
Mat4 thick_quad(double k, double len) {
  const double r = std::sqrt(std::fabs(k));
  const double c = std::cos(r * len), s = std::sin(r * len);
  const double ch = std::cosh(r * len), sh = std::sinh(r * len);
  const double focus[2][2] = {{c, s / r}, {-r * s, c}};
  const double defocus[2][2] = {{ch, sh / r}, {r * sh, ch}};
  const auto& x = k > 0 ? focus : defocus;
  const auto& y = k > 0 ? defocus : focus;
  Mat4 m;
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      m(i + 1, j + 1) = x[i][j];
      m(i + 3, j + 3) = y[i][j];
    }
  return m;
}

Mat4 drift(double len) {
  Mat4 m = Mat4::identity();
  m(1, 2) = m(3, 4) = len;
  return m;
}

Mat4 times(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      for (int k = 1; k <= 4; ++k) r(i, j) += a(i, k) * b(k, j);
  return r;
}

// Magnetic quadrupole strength k = q e (B / a) / p.
double magnetic_k(double field, double radius, const vorne::Particle& p) {
  return p.charge * kE * (field / radius) / momentum(p.energy, p.mass);
}

void expect_near(const Mat4& got, const Mat4& want, double rel) {
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      EXPECT_NEAR(got(i, j), want(i, j), rel * std::max(1.0, std::fabs(want(i, j)))) << "(" << i << "," << j << ")";
}

TEST(ExplicitInputs, QuadrupoleMatrixFromARowAndAParticle) {
  vorne::LensSystem s;   // the row is all the routine reads of the table
  s.p(3, 1) = 4.10;
  s.p(3, 2) = 0.07;
  s.p(3, 3) = 0.252666;
  s.p(3, 4) = 0.005;
  qx::StringOutput term;
  vorne::WalkSettings settings;
  settings.terminal = &term;
  // A proton at 3 MeV, one at 12 MeV (less focused), and a doubly charged ion.
  for (const vorne::Particle& p : {vorne::Particle{1.0, 1.00728, 3.0}, vorne::Particle{1.0, 1.00728, 12.0},
                                   vorne::Particle{2.0, 4.0026, 3.0}}) {
    Mat4 a;
    ASSERT_EQ(vorne::quad(s, 3, p, settings, a), vorne::ElementStatus::ok);
    expect_near(a, thick_quad(magnetic_k(0.252666, 0.005, p), 0.07), 1e-12);
    EXPECT_NEAR(s.p(3, 8), std::sqrt(magnetic_k(0.252666, 0.005, p)), 1e-9);
  }
  EXPECT_EQ(term.text(), "");
}

TEST(ExplicitInputs, ExampleTripletWalksAtFirstOrderAsThickLensesAndDrifts) {
  vorne::LensSystem s;
  {
    auto in = qx::FileInput::open(std::filesystem::path(QX_EXAMPLES_DIR) / "triplet.vrn", 1);
    ASSERT_TRUE(in);
    ASSERT_EQ(vorne::read_system(*in, s), vorne::LoadResult::loaded);
  }
  qx::StringOutput term;
  vorne::WalkSettings settings;
  settings.terminal = &term;
  vorne::WalkResult w;
  vorne::system_walk(s, w, settings);
  ASSERT_TRUE(w.ended);

  const vorne::Particle proton{1.0, 1.00728, 3.0};
  const Mat4 q1 = thick_quad(magnetic_k(0.252666, 0.005, proton), 0.07);
  const Mat4 q2 = thick_quad(magnetic_k(-0.128922, 0.005, proton), 0.14);
  // Rows in beam order: object drift, Q1, gap, Q2, gap, Q3 (= Q1), image drift.
  Mat4 want = drift(5.0);
  for (const Mat4& m : {q1, drift(0.03), q2, drift(0.03), q1, drift(0.15)}) want = times(m, want);
  expect_near(w.s, want, 1e-10);
  // The example focuses: the image lies at the end, (x|theta) and (y|phi) nearly vanish
  // against the object distance.
  EXPECT_LT(std::fabs(w.s(1, 2)), 1e-3);
  EXPECT_LT(std::fabs(w.s(3, 4)), 1e-3);
  EXPECT_NEAR(s.total_length, 5.0 + 0.07 + 0.03 + 0.14 + 0.03 + 0.07 + 0.15, 1e-12);
  EXPECT_EQ(term.text(), "");
}

}  // namespace
