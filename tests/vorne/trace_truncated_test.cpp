// The truncated-system evaluation: the system cut at z against independently integrated
// truncated systems (cut rows, supra lenses cut with their host, a drift past the end, part of
// an accelerating column), the collimator's window, the cut system's own third-order terms,
// and the table and walk results put back bit for bit.
#include <cstring>

#include "optics/truncated.h"
#include "trace_expect.h"

namespace {

using namespace optics_test;
using trace_test::cut_matrix;

void expect_cut(Rig& r, const std::vector<double>& zs, double rel) {
  const Vec4 beam = trace_test::beam_of(r.s);
  for (const double z : zs) {
    const vorne::TruncatedResult t = vorne::evaluate_truncated(r.s, r.v.walk, r.settings(), 1, z, 0.01, beam);
    const Mat4 m = cut_matrix(r.s, z);
    expect_matrix_near(t.s, m, rel, 1.0, "z = " + std::to_string(z));
    const Vec4 want = vorne::apply(m, beam);
    for (int i = 1; i <= 4; ++i) EXPECT_NEAR(t.ray(i), want(i), rel * (std::fabs(want(i)) + 1e-6)) << "z = " << z;
  }
}

TEST(TraceTruncated, TripletCutAnywhereMatchesTheIntegratedPartSystem) {
  Rig r;
  r.load("triplet_focused.vrn");
  r.walk();
  // Rows: drift 5, quad 0.07, drift 0.03, quad 0.14, drift 0.03, quad 0.07, drift 0.15.
  expect_cut(r, {0.0, 2.5, 5.0, 5.035, 5.1, 5.17, 5.26, 5.3, 5.4, 5.49, 6.0, 7.3}, 1e-8);

  struct Where {
    double z;
    int row;
    double beyond;
  };
  for (const Where w : {Where{2.5, 3, 0.0}, Where{5.035, 4, 0.0}, Where{5.2, 6, 0.0}, Where{5.45, 9, 0.0},
                        Where{6.0, 10, 6.0 - 5.49}}) {
    const vorne::ZLocation loc = vorne::locate_z(r.s, w.z, 0.01);
    EXPECT_EQ(loc.row, w.row) << w.z;
    EXPECT_EQ(loc.test_row, w.row) << w.z;
    EXPECT_NEAR(loc.beyond, w.beyond, 1e-12) << w.z;
  }
  EXPECT_NEAR(vorne::plain_length(r.s), 5.49, 1e-12);
}

TEST(TraceTruncated, SupraQuadrupoleIsCutWithItsHost) {
  // A quadrupole with a supra quadrupole of its own length on it: cut inside, both keep acting
  // over the same part. Cut alone, the supra lens would act over its whole length.
  Rig r;
  r.beam(1e-5, 2e-4, 1e-5, 2e-4);
  r.add(3.00, 0.5);
  r.add(4.00, 0.3, 0.2, 0.01);
  r.add(24.00, 0.3, 0.1, 0.01);
  r.add(3.00, 0.4);
  r.end();
  r.walk();
  EXPECT_NEAR(vorne::plain_length(r.s), 1.2, 1e-12);
  expect_cut(r, {0.6, 0.7, 0.79, 1.0, 1.5}, 1e-8);
  vorne::LensSystem cut = r.s;
  const vorne::ZLocation loc = vorne::locate_z(cut, 0.6, 0.0);
  vorne::cut_system(cut, loc, 0.6);
  EXPECT_EQ(cut.izend, 6);
  EXPECT_EQ(cut.p(6, 1), 9.0);
  EXPECT_NEAR(cut.p(4, 2), 0.1, 1e-12);
  EXPECT_NEAR(cut.p(5, 2), 0.1, 1e-12);
}

TEST(TraceTruncated, PartOfAnAcceleratingColumnGainsPartOfItsVoltage) {
  // Paraxial ray in a uniform column, non-relativistic: sqrt(T) x' is constant, so over a
  // length z with T(z) = T0 + g z: x' = x0' sqrt(T0/T), x = x0 + x0' 2 sqrt(T0) (sqrt(T) - sqrt(T0)) / g.
  Rig r(1.0, 1.00728, 0.1);
  r.beam(0.0, 1e-3, 0.0, 1e-3);
  r.add(3.00, 0.1);
  r.add(10.00, 0.4, 0.2, 0.02);   // 0.2 MV over 0.4 m
  r.add(3.00, 0.1);
  r.end();
  r.walk();
  const double t0 = 0.1, g = 0.2 / 0.4;
  for (const double part : {0.1, 0.2, 0.3}) {
    const vorne::TruncatedResult t =
        vorne::evaluate_truncated(r.s, r.v.walk, r.settings(), 1, 0.1 + part, 0.0, trace_test::beam_of(r.s));
    const double t1 = t0 + g * part;
    const double x = 1e-3 * 0.1 + 1e-3 * 2.0 * std::sqrt(t0) * (std::sqrt(t1) - std::sqrt(t0)) / g;
    // The relativistic column of the program agrees with the slow-ion picture to about 1e-4.
    EXPECT_NEAR(t.ray(1), x, 2e-4 * x) << part;
    EXPECT_NEAR(t.ray(2), 1e-3 * std::sqrt(t0 / t1), 2e-4 * 1e-3) << part;
  }
}

TEST(TraceTruncated, CollimatorIsTestedForTwoStepsPastItsStart) {
  Rig r;
  r.add(3.00, 1.0);
  const int coll = r.add(5.00, 0.0, 0.0, 0.002);
  r.add(3.00, 1.0);
  r.end();
  struct Case {
    double z;
    int row;
    int test_row;
  };
  for (const Case c : {Case{0.999, 3, 3}, Case{1.0, 5, coll}, Case{1.019, 5, coll}, Case{1.021, 5, 5}}) {
    const vorne::ZLocation loc = vorne::locate_z(r.s, c.z, 0.01);
    EXPECT_EQ(loc.row, c.row) << c.z;
    EXPECT_EQ(loc.test_row, c.test_row) << c.z;
  }
  // The position of every plane still comes from the lengths alone.
  expect_cut(r, {1.0, 1.015, 1.5}, 1e-12);
}

TEST(TraceTruncated, ThirdOrderTermsAreThoseOfTheCutSystem) {
  // Inside the last lens the cut system has part of that lens only, and third-order terms of
  // its own. The terms left by a whole-system walk (and the chromatic terms of an earlier run)
  // must not enter.
  Rig whole;
  whole.load("triplet_focused.vrn");
  whole.s.p(2, 6) = 0.5;
  whole.walk(3);
  vorne::chromatic_run(whole.v, 0.5);
  const double z = 5.30;
  const Vec4 beam = trace_test::beam_of(whole.s);
  const vorne::TruncatedResult t = vorne::evaluate_truncated(whole.s, whole.v.walk, whole.settings(), 3, z, 0.01, beam);

  Rig part;
  part.load("triplet_focused.vrn");
  part.s.p(2, 6) = 0.5;
  part.s.p(8, 2) = z - 5.27;   // the last quadrupole up to z, then the end
  part.s.p(9, 1) = 9.0;
  part.s.p(9, 2) = 0.0;
  part.s.izend = 9;
  part.walk(3);
  Vec4 want = beam;
  vorne::ray_transform(part.v, 3, want, part.v.walk.s);
  Vec4 whole_terms = beam;
  whole.v.walk.chromatic = vorne::ChromaticTerms{};
  vorne::ray_transform(whole.v, 3, whole_terms, part.v.walk.s);
  const Vec4 first = vorne::apply(part.v.walk.s, beam);
  for (int i : {1, 3}) {
    const double own = want(i) - first(i);
    const double other = whole_terms(i) - first(i);
    EXPECT_NEAR(t.ray(i), want(i), 1e-9 * std::fabs(own) + 1e-18) << i;
    EXPECT_GT(std::fabs(own - other), 1e-3 * std::fabs(own)) << i;
  }
}

// Every stored bit of a table and of a walk's results.
template <class T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

void expect_same_system(const vorne::LensSystem& a, const vorne::LensSystem& b) {
  for (int iz = 1; iz <= vorne::kRows; ++iz) {
    for (int c = 1; c <= vorne::kColumns; ++c) EXPECT_TRUE(same_bits(a.p(iz, c), b.p(iz, c))) << iz << "," << c;
    EXPECT_TRUE(same_bits(a.rotation(iz), b.rotation(iz)) && same_bits(a.dx(iz), b.dx(iz)) &&
                same_bits(a.dy(iz), b.dy(iz)) && a.link(iz) == b.link(iz))
        << iz;
  }
  EXPECT_EQ(a.izend, b.izend);
  EXPECT_TRUE(same_bits(a.total_length, b.total_length));
  EXPECT_TRUE(same_bits(a.lens_mid, b.lens_mid));
  EXPECT_EQ(a.title, b.title);
}

void expect_same_walk(const vorne::WalkResult& a, const vorne::WalkResult& b) {
  EXPECT_TRUE(same_bits(a.s, b.s));
  EXPECT_TRUE(same_bits(a.s2, b.s2));
  EXPECT_TRUE(same_bits(a.total, b.total) && same_bits(a.quad, b.quad) && same_bits(a.octu, b.octu) &&
              same_bits(a.element, b.element));
  EXPECT_TRUE(same_bits(a.reference, b.reference));
  EXPECT_TRUE(same_bits(a.chromatic, b.chromatic));
  EXPECT_TRUE(same_bits(a.element_matrix, b.element_matrix));
  EXPECT_EQ(a.quads, b.quads);
  EXPECT_EQ(a.ended, b.ended);
}

TEST(TraceTruncated, EveryEvaluationPutsTheSystemBackBitForBit) {
  Rig r;
  r.load("octupole_triplet.vrn");
  r.walk(3);
  vorne::chromatic_run(r.v, 0.1);
  r.v.warnings = true;
  const vorne::LensSystem sys = r.s;
  const vorne::WalkResult walk = r.v.walk;
  const double len = vorne::plain_length(r.s);
  for (const int order : {1, 2, 3})
    for (const double f : {0.0, 0.3, 0.97, 0.999, 1.0, 1.4})
      vorne::evaluate_truncated(r.s, r.v.walk, r.settings(), order, f * len, 0.01, trace_test::beam_of(r.s));
  expect_same_system(r.s, sys);
  expect_same_walk(r.v.walk, walk);
  EXPECT_TRUE(r.v.warnings);
  EXPECT_EQ(r.take(), "");   // a sound system cut anywhere gives no messages
}

}  // namespace
