// Session tests of field entry and fitting: P, PTF, S and STIG, MASK and AGP driven through
// the program with scripts; layouts from the documented formats, numbers computed here.
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "optics_rig.h"
#include "session.h"
#include "vorne_session.h"

namespace {

using optics_test::integrated_drift;
using optics_test::integrated_quad;
using optics_test::Mat4;
using optics_test::momentum;
using optics_test::Rig;
using qx::edit_f;
using qx::edit_g;
using qx::edit_i;
using qxtest::read_file;
using qxtest::split_lines;
using qxtest::TempDir;
using qxtest::write_file;

constexpr double kE = 1.6021892E-19;
constexpr double kMu0 = 1.256637062E-06;
using vorne_session::kPrompt;
using vorne_session::load_text;
using vorne_session::saved;

// A magnetic quadrupole of 0.5 T in group 1, an electric one of 5 kV and a constant one.
const std::string kLenses =
    " Field entry\n"
    " 0.00, 1.0, 1.00728, 3.0, -1.0\n"
    " 1.00, 5.0E-6, 2.0E-4, 5.0E-6, 2.0E-4, 0.01\n"
    " 3.00, 1.0, 0.0, 0.0\n"
    " 4.10, 0.1, 0.5, 0.01\n"
    " 3.00, 0.2, 0.0, 0.0\n"
    " 14.00, 0.1, 5000.0, 0.01\n"
    " 3.00, 0.2, 0.0, 0.0\n"
    " 4.00, 0.1, -0.2, 0.01\n"
    " 3.00, 0.5, 0.0, 0.0\n"
    " 9.00, 0.0, 0.0, 0.0\n";

std::string load_shipped(const TempDir& dir, const std::string& name) {
  std::filesystem::copy_file(qxtest::test_data(name), dir / "sys.vrn",
                             std::filesystem::copy_options::overwrite_existing);
  return "DATA sys\n";
}

// The number after `label` in the text (from `from` on); NaN when absent.
double number_after(const std::string& text, const std::string& label, std::size_t from = 0) {
  const std::size_t at = text.find(label, from);
  if (at == std::string::npos) return std::nan("");
  std::istringstream in(text.substr(at + label.size()));
  double x = std::nan("");
  in >> x;
  return x;
}

// The fit's trace records: "(1H ,I3,' ',1P,G13.5,...)" lines, count and value.
struct TraceLine {
  long count;
  double value;
};
std::vector<TraceLine> stig_trace(const std::string& text) {
  std::vector<TraceLine> t;
  for (const std::string& line : split_lines(text)) {
    if (line.size() < 19 || line[0] != ' ' || line[4] != ' ') continue;
    std::istringstream in(line);
    TraceLine l{};
    if (in >> l.count >> l.value && l.count > 0 && line.substr(1, 3) == edit_i(l.count, 3)) t.push_back(l);
  }
  return t;
}

// The PTF prompt of one lens, F11.5 layout.
std::string ptf_line(int row, const std::string& label, const std::string& kind, int n, double value,
                     const std::string& unit) {
  return " " + edit_i(row, 2) + " " + label + "       " + kind + " Quadrupole " + edit_i(n, 2) + " field = " +
         edit_f(value, 11, 5) + " " + unit + " > ";
}

// ---- PTF ----------------------------------------------------------------------------------------

TEST(FittingSession, PtfGaussKilovoltsAndConstantLenses) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, load_text(dir, kLenses) + "PTF G\n4000\n\n\nPTF T\n\n\n\nPTF V\n\n\n\nSAVE out\n")
          .from_first_prompt();
  // Gauss for the magnetic lenses; the electric one stays in kilovolts under G.
  EXPECT_NE(out.find(ptf_line(4, "Variable", "Magn", 1, 5000.0, "Gauss") +
                     ptf_line(6, "Constant", "Elec", 2, 5.0, "kV   ") +
                     ptf_line(8, "Constant", "Magn", 3, -2000.0, "Gauss") + kPrompt),
            std::string::npos)
      << out;
  // 4000 gauss stored 0.4 T; V shows volts.
  EXPECT_NE(out.find(ptf_line(4, "Variable", "Magn", 1, 0.4, "Tesla")), std::string::npos) << out;
  EXPECT_NE(out.find(ptf_line(6, "Constant", "Elec", 2, 5000.0, "Volts")), std::string::npos) << out;
  EXPECT_EQ(saved(dir, "out.vrn").p(4, 3), 0.4);
}

TEST(FittingSession, PtfStrengthAndPhaseAreSquareRootsWithTheFieldsSign) {
  TempDir dir;
  const double p = momentum(3.0, 1.00728);
  const double k4 = kE * 0.5 / (0.01 * p);    // K of the 0.5 T lens, 1/m^2
  const double k8 = kE * -0.2 / (0.01 * p);
  const std::string out =
      vorne_session::run(dir, load_text(dir, kLenses) + "PTF B\n\n\n-10\nPTF H\n\n\n\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find(ptf_line(4, "Variable", "Magn", 1, std::sqrt(k4), "Beta ")), std::string::npos) << out;
  EXPECT_NE(out.find(ptf_line(8, "Constant", "Magn", 3, -std::sqrt(-k8), "Beta ")), std::string::npos) << out;
  // -10 /m stores the field of K = -100: B = -100 a p / e.
  const double field = saved(dir, "out.vrn").p(8, 3);
  EXPECT_NEAR(field, -100.0 * 0.01 * p / kE, 1E-6);
  EXPECT_NE(out.find(ptf_line(4, "Variable", "Magn", 1, std::sqrt(k4) * 0.1, "Theta")), std::string::npos) << out;
  // The electric lens: strength V / (a^2 T) with T in eV.
  const double ke = 5000.0 / (0.01 * 0.01 * 3.0E6);
  EXPECT_NE(out.find(ptf_line(6, "Constant", "Elec", 2, std::sqrt(ke), "Beta ")), std::string::npos) << out;
}

TEST(FittingSession, PtfAmpereTurnsGradientAndSmallValuesInGForm) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, load_text(dir, kLenses) + "PTF A\n\n\n\nPTF F\n\n\n\n").from_first_prompt();
  EXPECT_NE(out.find(ptf_line(4, "Variable", "Magn", 1, 0.5 * 0.01 / (2 * kMu0), "AmpTn")), std::string::npos) << out;
  EXPECT_NE(out.find(ptf_line(4, "Variable", "Magn", 1, 0.5 / 0.01, "Fd Gr")), std::string::npos) << out;
  // From 1E4 on (and below 0.001) the value is written 1P,G11.4.
  TempDir dir2;
  const std::string large = vorne_session::run(dir2, load_text(dir2, kLenses) + "PTF O\n\n\n\n").from_first_prompt();
  EXPECT_NE(large.find("  4 Variable       Magn Quadrupole  1 field = " + edit_g(0.5 * 22797.41, 11, 4, 1) +
                       " Lqctl > "),
            std::string::npos)
      << large;
}

TEST(FittingSession, PtfEndOfInputKeepsTheAnswersGiven) {
  TempDir dir;
  write_file(dir / "ptf.vcm", "PTF T\n0.3\n");
  vorne_session::run(dir, load_text(dir, kLenses) + "@ptf\nSAVE out\n").from_first_prompt();
  const vorne::LensSystem s = saved(dir, "out.vrn");
  EXPECT_EQ(s.p(4, 3), 0.3);
  EXPECT_EQ(s.p(6, 3), 5000.0);
}

TEST(FittingSession, PtfStrengthOfSolenoidsAndLensesWithoutAFormula) {
  TempDir dir;
  // A solenoid after a quadrupole: its strength is Q e / (2 p), not the quadrupole's factor
  // left over; an accelerating column has no strength formula and shows its field.
  const std::string text = " Solenoid\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n"
                           " 3.00, 1.0, 0, 0\n 4.10, 0.1, 0.5, 0.01\n 3.00, 0.2, 0, 0\n 11.00, 0.3, 0.8, 0.02\n"
                           " 10.00, 0.1, 2000.0, 0.02\n 3.00, 0.5, 0, 0\n 9.00, 0, 0, 0\n";
  const double p = momentum(3.0, 1.00728);
  const std::string out = vorne_session::run(dir, load_text(dir, text) + "PTF B\n\n\n\n").from_first_prompt();
  EXPECT_NE(out.find("  6 Constant       Magn Solenoid    1 field = " + edit_f(0.8 * kE / (2 * p), 11, 5) +
                     " Beta  > "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  7 Constant       Elec Accelerate  1 field = " + edit_f(2000.0, 11, 5) + " Beta  > "),
            std::string::npos)
      << out;
}

TEST(FittingSession, PEndOfInputKeepsTheAnswersGiven) {
  TempDir dir;
  write_file(dir / "p.vcm", "P\n0.1\n");
  vorne_session::run(dir, load_shipped(dir, "quadruplet_detuned.vrn") + "@p\nSAVE out\n").from_first_prompt();
  const vorne::LensSystem s = saved(dir, "out.vrn");
  EXPECT_EQ(s.p(4, 3), 0.1);
  EXPECT_EQ(s.p(10, 3), -0.1);
  EXPECT_EQ(s.p(6, 3), -0.235692);
}

// ---- P --------------------------------------------------------------------------------------------

TEST(FittingSession, PShowsEachGroupAndAppliesItWithItsSigns) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, load_shipped(dir, "quadruplet_detuned.vrn") + "P\n0.1\n\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find(" Lenses with coupling code  1 have fields " + edit_g(0.0886491336764852, 12, 5, 1) +
                     " new >  Lenses with coupling code  2 have fields " + edit_g(0.235692, 12, 5, 1) + " new > "),
            std::string::npos)
      << out;
  const vorne::LensSystem s = saved(dir, "out.vrn");
  EXPECT_EQ(s.p(4, 3), 0.1);
  EXPECT_EQ(s.p(10, 3), -0.1);
  EXPECT_EQ(s.p(6, 3), -0.235692);
  EXPECT_EQ(s.p(8, 3), 0.235692);

  TempDir dir2;
  const std::string constant =
      " Constant\n 0.00, 1, 1, 3, -1\n 1.00, 0,0,0,0,0\n 4.00, 0.1, 0.5, 0.01\n 9.00, 0, 0, 0\n";
  const std::string none = vorne_session::run(dir2, load_text(dir2, constant) + "P\nSTIG\n").from_first_prompt();
  EXPECT_NE(none.find(kPrompt + " No variable first order elements.\n"), std::string::npos) << none;
  EXPECT_NE(none.find(" m/rad\n No variable first order elements.\n"), std::string::npos) << none;
}

// ---- S and STIG --------------------------------------------------------------------------------

// The detuned triplet's system matrix from integrated element matrices.
Mat4 detuned_triplet() {
  const double p = momentum(3.0, 1.00728);
  auto quad = [p](double len, double field) { return integrated_quad(kE * field / (0.005 * p), len); };
  Mat4 s = integrated_drift(5.0);
  for (const Mat4& a : {quad(0.07, 0.255193), integrated_drift(0.03), quad(0.14, -0.128921635749378),
                        integrated_drift(0.03), quad(0.07, 0.255193), integrated_drift(0.15)})
    s = vorne::product(a, s);
  return s;
}

TEST(FittingSession, SReportsTheAstigmatism) {
  TempDir dir;
  const Mat4 s = detuned_triplet();
  const std::string out = vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "S\n").from_first_prompt();
  EXPECT_NE(out.find(" sti>         Astigmatism    (X/TH) = "), std::string::npos) << out;
  EXPECT_NEAR(number_after(out, "(X/TH) = "), s(1, 2), 1E-4 * std::fabs(s(1, 2)));
  EXPECT_NEAR(number_after(out, "(Y/PH) = "), s(3, 4), 1E-4 * std::fabs(s(3, 4)));
  EXPECT_NE(out.find(" m/rad\n                       (Y/PH) = "), std::string::npos);
  // /I: the image-side form, labelled C10 and C01.
  const std::string image =
      vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "S/I\n").from_first_prompt();
  EXPECT_NE(image.find(" sti>         Astigmatism       C10 = "), std::string::npos) << image;
  EXPECT_NE(image.find(" m/rad\n                          C01 = "), std::string::npos) << image;
}

TEST(FittingSession, StigMakesTheShippedSystemsStigmatic) {
  for (const char* name : {"triplet_detuned.vrn", "quadruplet_detuned.vrn"}) {
    TempDir dir;
    const std::string out = vorne_session::run(dir, load_shipped(dir, name) + "STIG\n").from_first_prompt();
    const std::size_t after = out.find("After minimisation");
    ASSERT_NE(after, std::string::npos) << out;
    const double x = number_after(out, "(X/TH) = ", after);
    const double y = number_after(out, "(Y/PH) = ", after);
    EXPECT_LT(std::hypot(x, y), 1E-8) << name;
    EXPECT_EQ(out.substr(out.size() - kPrompt.size()), kPrompt) << name;
    // Trace: every one of the first ten evaluations, then every tenth, under 2000 in all.
    const std::vector<TraceLine> t = stig_trace(out);
    ASSERT_GT(t.size(), 10u) << name;
    for (std::size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].count, i < 10 ? long(i + 1) : long(i - 8) * 10);
    EXPECT_LT(t.back().count, 2000) << name;
    // The first evaluation is the start: the combined astigmatism printed before the fit.
    EXPECT_EQ(edit_g(t[0].value, 13, 5, 1), edit_g(number_after(out, "Initial combined astigmatism = "), 13, 5, 1));
    EXPECT_NE(out.find(" (N)  Comb. Astg.  - FIELDS ( 2)............\n"), std::string::npos) << name;
  }
}

TEST(FittingSession, StigXAndStigYFitOnlyTheirTerm) {
  const Mat4 s = detuned_triplet();
  struct Case {
    const char* command;
    double start;             // the term the fit sees
    const char* fitted;       // label of the term driven to zero
    const char* other;
  };
  for (const Case c : {Case{"STIG/X\n", s(1, 2), "(X/TH) = ", "(Y/PH) = "},
                       Case{"STIG/Y\n", s(3, 4), "(Y/PH) = ", "(X/TH) = "}}) {
    TempDir dir;
    const std::string out =
        vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + c.command).from_first_prompt();
    const std::vector<TraceLine> t = stig_trace(out);
    ASSERT_FALSE(t.empty()) << out;
    // Its objective is that term alone (the combined value would include the other).
    EXPECT_NEAR(t[0].value, std::fabs(c.start), 1E-4 * std::fabs(c.start)) << c.command;
    const std::size_t after = out.find("After minimisation");
    EXPECT_LT(std::fabs(number_after(out, c.fitted, after)), 1E-8) << c.command;
    EXPECT_GT(std::fabs(number_after(out, c.other, after)), 1E-3) << c.command;
  }
}

TEST(FittingSession, StigAtLevelMinusSixFitsTheImageDistances) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "DIAG -6\nSTIG\nSTIG\n").from_first_prompt();
  const std::size_t second = out.rfind("Initial combined image distance error = ");
  ASSERT_NE(second, std::string::npos) << out;
  const std::vector<TraceLine> t = stig_trace(out.substr(0, second));
  ASSERT_FALSE(t.empty()) << out;
  // The start value is shown in micrometres like the trace (not as the squared metres).
  EXPECT_EQ(edit_g(t[0].value, 13, 5, 1),
            edit_g(number_after(out, "Initial combined image distance error = "), 13, 5, 1));
  EXPECT_GT(t[0].value, 1.0);
  EXPECT_NE(out.find(" (N)   X-Y error   - FIELDS ( 2)............\n"), std::string::npos);
  // After the first fit the error left is far below a micrometre, and the prompt says so.
  EXPECT_LT(number_after(out, "Initial combined image distance error = ", second), 1E-3);
  EXPECT_EQ(out.substr(out.size() - 6), " apr> ");
}

TEST(FittingSession, StigRestoresAPositiveDiagnosticLevelToQuiet) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "DIAG 3\nSTIG\nDIAG\n\n").from_first_prompt();
  EXPECT_NE(out.find(" Current diagnostic is  -1 > "), std::string::npos) << out;
}

// ---- MASK -------------------------------------------------------------------------------------------

// Variables: the outer lenses together, the middle one; coefficients: (x|th) and (y|ph).
const std::string kAstigmatismMasks = "1 4 3 1\n1 8 3 1\n1 6 3 2\n1/\n1 1 2 0\n1 2 2 0\n1/\n";

TEST(FittingSession, MaskFitsTheAstigmatismOverTwoVariables) {
  TempDir dir;
  const Mat4 s = detuned_triplet();
  const std::string out =
      vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "MASK\n" + kAstigmatismMasks)
          .from_first_prompt();
  EXPECT_NE(out.find(" Enter the variable mask\n"
                     "    0   0   0   0     >     0   0   0   0     >     0   0   0   0     >     0   0   0   0     > "
                     "                         1    4    3    1\n"
                     "                         1    8    3    1\n"
                     "                         1    6    3    2\n"
                     "                     No. of variables =  2\n\n Enter the coefficient mask\n"),
            std::string::npos)
      << out;
  EXPECT_NEAR(number_after(out, "Initial quadrature summed coeff = "), std::hypot(s(1, 2), s(3, 4)),
              1E-4 * std::hypot(s(1, 2), s(3, 4)));
  EXPECT_NE(out.find(" (N)  CHISQ        - Variables.........\n"), std::string::npos);
  EXPECT_LT(number_after(out, "  Final quadrature summed coeff = "), 1E-8) << out;
}

TEST(FittingSession, MaskZeroesTheSphericalAberrationWithTwoOctupoles) {
  TempDir dir;
  // Class 7, coefficient 1 of both planes: P and PB of the system over the two octupole
  // fields. STIG first turns the warning switch on; the fit's own walks still print no notes.
  const std::string out = vorne_session::run(dir, load_shipped(dir, "octupole_triplet.vrn") +
                                                      "STIG\nMASK\n1 4 3 1\n1 10 3 2\n1/\n"
                                                      "7 1 1 0\n7 2 1 0\n1/\nMASK V\n/\n/\n/\n/\n/\n/\n"
                                                      "MASK V\n/\n/\n/\n9 1 1 0\n/\n/\n")
                              .from_first_prompt();
  const std::size_t mask = out.find("Enter the variable mask");
  ASSERT_NE(mask, std::string::npos) << out;
  const double initial = number_after(out, "Initial quadrature summed coeff = ", mask);
  const double final_value = number_after(out, "  Final quadrature summed coeff = ", mask);
  EXPECT_GT(initial, 1E3);
  EXPECT_LT(final_value, 1E-9 * initial) << out.substr(mask);
  EXPECT_EQ(out.find("%FOCAL", mask), std::string::npos);
  // The best point stays applied: evaluating again gives the final value.
  const std::size_t first = out.find("Initial quadrature summed coeff = ", mask);
  const std::size_t again = out.find("Initial quadrature summed coeff = ", first + 1);
  const std::size_t third = out.find("Initial quadrature summed coeff = ", again + 1);
  ASSERT_NE(third, std::string::npos) << out.substr(mask);
  EXPECT_EQ(number_after(out, "Initial quadrature summed coeff = ", again), final_value);
  // The octupoles' own contribution (class 9) comes from the third-order walk too: after the
  // fit it balances the quadrupoles' and is far from zero.
  EXPECT_GT(number_after(out, "Initial quadrature summed coeff = ", third), 1E3);
}

TEST(FittingSession, MaskVOnlyEvaluatesAndMaskFReusesTheMasks) {
  TempDir dir;
  const std::string out = vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "SAVE before\nMASK V\n" +
                                                      kAstigmatismMasks + "SAVE after\nMASK/F\nS\n")
                              .from_first_prompt();
  EXPECT_EQ(read_file(dir / "after.vrn"), read_file(dir / "before.vrn"));
  const std::size_t f = out.find("Data saved in file: after");
  EXPECT_EQ(out.substr(0, f).find("(N)  CHISQ"), std::string::npos);   // V: no fit
  EXPECT_EQ(out.find("Enter the variable mask", f), std::string::npos);  // /F: no masks asked
  EXPECT_NE(out.find("  Final quadrature summed coeff = ", f), std::string::npos);
  EXPECT_LT(std::fabs(number_after(out, "(X/TH) = ", f)), 1E-8);
}

TEST(FittingSession, MaskFStartsFromTheCurrentValues) {
  TempDir dir;
  // After a fit, a field changed by hand is where MASK/F starts (not the fit's last values).
  const std::string out = vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "MASK\n" +
                                                      kAstigmatismMasks + "PTF T\n0.3\n\n\nMASK/F V\n")
                              .from_first_prompt();
  const std::size_t f = out.rfind("Initial quadrature summed coeff = ");
  EXPECT_LT(number_after(out, "  Final quadrature summed coeff = "), 1E-8);
  EXPECT_GT(number_after(out, "Initial quadrature summed coeff = ", f), 1E-2) << out.substr(f);
}

TEST(FittingSession, MaskRowsOutOfRangeAreAskedAgain) {
  TempDir dir;
  // Column 1 (the type code), kind 3, row 99, link 0; then class 10 and lens 9 of three.
  const std::string out = vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") +
                                                      "MASK V\n1 4 1 1\n3 4 3 1\n1 99 3 1\n"
                                                      "1 4 3 0\n1 4 3 1\n1/\n10 1 1 0\n3 1 9 0\n3 1 3 0\n1/\n")
                              .from_first_prompt();
  std::size_t n = 0;
  for (std::size_t at = out.find("?MASK- Not a variable"); at != std::string::npos;
       at = out.find("?MASK- Not a variable", at + 1))
    ++n;
  EXPECT_EQ(n, 4u) << out;
  EXPECT_NE(out.find("?MASK- Not a coefficient"), std::string::npos);
  EXPECT_NE(out.find("                         3    1    3    0\n Initial quadrature summed coeff = "),
            std::string::npos)
      << out;
}

TEST(FittingSession, AbandonedMaskAndAgpLeaveTheTable) {
  TempDir dir;
  write_file(dir / "m.vcm", "MASK\n1 4 3 1\n");
  write_file(dir / "a.vcm", "AGP\n1 4 3 1\n1 6 3 2\n1/\n1 1 2 0\n1/\n0.2 0.3\n");
  vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "SAVE before\n@m\n@a\nDIAG -2\nSAVE after\n")
      .from_first_prompt();
  EXPECT_EQ(read_file(dir / "after.vrn"), read_file(dir / "before.vrn"));
}

// ---- AGP ---------------------------------------------------------------------------------------------

TEST(FittingSession, AgpWritesTheGridAndRestoresTheVariables) {
  TempDir dir;
  // Two free-form numbers for the grid: "3 2" is 3 x 2 steps, (3+1) x (2+1) points.
  const std::string out =
      vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "SAVE before\nAGP\n" + kAstigmatismMasks +
                                  "0.25 0.25\n0.25 0.26\n-0.13 -0.12\n3 2\ngrid.dat\nSAVE after\n")
          .from_first_prompt();
  EXPECT_NE(out.find("  This command works only for 2 variables,\n  No. of variables =  2\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find(" ?AGP- Minimum and maximum must differ.\n Central value of variable 1 is "), std::string::npos);
  EXPECT_NE(out.find(" Central value of variable 2 is " + edit_g(-0.128921635749378, 13, 5, 1) +
                     "\n Minimun and maximum values > "),
            std::string::npos);
  EXPECT_NE(out.find("\n\n    12 points generated total.\n\n\n"), std::string::npos) << out;
  EXPECT_EQ(read_file(dir / "after.vrn"), read_file(dir / "before.vrn"));

  const std::vector<std::string> lines = split_lines(read_file(dir / "grid.dat"));
  ASSERT_EQ(lines.size(), 15u);
  const std::string title = " Proton triplet, outer group 1 % high";
  EXPECT_EQ(lines[0], " " + title + std::string(50 - title.size(), ' '));   // the 50-character title
  EXPECT_EQ(lines[1], " X");
  EXPECT_EQ(lines[2], " Y");
  for (int j = 0; j <= 2; ++j)
    for (int i = 0; i <= 3; ++i) {
      const std::string& l = lines[static_cast<std::size_t>(3 + j * 4 + i)];
      EXPECT_EQ(l.substr(0, 33), " " + edit_g(0.25 + i * (0.01 / 3), 13, 5, 1) + " , " +
                                     edit_g(-0.13 + j * (0.01 / 2), 13, 5, 1) + " , ");
    }
  // The objective at a point is the combined astigmatism there: the centre row, x = 0.25.
  EXPECT_GT(number_after(lines[3], ", ", 16), 0.0);
}

TEST(FittingSession, AgpNeedsExactlyTwoVariablesAndANewFile) {
  TempDir dir;
  const std::string one =
      vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "AGP\n1 4 3 1\n1/\n").from_first_prompt();
  EXPECT_NE(one.find("  No. of variables =  1\n" + std::string(" sti> ")), std::string::npos) << one;
  write_file(dir / "taken.dat", "keep\n");
  const std::string taken = vorne_session::run(dir, load_shipped(dir, "triplet_detuned.vrn") + "AGP\n" +
                                                        kAstigmatismMasks + "0.25 0.26\n-0.13 -0.12\n\ntaken.dat\n")
                                .from_first_prompt();
  EXPECT_NE(taken.find(" Filename for output >  Unable to open taken.dat\n"), std::string::npos) << taken;
  EXPECT_EQ(read_file(dir / "taken.dat"), "keep\n");
}

}  // namespace
