// The system walk at first order: composition, positions, MAG and FOCAL, the beam vectors,
// the shipped focused systems, and the walk's behaviour on bad tables.
#include "optics_rig.h"

namespace {

using namespace optics_test;

constexpr double kE = 1.6021892E-19;

// The system matrix from independently integrated element matrices of a table of drifts and
// magnetic quadrupoles (the shipped test systems), later elements on the left.
Mat4 integrated_system(const vorne::LensSystem& s) {
  Mat4 m = Mat4::identity();
  const double p = momentum(s.p(1, 4), s.p(1, 3));
  for (int k = 3; k < s.izend; ++k) {
    const double len = s.p(k, 2);
    const bool quad = static_cast<int>(s.p(k, 1)) == 4;
    const Mat4 a = quad ? integrated_quad(kE * s.p(1, 2) * s.p(k, 3) / s.p(k, 4) / p, len) : integrated_drift(len);
    m = vorne::product(a, m);
  }
  return m;
}

TEST(WalkFirstOrder, ShippedSystemsAreFocusedAndMatchIntegration) {
  for (const char* name : {"triplet_focused.vrn", "quadruplet_focused.vrn"}) {
    Rig r;
    r.load(name);
    r.walk();
    const Mat4& s = r.v.walk.s;
    EXPECT_LT(std::fabs(s(1, 2)), 1e-6) << name;
    EXPECT_LT(std::fabs(s(3, 4)), 1e-6) << name;
    expect_matrix_near(s, integrated_system(r.s), 1e-8, 1.0, name);
    // FOCAL over rows 3..IZEND gives the system's own focal lengths, and MAG its
    // magnification (S(1,1) of a focused system).
    const vorne::FocalLengths f = vorne::focal(r.v, r.s.izend);
    EXPECT_NEAR(f.fx, -1.0 / s(2, 1), 1e-9 * std::fabs(f.fx)) << name;
    EXPECT_NEAR(f.fy, -1.0 / s(4, 3), 1e-9 * std::fabs(f.fy)) << name;
    const vorne::Magnification m = vorne::mag(r.v, r.s.izend);
    EXPECT_NEAR(m.mx, s(1, 1), 1e-7 * std::fabs(s(1, 1))) << name;
    EXPECT_NEAR(m.my, s(3, 3), 1e-7 * std::fabs(s(3, 3))) << name;
    EXPECT_EQ(r.v.walk.quads, name[0] == 't' ? 3 : 4);
  }
}

TEST(WalkFirstOrder, MagCountsTheLensAtItsOwnRow) {
  Rig r;
  r.load("triplet_focused.vrn");
  r.walk();
  // The magnification up to the first lens's image is that lens's magnification.
  EXPECT_EQ(vorne::mag(r.v, 4).mx, r.s.p(4, 9));
  EXPECT_EQ(vorne::mag(r.v, 3).mx, 1.0);
  EXPECT_EQ(vorne::last_active_lens(r.s), 8);
  // A collimator keeps an offset in P2 but is no lens: MAG, FOCAL and the preceding-lens
  // search look through it.
  Rig c;
  c.load("triplet_focused.vrn");
  c.walk();
  const vorne::FocalLengths before = vorne::focal(c.v, c.s.izend);
  for (int k = c.s.izend; k >= 5; --k)
    for (int col = 1; col <= 12; ++col) c.s.p(k + 1, col) = c.s.p(k, col);
  c.s.p(5, 1) = 5.0;
  c.s.p(5, 3) = 0.3;
  c.s.p(5, 4) = 0.001;
  c.s.izend += 1;
  c.walk();
  EXPECT_EQ(vorne::preceding_lens(c.s, 7), 4);
  const vorne::FocalLengths after = vorne::focal(c.v, c.s.izend);
  EXPECT_DOUBLE_EQ(after.fx, before.fx);
  EXPECT_DOUBLE_EQ(vorne::mag(c.v, c.s.izend).my, vorne::mag(r.v, r.s.izend).my);
}

TEST(WalkFirstOrder, DriftsSupraAndSkippedTypes) {
  Rig d;
  d.add(3.0, 1.0);
  d.add(3.0, 2.5);
  d.add(5.0, 0.0, 0.2, 0.001);   // a collimator: no length, identity
  d.add(3.0, 0.25);
  d.end();
  d.walk();
  EXPECT_EQ(d.v.walk.s, vorne::drift_matrix(3.75));
  EXPECT_EQ(d.s.total_length, 3.75);
  EXPECT_EQ(d.s.izend, 7);

  // A supra lens adds its strength to the lens before it and nothing to z or S; a row the
  // walk has no routine for (19.00) passes the beam unchanged, it does not repeat the matrix
  // of the element before it.
  Rig a;
  a.add(3.0, 1.0);
  a.add(4.0, 0.1, 0.2, 0.005);
  a.add(24.0, 0.1, 0.1, 0.005);
  a.add(19.0, 0.0);
  const int lens = a.add(4.0, 0.1, -0.3, 0.005);
  a.add(3.0, 0.5);
  a.end();
  a.walk();
  Rig b;
  b.add(3.0, 1.0);
  b.add(4.0, 0.1, 0.3, 0.005);
  const int same = b.add(4.0, 0.1, -0.3, 0.005);
  b.add(3.0, 0.5);
  b.end();
  b.walk();
  expect_matrix_near(a.v.walk.s, b.v.walk.s, 1e-13, 1.0, "supra and type 19");
  EXPECT_EQ(a.s.total_length, b.s.total_length);
  EXPECT_EQ(a.s.p(lens, 5), b.s.p(same, 5));
  EXPECT_DOUBLE_EQ(a.s.lens_mid, 1.0 + 0.1);
}

TEST(WalkFirstOrder, BeamVectorsStayFirstOrderWithOffsets) {
  Rig r;
  r.load("triplet_focused.vrn");
  // Higher-order terms of an earlier walk must not be added at every element.
  r.v.walk.chromatic = {1e6, 1e6, 1e6, 1e6};
  r.walk(3);
  const Mat4 s = r.v.walk.s;
  Vec4 start;
  for (int i = 1; i <= 4; ++i) start(i) = r.s.p(2, i + 1);
  const Vec4 end = vorne::apply(s, start);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_NEAR(r.s.p(2, i + 6), end(i), 1e-15) << i;
    EXPECT_NEAR(r.v.walk.reference(i), end(i), 1e-15) << i;
  }
  // An offset d of the lens at row 4 adds the response to (A - I)(d, 0, 0, 0) behind it.
  r.s.dx(4) = 1e-4;
  r.walk();
  Mat4 behind = Mat4::identity();
  for (int k = 5; k < r.s.izend; ++k) behind = vorne::product(r.v.walk.element_matrix[k], behind);
  const Mat4& a = r.v.walk.element_matrix[4];
  Vec4 kick;
  kick(1) = (a(1, 1) - 1) * 1e-4;
  kick(2) = a(2, 1) * 1e-4;
  const Vec4 moved = vorne::apply(behind, kick);
  for (int i = 1; i <= 4; ++i) EXPECT_NEAR(r.s.p(2, i + 6), end(i) + moved(i), 1e-15) << i;
  EXPECT_NEAR(r.v.walk.reference(1), end(1), 1e-15);
}

TEST(WalkFirstOrder, OrderCodesAndTraceLevelReset) {
  Rig r;
  r.load("triplet_focused.vrn");
  r.walk(-3);   // third order without the second-order map
  const double fresh = r.v.walk.total(1, 1);
  EXPECT_NE(fresh, 0.0);
  r.v.walk.total(1, 1) = 5.0;
  r.walk(-5);   // keeps the third-order sums it starts with and adds this walk's
  EXPECT_NEAR(r.v.walk.total(1, 1), 5.0 + fresh, 1e-9 * std::fabs(fresh));
  r.v.walk.s2(1, 5) = 9.0;
  r.walk(-3);
  EXPECT_EQ(r.v.walk.total(1, 1), fresh);
  EXPECT_EQ(r.v.walk.s2(1, 5), 9.0);
  r.walk(2);   // a fresh map: no quadrupole has second-order terms of its own
  EXPECT_EQ(r.v.walk.s2(1, 5), 0.0);
  EXPECT_EQ(r.v.walk.s2(1, 1), r.v.walk.s(1, 1));

  r.v.set_diagnostic(12.0);   // above 9: traces like 1 and becomes 1
  r.walk();
  EXPECT_EQ(r.v.idiag, 1);
  EXPECT_EQ(r.s.p(1, 5), 1.0);
  EXPECT_NE(r.take().find("Final beam vector;"), std::string::npos);
}

TEST(WalkFirstOrder, BadTablesNeverCrash) {
  // No System End within 40 rows: the message and the matrix of everything walked.
  Rig r;
  for (int k = 3; k <= vorne::kRows; ++k) r.add(3.0, 0.1);
  r.s.izend = 12;
  r.walk();
  EXPECT_EQ(r.take(), " ?STIGMAT- No end element IZ = 41\n");
  expect_matrix_near(r.v.walk.s, vorne::drift_matrix(3.8), 1e-14, 1.0, "partial");
  EXPECT_FALSE(r.v.walk.ended);

  // Zero radius, zero energy and a column that stops the particle: messages, no NaN.
  Rig z(1.0, 1.00728, 0.0);
  z.add(3.0, 1.0);
  z.add(4.0, 0.1, 0.3, 0.0);
  z.add(11.0, 0.2, 1.0, 0.01);
  z.add(10.0, 0.2, -1.0, 0.01);
  z.end();
  z.walk();
  EXPECT_EQ(z.take(),
            " ?QUAD- Zero or negative radius in element  4\n"
            " ?SOLENOID- No particle energy at element  5\n"
            " ?ACCEL- No particle energy in element  6\n");
  EXPECT_TRUE(vorne::all_finite(z.v.walk.s));
  EXPECT_EQ(z.s.total_length, 1.5);

  // An einzel lens that cannot be built ends the walk at the System End of the last walk.
  Rig e;
  e.add(3.0, 1.0);
  e.add(15.0, 0.1, -2.0, 0.0);
  e.add(3.0, 7.0);
  e.end();
  e.walk();
  EXPECT_EQ(e.take(), " ?EINZ- Voltage ratio out of range in element  4\n");
  EXPECT_EQ(e.v.walk.s, vorne::drift_matrix(1.0));
  EXPECT_TRUE(e.v.walk.ended);
}

}  // namespace
