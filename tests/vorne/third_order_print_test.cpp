// Layouts of the third-order prints, written from their record layouts: the coefficient print
// in its four kinds, the QSPHER trace of the "-4" level, and the lens and system sets the
// walk's level 8 and 9 traces put into the final-run listing.
#include <filesystem>

#include "aberration_reference.h"
#include "optics/third_order.h"
#include "vorne_session.h"

namespace {

using optics_test::Rig;
namespace ref = aberration_ref;

std::string g(double v) { return qx::edit_g(v, 13, 5, 0); }
std::string g1p(double v) { return qx::edit_g(v, 13, 5, 1); }

// The print of one set: title record, blank record, two value lines per plane.
std::string expected_print(const std::string& title, const std::string& letter, const double c[3][11]) {
  std::string t = title;
  t.resize(40, ' ');
  std::string out;
  for (int i = 1; i <= 2; ++i) {
    out += i == 1 ? " \n           " + t + "   X-Plane\n\n" : " \n" + std::string(54, ' ') + "Y-Plane\n\n";
    const std::string p = std::to_string(i);
    out += "     ";
    for (int j = 1; j <= 5; ++j) out += letter + "(" + p + "," + std::to_string(j) + ") = " + g(c[i][j]) + "  ";
    out.resize(out.size() - 2);  // skipped columns at the end of a record are not written
    out += "\n     ";
    for (int j = 6; j <= 9; ++j) out += letter + "(" + p + "," + std::to_string(j) + ") = " + g(c[i][j]) + "  ";
    out += letter + "(" + p + ",10)= " + g(c[i][10]) + "\n";
  }
  return out;
}

TEST(ThirdOrderPrint, FourKinds) {
  vorne::ThirdOrderSet c;
  double raw[3][11] = {};
  for (int j = 1; j <= 10; ++j) {
    c(1, j) = raw[1][j] = std::pow(-3.7, j) * 1e-3;
    c(2, j) = raw[2][j] = 1.0 / (j * 7.0) - 0.05;
  }
  c(2, 4) = raw[2][4] = 0.0;
  const char* titles[5] = {"", "Third order lens coefficients", "Third order system coefficients",
                           "Mag. included third order system coeffs", "Mag. included third order lens coeffs"};
  const char* letters[5] = {"", "T", "S", "R", "W"};
  for (int kind = 1; kind <= 4; ++kind) {
    qx::StringOutput out;
    vorne::print_third_order(out, c, kind);
    EXPECT_EQ(out.text(), expected_print(titles[kind], letters[kind], raw)) << kind;
  }
}

TEST(ThirdOrderPrint, QuadrupoleTraceWithTwoSuperimposedOctupoles) {
  Rig r;
  r.load("supra_octupole.vrn");
  r.v.set_diagnostic(-4);
  r.walk(3);
  const std::string text = r.take();
  const double w = 3.0;
  const double kappa = ref::kE / optics_test::momentum(w, 1.00728);
  // The middle quadrupole (row 7) carries two octupoles: rows 8 and 9.
  const vorne::ThirdOrderSet c = vorne::lens_third_order(r.s, 7, -4);
  const std::string want =
      " %QSPHER- Third order aberration coeffs\n"
      "       T(1,1) = " +
      g1p(c(1, 1)) + "  T(1,2) = " + g1p(c(1, 2)) + "  Beta = " + g1p(std::fabs(r.s.p(7, 8))) +
      "\n"
      "       T(2,1) = " +
      g1p(c(2, 1)) + "  T(2,2) = " + g1p(c(2, 2)) + " Gamma = " + g1p(kappa * -0.03 / std::pow(0.005, 3)) + "\n" +
      std::string(53, ' ') + " Gamma = " + g1p(kappa * 0.02 / std::pow(0.005, 3)) + "\n\n";
  EXPECT_NE(text.find(want), std::string::npos) << text;
  // One trace per quadrupole; only the middle one has a second octupole line.
  std::size_t n = 0;
  for (std::size_t at = text.find("%QSPHER"); at != std::string::npos; at = text.find("%QSPHER", at + 1)) ++n;
  EXPECT_EQ(n, 3u);
}

TEST(ThirdOrderPrint, LevelNineListingShowsLensAndSystemSets) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("doublet_focused.vrn"), dir / "doublet.vrn");
  const auto run = vorne_session::run(dir, "DATA doublet\nEXIT 9\n");
  const std::string listing = qxtest::read_file(dir / "doublet.lpt");
  Rig r;
  r.load("doublet_focused.vrn");
  r.walk(3);
  const ref::Set first = ref::lens_set(r, 4, -2);
  const ref::Set second = ref::lens_set(r, 6, -2);
  ref::Set sum = ref::referred(r, 4, first);
  const std::string after_first = expected_print("Third order lens coefficients", "T", first.c) +
                                  expected_print("Third order system coefficients", "S", sum.c);
  sum += ref::referred(r, 6, second);
  const std::string after_second = expected_print("Third order lens coefficients", "T", second.c) +
                                   expected_print("Third order system coefficients", "S", sum.c);
  EXPECT_NE(listing.find(after_first), std::string::npos) << listing;
  EXPECT_NE(listing.find(after_second), std::string::npos);
  // Drifts are not lenses: two lens sets only.
  std::size_t n = 0;
  for (std::size_t at = listing.find("Third order lens"); at != std::string::npos;
       at = listing.find("Third order lens", at + 1))
    ++n;
  EXPECT_EQ(n, 2u);
}

}  // namespace
