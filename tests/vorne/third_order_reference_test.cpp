// Every shipped system: the walk's third-order sums (system, quadrupole and octupole parts)
// and its second-order map against the independent evaluation of aberration_reference.h.
#include <filesystem>
#include <string>

#include "aberration_reference.h"
#include "optics/second_order.h"

namespace {

using optics_test::Rig;
namespace ref = aberration_ref;

constexpr double kRel = 1.0E-10;

std::vector<std::filesystem::path> shipped_systems() {
  std::vector<std::filesystem::path> files;
  for (const auto& dir : {qxtest::test_data(""), qxtest::example("")})
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path().extension() == ".vrn") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Coefficient by coefficient to kRel of the larger of the two values.
void expect_set(const vorne::ThirdOrderSet& got, const ref::Set& want, const std::string& what) {
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 10; ++j) {
      const double w = want.c[i][j];
      EXPECT_NEAR(got(i, j), w, kRel * std::max(std::fabs(w), std::fabs(got(i, j))) + 1e-300)
          << what << " (" << i << "," << j << ")";
    }
}

bool any_nonzero(const ref::Set& s) {
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 10; ++j)
      if (s.c[i][j] != 0.0) return true;
  return false;
}

TEST(ThirdOrderReference, EveryShippedSystemAtEachVariant) {
  const auto files = shipped_systems();
  ASSERT_GE(files.size(), 10u);
  int with_octupoles = 0;
  for (const auto& f : files) {
    for (const int idiag : {-2, -8, -9}) {
      Rig r;
      r.load_path(f);
      r.v.set_diagnostic(idiag);
      r.walk(3);
      const std::string what = f.filename().string() + " idiag " + std::to_string(idiag);
      const ref::Sums want = ref::system_sums(r, idiag);
      ASSERT_TRUE(any_nonzero(want.total)) << what;
      expect_set(r.v.walk.total, want.total, what + " system");
      expect_set(r.v.walk.quad, want.quad, what + " quadrupoles");
      expect_set(r.v.walk.octu, want.octu, what + " octupoles");
      if (any_nonzero(want.octu)) ++with_octupoles;
    }
  }
  EXPECT_GE(with_octupoles, 3);
}

TEST(ThirdOrderReference, SuperimposedOctupolesAndMixedLensesContribute) {
  // The shipped systems exercise what the plain quadrupole formula alone would miss.
  Rig a;
  a.load("supra_octupole.vrn");
  a.walk(3);
  const ref::Sums with = ref::system_sums(a, -2);
  Rig b;
  b.load("supra_octupole.vrn");
  for (int iz = 3; iz < b.s.izend; ++iz)
    if (ref::code_at(b, iz).type == 8) b.s.p(iz, 3) = 0.0;
  b.walk(3);
  EXPECT_GT(std::fabs(a.v.walk.quad(1, 1) - b.v.walk.quad(1, 1)), 1e-3 * std::fabs(b.v.walk.quad(1, 1)));
  expect_set(a.v.walk.quad, with.quad, "supra octupoles");

  // A magnetic quadrupole carrying an electric supra quadrupole has a fraction between 0 and -1.
  Rig e;
  e.load("electrostatic_quads.vrn");
  e.walk(3);
  const double fraction = e.s.p(9, 8);
  EXPECT_LT(fraction, 0.0);
  EXPECT_GT(fraction, -1.0);
}

TEST(SecondOrderReference, EveryShippedSystemComposesLikeTruncatedPolynomials) {
  for (const auto& f : shipped_systems()) {
    for (const int order : {2, 3}) {
      Rig r;
      r.load_path(f);
      r.walk(order);
      const ref::Poly want = ref::system_map(r);
      const vorne::Mat14& s2 = r.v.walk.s2;
      const std::string what = f.filename().string() + " order " + std::to_string(order);
      for (int i = 1; i <= 4; ++i) {
        double scale = 0.0;
        for (int a = 1; a <= 4; ++a)
          for (int b = a; b <= 4; ++b) scale = std::max(scale, std::fabs(want.quad[i][a][b]));
        for (int j = 1; j <= 4; ++j) EXPECT_NEAR(s2(i, j), want.lin[i][j], 1e-12) << what;
        for (int a = 1; a <= 4; ++a)
          for (int b = a; b <= 4; ++b)
            EXPECT_NEAR(s2(i, vorne::monomial(a, b)), want.quad[i][a][b],
                        kRel * std::max(std::fabs(want.quad[i][a][b]), 1e-6 * scale) + 1e-300)
                << what << " row " << i << " monomial " << a << b;
      }
    }
  }
}

}  // namespace
