// CRAMER: the solved octupoles cancel the targeted system coefficients in a following walk;
// its messages, lines and the final run's correction report.
#include <filesystem>

#include "optics/corrections.h"
#include "optics_rig.h"
#include "vorne_session.h"

namespace {

using namespace optics_test;

std::string g13(double v) { return qx::edit_g(v, 13, 5, 1); }

// Loads a system with the fields of its octupoles (rows of type 8 or 28) set to zero.
void load_without_octupoles(Rig& r, const char* name) {
  r.load(name);
  for (int iz = 3; iz < r.s.izend; ++iz) {
    const int whole = static_cast<int>(r.s.p(iz, 1) + 1e-6);
    if (whole == 8 || whole == 28) r.s.p(iz, 3) = 0.0;
  }
  r.v.set_diagnostic(-2);
  r.walk(-3);
}

vorne::CramerTargets targets_of(const vorne::ThirdOrderSet& t) { return {t(1, 1), t(1, 2), t(2, 1), t(2, 2)}; }

// The lines a solved correction prints: the determinant, each octupole's field and residual,
// and the table of required corrections.
std::string solved_lines(const vorne::CramerSolution& sol) {
  std::string want = std::string(41, ' ') + "Determinant = " + g13(sol.determinant) + "\n";
  for (int k = 0; k < 3; ++k)
    want += "           Octupole  " + std::to_string(k + 1) + " = " + g13(sol.field[static_cast<std::size_t>(k)]) +
            " Tesla (Z" + std::to_string(k + 1) + " = " +
            qx::edit_g(sol.residual[static_cast<std::size_t>(k)], 9, 2, 1) + ")\n";
  want += " Required corrections;\n      Octupole          Field      Unit\n";
  for (int k = 0; k < 3; ++k)
    want += "        " + qx::edit_i(sol.rows[static_cast<std::size_t>(k)], 2) + "          " +
            g13(sol.field[static_cast<std::size_t>(k)]) + "  Tesla\n";
  return want;
}

TEST(Cramer, ThreeOctupolesCancelTheTargetedCoefficients) {
  for (const char* name : {"quadruplet_octupoles.vrn", "supra_octupole.vrn"}) {
    Rig r;
    load_without_octupoles(r, name);
    const vorne::ThirdOrderSet before = r.v.walk.total;
    const vorne::CramerSolution sol = vorne::cramer(r.s, r.settings(), targets_of(before));
    ASSERT_EQ(sol.status, vorne::CramerSolution::Status::solved) << name;
    for (const double z : sol.residual) EXPECT_LT(std::fabs(z), 1e-4) << name;
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(r.s.p(sol.rows[k], 3), sol.field[k]);
      EXPECT_NE(sol.field[k], 0.0);
    }
    r.walk(3);
    const vorne::ThirdOrderSet& after = r.v.walk.total;
    EXPECT_NEAR(after(1, 1), 0.0, 1e-6 * std::fabs(before(1, 1))) << name;
    EXPECT_NEAR(after(2, 1), 0.0, 1e-6 * std::fabs(before(2, 1))) << name;
    EXPECT_NEAR((after(1, 2) + after(2, 2)) / 2, 0.0, 1e-6 * std::fabs(before(1, 2) + before(2, 2)) / 2) << name;
    // The separate octupoles' strengths as the walk computes them are the solved ones.
    if (std::string(name) == "quadruplet_octupoles.vrn") {
      for (std::size_t k = 0; k < 3; ++k)
        EXPECT_NEAR(r.s.p(sol.rows[k], 8), sol.strength[k], 1e-12 * std::fabs(sol.strength[k]));
    }
  }
}

TEST(Cramer, LinesOfASolvedCorrection) {
  Rig r;
  load_without_octupoles(r, "quadruplet_octupoles.vrn");
  r.v.set_diagnostic(0);
  const vorne::CramerTargets t = targets_of(r.v.walk.total);
  const vorne::CramerSolution sol = vorne::cramer_solution(r.s, r.settings(), t);
  r.take();
  vorne::octupole_correction(r.s, r.settings(), t);
  const std::string want = solved_lines(sol);
  EXPECT_EQ(r.take(), want);
  // The determinant as printed is the step's expansion: the negative of the matrix's.
  EXPECT_NE(sol.determinant, 0.0);
}

TEST(Cramer, PartialCorrectionStillWritesTheFields) {
  Rig r;
  load_without_octupoles(r, "quadruplet_octupoles.vrn");
  // Targets so large that the residuals of the solve exceed the limit in absolute terms.
  const double big = 1e13 * r.v.walk.total(1, 1);
  const vorne::CramerSolution sol = vorne::cramer(r.s, r.settings(), {big, big, big, big});
  const double z = std::fabs(sol.residual[0]) + std::fabs(sol.residual[1]) + std::fabs(sol.residual[2]);
  ASSERT_GT(z, static_cast<double>(1e-4f));
  EXPECT_EQ(r.take().find(" %CRAMER - Partial correction  Z = " + g13(z) + "\n"), 0u);
  EXPECT_EQ(r.s.p(sol.rows[0], 3), sol.field[0]);
}

TEST(Cramer, TooFewSingularAndMoreThanThree) {
  // Two magnetic octupoles and an electric one: the electric one is not counted.
  Rig few;
  few.load("quadruplet_octupoles.vrn");
  few.s.p(10, 1) = 18.0;
  few.walk(-3);
  const vorne::LensSystem table = few.s;
  const vorne::CramerSolution a = vorne::cramer(few.s, few.settings(), {1, 2, 3, 4});
  EXPECT_EQ(a.status, vorne::CramerSolution::Status::too_few);
  EXPECT_EQ(few.take(),
            " %CRAMER- Insufficient Octupoles for correction,\n at least 3 are required, you have only  2\n");
  for (int iz = 1; iz <= vorne::kRows; ++iz)
    for (int c = 1; c <= vorne::kColumns; ++c) EXPECT_EQ(few.s.p(iz, c), table.p(iz, c));

  // Octupoles of no length give no integrals: the matrix is singular.
  Rig flat;
  flat.load("quadruplet_octupoles.vrn");
  for (const int iz : {6, 10, 14}) flat.s.p(iz, 2) = 0.0;
  flat.walk(-3);
  EXPECT_EQ(vorne::cramer(flat.s, flat.settings(), {1, 2, 3, 4}).status, vorne::CramerSolution::Status::singular);
  EXPECT_EQ(flat.take(),
            " \n %CRAMER-Determinant of coefficient matrix zero, system\n"
            " %CRAMER-cannot be corrected with octupoles. \n");

  // A fourth octupole in the image drift: the first three are used.
  Rig four;
  four.load("quadruplet_octupoles.vrn");
  const int end = four.s.izend;
  four.s.p(end + 2, 1) = 9.0;
  four.s.p(end - 1, 2) = 0.1;
  four.s.p(end, 1) = 8.0;
  four.s.p(end, 2) = 0.02;
  four.s.p(end, 3) = 0.01;
  four.s.p(end, 4) = 0.006;
  four.s.p(end + 1, 1) = 3.0;
  four.s.p(end + 1, 2) = 0.08;
  four.s.izend = end + 2;
  four.walk(-3);
  const vorne::CramerSolution b = vorne::cramer(four.s, four.settings(), targets_of(four.v.walk.total));
  EXPECT_EQ(b.octupoles, 4);
  EXPECT_EQ((b.rows), (std::array<int, 3>{6, 10, 14}));
  EXPECT_EQ(four.take().find(" %CRAMER - FIRST 3/4 OF AVAILABLE OCTUPOLES USED.\n"), 0u);
}

TEST(Cramer, FinalRunListingEndsWithTheCorrection) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("quadruplet_octupoles.vrn"), dir / "quadoct.vrn");
  vorne_session::run(dir, "DATA quadoct\nEXIT 1\n");
  const std::string listing = qxtest::read_file(dir / "quadoct.lpt");

  Rig r;
  r.load("quadruplet_octupoles.vrn");
  r.v.set_diagnostic(1);
  r.walk(3);
  r.take();
  const vorne::FishkResult f = vorne::fishk_coefficients(r.s, r.settings());
  const vorne::CramerSolution sol = vorne::cramer_solution(r.s, r.settings(), f.c);
  ASSERT_EQ(sol.status, vorne::CramerSolution::Status::solved);
  std::string tail = "           Hawkes' coefficients:";
  const std::size_t at = listing.find(tail);
  ASSERT_NE(at, std::string::npos) << listing;
  const std::string want = solved_lines(sol);
  const std::string rest = listing.substr(listing.find('\n', at) + 1);
  EXPECT_EQ(rest, want);
}

}  // namespace
