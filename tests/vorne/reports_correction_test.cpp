// FISHK and CRAM as commands: what they print, which coefficients they hand to the solver and
// in which units (the fields they set must cancel the targets in the next third-order walk),
// and CRAM's dialogue: prompts, defaults, echo in a macro, bad answers and end of input.
#include <cmath>
#include <cstdlib>

#include "reports/correction_reports.h"
#include "app/commands.h"
#include "reports_rig.h"

namespace {

using namespace reports_test;
using qxtest::TempDir;

// A program state with its own command input, holding a shipped test system.
struct Program {
  qx::StringOutput term;
  vorne::Vorne v;
  Program(const std::string& name, const std::string& input)
      : v(term, std::make_unique<qx::StringInput>(input)) {
    Rig r;
    r.load(name);
    v.sys = r.s;
    v.set_diagnostic(r.s.p(1, 5));
  }
  void run(const std::string& command, void (*handler)(vorne::Vorne&, const qx::CommandLine&)) {
    handler(v, qx::prepare_line(command, v.qx));
  }
};

bool is_octupole(const vorne::LensSystem& s, int iz) {
  const int whole = static_cast<int>(s.p(iz, 1) + 1e-6);
  return whole == 8 || whole == 28;
}

void switch_octupoles_off(vorne::LensSystem& s) {
  for (int iz = 3; iz < s.izend; ++iz)
    if (is_octupole(s, iz)) s.p(iz, 3) = 0.0;
}

// The doublet with two octupoles after it: too few to correct anything.
const std::string kTwoOctupoles =
    " Doublet and two octupoles\n"
    " 0.00, 1.0, 1.00728, 3.0, -1.0\n"
    " 1.00, 5.0E-6, 2.0E-4, 5.0E-6, 2.0E-4, 0.01\n"
    " 3.00, 4.0, 0.0, 0.0\n"
    " 4.00, 0.06, 0.180376822100989, 0.006\n"
    " 3.00, 0.03, 0.0, 0.0\n"
    " 4.00, 0.06, -0.248036912880468, 0.006\n"
    " 3.00, 0.02, 0.0, 0.0\n"
    " 8.00, 0.02, 0.01, 0.006\n"
    " 3.00, 0.02, 0.0, 0.0\n"
    " 8.00, 0.02, -0.01, 0.006\n"
    " 3.00, 0.1, 0.0, 0.0\n"
    " 9.00, 0.0, 0.0, 0.0\n"
    " SENTINEL\n";

// The last number on the line of text that starts with `label`.
double number_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  EXPECT_NE(at, std::string::npos) << label;
  if (at == std::string::npos) return 0.0;
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

TEST(ReportsFishk, TwoOctupolesGetNothingBeyondTheEstimate) {
  TempDir dir;
  const Transcript t = vorne_session::run(dir, "DATA two\nFISHK\nSAVE two_after\n", {{"two.vrn", kTwoOctupoles}});
  const std::string& reply = t.reply(2);
  ASSERT_NE(reply.find("Spherical aberration coefficients"), std::string::npos) << reply;
  // The reduced coefficients close the report; no solver message, no corrections.
  const std::size_t hawkes = reply.find("           Hawkes' coefficients:");
  ASSERT_NE(hawkes, std::string::npos);
  EXPECT_EQ(reply.find('\n', hawkes), reply.size() - 1) << reply;
  EXPECT_EQ(reply.find("CRAMER"), std::string::npos);
  // The octupole fields are as loaded.
  const std::string saved = qxtest::read_file(dir / "two_after.vrn");
  EXPECT_NE(saved.find(" 8.00   ,    0.020000,    0.010000,    0.006000\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find(" 8.00   ,    0.020000,   -0.010000,    0.006000\n"), std::string::npos) << saved;
}

TEST(ReportsFishk, ThreeOctupolesAreSolvedForTheThinLensCoefficientsInMetresPerRadianCubed) {
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  const Transcript t = vorne_session::run(dir, "DATA quadruplet_octupoles\nFISHK\nTHIRD\n");
  const std::string& reply = t.reply(2);
  // The estimate, the solver's lines, then the table of corrections, one line per octupole row.
  const std::size_t hawkes = reply.find("Hawkes' coefficients:");
  const std::size_t determinant = reply.find("Determinant = ");
  const std::size_t table = reply.find(" Required corrections;\n      Octupole          Field      Unit\n");
  ASSERT_NE(hawkes, std::string::npos) << reply;
  ASSERT_NE(determinant, std::string::npos) << reply;
  ASSERT_NE(table, std::string::npos) << reply;
  EXPECT_LT(hawkes, determinant);
  EXPECT_LT(determinant, table);
  for (const int row : {6, 10, 14})
    EXPECT_NE(reply.find("\n        " + i2(row) + "          ", table), std::string::npos);

  // The octupoles' part of the next walk's sums is minus FISHK's P, PB and mixed term, all in
  // m/rad^3: the image-side scaling of FISHK's table is for display only.
  const std::string& third = t.reply(3);
  const double p = number_after(reply, "P  = "), s = number_after(reply, "S  = "), pb = number_after(reply, "PB = ");
  const auto octupole_column = [&](const std::string& label) {
    const std::size_t at = third.find(label);
    EXPECT_NE(at, std::string::npos) << label;
    return std::strtod(third.substr(at + 15 + 28, 14).c_str(), nullptr);
  };
  const double op = octupole_column("         P     "), os = octupole_column("         S     ");
  const double opb = octupole_column("         PB    "), osb = octupole_column("         SB    ");
  EXPECT_NEAR(op, -p, 1e-5 * std::fabs(p));
  EXPECT_NEAR(opb, -pb, 1e-5 * std::fabs(pb));
  EXPECT_NEAR((os + osb) / 2, -s, 1e-5 * std::fabs(s));
}

// ---- CRAM ----------------------------------------------------------------------------------------------

TEST(ReportsCram, DefaultTargetsFromZeroFieldCancelTheSystemSums) {
  for (const char* name : {"quadruplet_octupoles.vrn", "supra_octupole.vrn"}) {
    Program p(name, "\n\n\n\n");
    switch_octupoles_off(p.v.sys);
    vorne::system_walk(p.v, -3);
    const vorne::ThirdOrderSet before = p.v.walk.total;
    p.run("CRAM", vorne::cmd_cram);
    ASSERT_NE(p.term.text().find(" Required corrections;"), std::string::npos) << name << p.term.text();
    vorne::system_walk(p.v, 3);
    const vorne::ThirdOrderSet& after = p.v.walk.total;
    EXPECT_NEAR(after(1, 1), 0.0, 1e-6 * std::fabs(before(1, 1))) << name;
    EXPECT_NEAR(after(2, 1), 0.0, 1e-6 * std::fabs(before(2, 1))) << name;
    EXPECT_NEAR((after(1, 2) + after(2, 2)) / 2, 0.0, 1e-6 * std::fabs(before(1, 2) + before(2, 2)) / 2) << name;
  }
}

TEST(ReportsCram, TypedTargetsAreImageSideMicrometresInPromptOrder) {
  // (X/TH3), (X/TH2PH), (Y/THPH2), (Y/PH3): x-plane coefficients 1 and 2, y-plane 2 and 1.
  const double typed[4] = {120.0, -40.0, 70.0, -300.0};
  Program p("quadruplet_octupoles.vrn", "120\n-40\n70\n-300\n");
  switch_octupoles_off(p.v.sys);
  p.run("CRAM", vorne::cmd_cram);
  vorne::system_walk(p.v, 3);
  Rig r;
  r.load("quadruplet_octupoles.vrn");
  r.walk(3);
  const ref::Pair m = ref::mag(r, r.s.izend);
  const vorne::ThirdOrderSet& o = p.v.walk.octu;
  // The octupoles' contribution is minus the targets, referred back to image-side units.
  EXPECT_NEAR(m.x * o(1, 1) * 1e-3, -typed[0], 1e-6 * std::fabs(typed[0]));
  EXPECT_NEAR(m.y * o(2, 1) * 1e-3, -typed[3], 1e-6 * std::fabs(typed[3]));
  const double mixed = (typed[1] / (m.x * 1e-3) + typed[2] / (m.y * 1e-3)) / 2;
  EXPECT_NEAR((o(1, 2) + o(2, 2)) / 2, -mixed, 1e-6 * std::fabs(mixed));
}

TEST(ReportsCram, PromptsShowTheImageSideValuesAndTheCorrectionFollows) {
  Rig r;
  load_walked(r, "quadruplet_octupoles.vrn");
  const ref::Sums s = ref::system_sums(r, -2);
  const ref::Pair m = ref::mag(r, r.s.izend);
  const auto f113 = [](double v) { return qx::edit_f(v, 11, 3); };
  const std::string prompts = " (X/TH3)   = " + f113(m.x * s.total.c[1][1] * 1e-3) + " > " +
                              " (X/TH2PH) = " + f113(m.x * s.total.c[1][2] * 1e-3) + " > " +
                              " (Y/THPH2) = " + f113(m.y * s.total.c[2][2] * 1e-3) + " > " +
                              " (Y/PH3)   = " + f113(m.y * s.total.c[2][1] * 1e-3) + " > ";
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  const Transcript t = vorne_session::run(dir, "DATA quadruplet_octupoles\nCRAM\n\n\n\n\n");
  const std::string& reply = t.reply(2);
  ASSERT_EQ(reply.substr(0, prompts.size()), prompts);
  const std::string rest = reply.substr(prompts.size());
  EXPECT_EQ(rest.substr(0, 34), " With user supplied coefficients,\n");
  EXPECT_NE(rest.find("Determinant = "), std::string::npos);
  EXPECT_NE(rest.find(" Required corrections;\n"), std::string::npos);
}

TEST(ReportsCram, MacroEchoesAnswersBadOnesAreAskedAgainEndOfInputCancels) {
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  qxtest::write_file(dir / "fix.vcm", "CRAM\n\n12.5\nabc\n-3\n\n");
  const Transcript t = vorne_session::run(dir, "DATA quadruplet_octupoles\n@fix\nCRAM\n\n2\n", {});
  const std::string& macro = t.out;
  // The kept default, the typed values and the refused text are echoed as read.
  EXPECT_NE(macro.find(" (X/TH2PH) = "), std::string::npos);
  EXPECT_NE(macro.find(" >    12.500000000000000     \n"), std::string::npos) << macro;
  EXPECT_NE(macro.find(" >  abc\n ?VORNE- Not a number: abc\n (Y/THPH2) = "), std::string::npos) << macro;
  EXPECT_NE(macro.find(" >   -3.0000000000000000     \n"), std::string::npos) << macro;
  EXPECT_NE(macro.find(" With user supplied coefficients,\n"), std::string::npos);
  // The second CRAM runs out of answers at its third prompt: nothing is solved.
  const std::size_t second = macro.rfind(" (X/TH3)   = ");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(macro.find("With user supplied", second), std::string::npos);
  EXPECT_NE(macro.find(" (Y/THPH2) = ", second), std::string::npos);
}

TEST(ReportsCram, TooFewOctupolesAndNoSystem) {
  TempDir dir;
  const Transcript t = vorne_session::run(dir, "CRAM\nFISHK\nDATA two\nCRAM\n\n\n\n\n", {{"two.vrn", kTwoOctupoles}});
  EXPECT_EQ(t.reply(1), " ?VORNE- No system loaded.\n");
  EXPECT_EQ(t.reply(2), " ?VORNE- No system loaded.\n");
  const std::string& reply = t.reply(4);
  EXPECT_NE(reply.find(" With user supplied coefficients,\n %CRAMER- Insufficient Octupoles for correction,\n"
                       " at least 3 are required, you have only  2\n"),
            std::string::npos)
      << reply;
}

}  // namespace
