// Session tests of element review and editing: the program run on scripts, its transcripts
// compared with the documented layouts and the saved systems read back.
#include <cmath>
#include <filesystem>
#include <string>

#include "optics_rig.h"
#include "session.h"
#include "vorne_session.h"

namespace {

using optics_test::Rig;
using qx::edit_f;
using qx::edit_g;
using qx::edit_i;
using qxtest::read_file;
using qxtest::TempDir;
using qxtest::write_file;

using vorne_session::count;
using vorne_session::kPrompt;
using vorne_session::load_text;
using vorne_session::saved;

// Particle, beam, a quadrupole between two drifts, an electric quadrupole, System End.
const std::string kSystem =
    " Editing test system\n"
    " 0.00, 1.0, 1.00728, 3.0, -1.0\n"
    " 1.00, 5.0E-6, 2.0E-4, 5.0E-6, 2.0E-4, 0.01\n"
    " 3.00, 1.0, 0.0, 0.0\n"
    " 4.10, 0.1, 0.5, 0.01\n"
    " 3.00, 1.0, 0.0, 0.0\n"
    " 14.00, 0.1, 5000.0, 0.01\n"
    " 3.00, 0.5, 0.0, 0.0\n"
    " 9.00, 0.0, 0.0, 0.0\n"
    " SENTINEL\n";

std::string loaded(const TempDir& dir, const std::string& text = kSystem) { return load_text(dir, text); }

std::string g10(double x) { return edit_g(x, 10, 3, 1); }


// ---- ELEMEN ---------------------------------------------------------------------------------

TEST(EditingSession, ElemenReviewsADriftAndAsksForNewData) {
  TempDir dir;
  const std::string out = vorne_session::run(dir, loaded(dir) + "ELEMEN 3\nn\n").from_first_prompt();
  const std::string review = kPrompt +
                             "           ELEMENT -  3            Drift     \n\n"
                             "  Type code  Length (m)\n \n " +
                             g10(3.0) + "  " + g10(1.0) + "\n \n New data? > " + kPrompt;
  EXPECT_NE(out.find(review), std::string::npos) << out;
}

TEST(EditingSession, ElemenReviewsParticleBeamAndLensRows) {
  TempDir dir;
  const std::string out = vorne_session::run(dir, loaded(dir) + "EL 1\nn\nEL 2\nn\nEL 4\nn\n").from_first_prompt();
  EXPECT_NE(out.find("           ELEMENT -  1  Particle data\n"
                     "  Type code      Charge  Mass (amu)  Energy MeV  Diagnostic\n"
                     "  0.00          1.00000     1.00728     3.00000    -1.00000\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("           ELEMENT -  2 Beam Data\n"
                     "  Type code   X-1/2 ext   X-1/2 div   Y-1/2 ext   Y-1/2 div  En-1/2 spr\n"
                     "  1.00          0.00001     0.00020     0.00001     0.00020     0.01000\n"),
            std::string::npos)
      << out;
  // A lens also shows the walk's results: its centre at 1.05 m and its strength e B/(a p).
  const double k = 1.6021892E-19 * 0.5 / 0.01 / optics_test::momentum(3.0, 1.00728);
  const std::string head = "           ELEMENT -  4       Magn Quadrupole\n\n"
                           "  Type code  Length (m)   Field T,V  Radius (m)\n \n " +
                           g10(4.1) + "  " + g10(0.1) + "  " + g10(0.5) + "  " + g10(0.01) +
                           "\n \n   Z-center   Z:X-image   Z:Y-image       ALPHA       X-mag       Y-mag\n " +
                           g10(1.05) + "  ";
  const std::size_t at = out.find(head);
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.substr(at + head.size() + 24, 10), g10(std::sqrt(k)));   // shown as sqrt(K), 1/m
  EXPECT_NE(out.find("    X-focal     Y-focal\n", at), std::string::npos);
}

TEST(EditingSession, ElemenWithoutOrWithABadNumberAsks) {
  TempDir dir;
  // 0 shows the last element before the System End; a number outside the system is refused
  // and asked again; a bad answer cancels.
  const std::string out = vorne_session::run(dir, loaded(dir) + "ELEMEN\n0\nn\nELEMEN 44\n12\nx\n").from_first_prompt();
  EXPECT_NE(out.find(" Element number >            ELEMENT -  7            Drift     \n"), std::string::npos) << out;
  EXPECT_NE(out.find(" ?VORNE -  44 is not a valid element number, max =  8\n Element number > "
                     " ?VORNE -  12 is not a valid element number, max =  8\n Element number > " +
                     kPrompt),
            std::string::npos)
      << out;
}

TEST(EditingSession, TypeCodeEditsIllegalSupraAndSystemEnd) {
  TempDir dir;
  // Row 7 (drift 0.5 m): 1.00 is refused and asked again, 24.00 makes it a supra quadrupole,
  // whose length, field and radius are asked next with the lens headings.
  const std::string out =
      vorne_session::run(dir, loaded(dir) + "ELEMEN 7\ny\n1.00\n24.00\n\n0.2\n0.003\nELEMEN 4\ny\n9.00\nSAVE out\n")
          .from_first_prompt();
  EXPECT_NE(out.find("                Changing element  7\n"
                     "            Drift       Type code =   3.0000      new >  %ELEM-       1.00 Illegal type code\n"
                     "            Drift       Type code =   3.0000      new > "
                     " Supra-Magn Quadrupole Length (m) =  0.50000      new > "
                     " Supra-Magn Quadrupole  Field T,V =  0.00000E+00  new > "
                     " Supra-Magn Quadrupole Radius (m) =  0.00000E+00  new > "
                     " %System total length changed by " +
                     g10(-0.5) + " m.\n"),
            std::string::npos)
      << out;
  // 9.00 ends the edit at once and keeps the old code.
  EXPECT_NE(out.find("       Magn Quadrupole  Type code =   4.1000      new > " + kPrompt), std::string::npos) << out;
  const vorne::LensSystem r = saved(dir, "out.vrn");
  EXPECT_EQ(r.p(7, 1), 24.0);
  EXPECT_EQ(r.p(7, 3), 0.2);
  EXPECT_EQ(r.p(7, 4), 0.003);
  EXPECT_EQ(r.p(4, 1), 4.1);
}

TEST(EditingSession, CodesOutsideTheTableAreIllegal) {
  TempDir dir;
  // A code must lie in [0, 100): 100 and -4.10 are refused like 1.00, and asked again.
  const std::string out =
      vorne_session::run(dir, loaded(dir) + "ELEMEN 7\ny\n100\n-4.10\n9\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find(" %ELEM-     100.00 Illegal type code\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" %ELEM-      -4.10 Illegal type code\n"), std::string::npos) << out;
  EXPECT_EQ(saved(dir, "out.vrn").p(7, 1), 3.0);
}

TEST(EditingSession, ElectrostaticDipoleHeadings) {
  TempDir dir;
  const std::string text = " Dipole\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n"
                           " 3.00, 1.0, 0, 0\n 12.00, 0.2, 1000.0, 0.0\n 3.00, 1.0, 0, 0\n 9.00, 0, 0, 0\n";
  const std::string out = vorne_session::run(dir, loaded(dir, text) + "ELEMEN 4\ny\n\n\n\n\n").from_first_prompt();
  EXPECT_NE(out.find("           ELEMENT -  4       Elec Dipole    \n\n"
                     " Type code   Length (m)  Ex (V/m)    Ey (V/m)  \n"),
            std::string::npos)
      << out;
  // While its code is typed the default heading stands; then the dipole's own.
  EXPECT_NE(out.find("       Elec Dipole      Type code =   12.000      new > "
                     "       Elec Dipole     Length (m) =  0.20000      new > "
                     "       Elec Dipole     Ex (V/m)   =   1000.0      new > "),
            std::string::npos)
      << out;
}

TEST(EditingSession, TheSystemEndKeepsItsCode) {
  TempDir dir;
  const std::string out = vorne_session::run(dir, loaded(dir) + "ELEMEN 8\ny\n3.00\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find("%ELEM- The System End keeps its type code 9.00."), std::string::npos) << out;
  EXPECT_EQ(saved(dir, "out.vrn").p(8, 1), 9.0);
}

TEST(EditingSession, ParticleEnergyEditReachesSave) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, loaded(dir) + "ELEMEN 1\ny\n\n\n3.5\n\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find("                Changing element  1\n"
                     "            Particle    Type code =     0.00\n"
                     "            Particle       Charge =   1.0000      new > "),
            std::string::npos)
      << out;
  const vorne::LensSystem r = saved(dir, "out.vrn");
  EXPECT_EQ(r.p(1, 4), 3.5);
  EXPECT_EQ(r.p(1, 3), 1.00728);
}

TEST(EditingSession, AbandonedReviewsAndEditsLeaveTheTable) {
  TempDir dir;
  // Each macro ends inside the command: at the element number, at "New data?", and in the
  // middle of the column edit (where the answers already given stay).
  write_file(dir / "a.vcm", "ELEMEN\n");
  write_file(dir / "b.vcm", "ELEMEN 4\n");
  write_file(dir / "c.vcm", "ELEMEN 4\ny\n\n0.12\n");
  // (the end of a macro stores the diagnostic level -2: DIAG puts the level back)
  vorne_session::run(dir, loaded(dir) + "SAVE before\n@a\n@b\nDIAG -1\nSAVE after\n@c\nSAVE edited\n")
      .from_first_prompt();
  EXPECT_EQ(read_file(dir / "after.vrn"), read_file(dir / "before.vrn"));
  const vorne::LensSystem r = saved(dir, "edited.vrn");
  EXPECT_EQ(r.p(4, 2), 0.12);
  EXPECT_EQ(r.p(4, 3), 0.5);
}

// ---- COUPLE ---------------------------------------------------------------------------------

TEST(EditingSession, CoupleMapsLabelsCodesAndLinks) {
  TempDir dir;
  const std::string quad = " 4.01, 0.1, -0.5, 0.01\n";
  const std::string out = vorne_session::run(dir, loaded(dir) + "COUPLE\n").from_first_prompt();
  EXPECT_NE(out.find(kPrompt +
                     "   Element>  Pa Be Dr Qm Dr Qe Dr En\n"
                     " Type-code>   0  1  3  4  3 14  3  9\n"
                     "     Links>   0  0  0  1  0  0  0  0\n"
                     "  Position>   1  2  3  4  5  6  7  8\n"),
            std::string::npos)
      << out;
  // 22 rows and more: rows 1-20, then the rest after an empty record.
  std::string big = " Big\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n";
  for (int i = 3; i <= 21; ++i) big += (i == 20 ? quad : " 3.00, 0.1, 0, 0\n");
  big += " 9.00, 0, 0, 0\n";
  TempDir dir2;
  const std::string two = vorne_session::run(dir2, loaded(dir2, big) + "CO\n").from_first_prompt();
  std::string first_positions = "  Position> ";
  for (int i = 1; i <= 20; ++i) first_positions += " " + edit_i(i, 2);
  EXPECT_NE(two.find(first_positions + "\n \n\n   Element>  Dr En\n Type-code>   3  9\n     Links>   0  0\n"
                                       "  Position>  21 22\n"),
            std::string::npos)
      << two;
  EXPECT_NE(two.find(" Dr Dr Qm\n Type-code>"), std::string::npos);
  EXPECT_NE(two.find("  0  0 -1\n  Position>"), std::string::npos);
}

// ---- INSERT, REMOVE -------------------------------------------------------------------------

TEST(EditingSession, InsertThenRemoveGivesTheSystemBack) {
  TempDir dir;
  const std::string out =
      vorne_session::run(dir, loaded(dir) + "SAVE before\nINSERT 2\nSAVE inserted\nREMOVE 3\nSAVE after\n")
          .from_first_prompt();
  EXPECT_NE(out.find(" No. of elements changed by  1 to  9\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" No. of elements changed by -1 to  8\n"), std::string::npos) << out;
  const vorne::LensSystem inserted = saved(dir, "inserted.vrn");
  EXPECT_EQ(inserted.izend, 9);
  EXPECT_EQ(inserted.p(3, 1), 3.0);
  EXPECT_EQ(inserted.p(3, 2), 0.0);
  EXPECT_EQ(inserted.p(4, 2), 1.0);   // the old row 3 moved up
  EXPECT_EQ(read_file(dir / "after.vrn"), read_file(dir / "before.vrn"));
}

TEST(EditingSession, InsertAndRemoveRefusals) {
  TempDir dir;
  // The System End cannot be removed or followed; rows 1 and 2 stay; a cancelled question
  // does nothing.
  write_file(dir / "ask.vcm", "INSERT\n");
  const std::string out = vorne_session::run(dir, loaded(dir) +
                                                      "SAVE before\nREMOVE 2\nINSERT 1\nINSERT 8\nREMOVE 8\nINSERT 9\n"
                                                      "REMOVE\n0\n@ask\nDIAG -1\nSAVE after\n")
                              .from_first_prompt();
  EXPECT_NE(out.find(kPrompt + " Cannot remove beam or particle element.\n" + kPrompt +
                     " Cannot insert an element there.\n" + kPrompt + " Last element is number  7\n" + kPrompt +
                     " Last element is number  7\n" + kPrompt + " Last element is number  7\n" + kPrompt +
                     " Which element? > " + kPrompt + " vrn>_ INSERT\n After which element? > "),
            std::string::npos)
      << out;
  EXPECT_EQ(read_file(dir / "after.vrn"), read_file(dir / "before.vrn"));
}

TEST(EditingSession, FullTableRefusesInsertButNotRemove) {
  TempDir dir;
  std::string full = " Full\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n";
  for (int i = 3; i <= 39; ++i) full += " 3.00, " + std::to_string(i) + ", 0, 0\n";
  full += " 9.00, 0, 0, 0\n";
  const std::string out =
      vorne_session::run(dir, loaded(dir, full) + "INSERT 5\nREMOVE 5\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find(" System already of maximum number of elements\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" No. of elements changed by -1 to 39\n"), std::string::npos) << out;
  const vorne::LensSystem r = saved(dir, "out.vrn");
  EXPECT_EQ(r.izend, 39);
  EXPECT_EQ(r.p(5, 2), 6.0);
}

// ---- SQUEEZ, EFFECT -------------------------------------------------------------------------

TEST(EditingSession, SqueezMergesAdjacentDrifts) {
  TempDir dir;
  const std::string text = " Drifts\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n"
                           " 3.00, 0.1, 0, 0\n 3.00, 0.2, 0, 0\n 3.00, 0.3, 0, 0\n 4.10, 0.1, 0.5, 0.01\n"
                           " 3.00, 1.0, 0, 0\n 9.00, 0, 0, 0\n";
  const std::string out = vorne_session::run(dir, loaded(dir, text) + "SQUEEZ\nSAVE out\n").from_first_prompt();
  EXPECT_EQ(count(out, kPrompt), 4u);   // SQUEEZ prints nothing
  const vorne::LensSystem r = saved(dir, "out.vrn");
  EXPECT_EQ(r.izend, 6);
  EXPECT_NEAR(r.p(3, 2), 0.6, 1E-15);
  EXPECT_EQ(r.p(4, 1), 4.1);
  EXPECT_EQ(r.p(5, 2), 1.0);
}

TEST(EditingSession, EffectExtendsQuadrupolesIntoTheirDrifts) {
  TempDir dir;
  // Row 4 follows a drift of 1 m; the drift of 5 mm after it is too short for it and for
  // row 6; row 7 has quadrupole and System End as neighbours.
  const std::string text = " Effect\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n"
                           " 3.00, 1.0, 0, 0\n 4.10, 0.1, 0.5, 0.01\n 3.00, 0.005, 0, 0\n"
                           " 4.01, 0.1, -0.5, 0.01\n 4.00, 0.1, 0.5, 0.01\n 9.00, 0, 0, 0\n";
  const std::string out = vorne_session::run(dir, loaded(dir, text) + "EFFECT\nSAVE out\n").from_first_prompt();
  EXPECT_NE(out.find(kPrompt +
                     " Quadrupole lens in position  4 extended by  1.10000E-02 m (1.1*[bore radius]).\n"
                     " Following flanking drift of lens in position  4 not long enough, setting it to zero.\n"
                     " Quadrupole lens in position  6 extended by  1.10000E-02 m (1.1*[bore radius]).\n"
                     " Prior flanking drift of lens in position  6 not long enough, setting it to zero.\n"
                     "  No following flanking drift of lens in position  6, unable to accomodate effective length.\n"
                     " Quadrupole lens in position  7 extended by  1.10000E-02 m (1.1*[bore radius]).\n"
                     "  No prior flanking drift on lens in position  7, unable to accomodate effective length.\n"
                     "  No following flanking drift of lens in position  7, unable to accomodate effective length.\n" +
                     kPrompt),
            std::string::npos)
      << out;
  const vorne::LensSystem r = saved(dir, "out.vrn");
  EXPECT_NEAR(r.p(3, 2), 0.9945, 1E-12);
  EXPECT_NEAR(r.p(4, 2), 0.111, 1E-12);
  EXPECT_EQ(r.p(5, 2), 0.0);
}

TEST(EditingSession, EffectLeavesSupraQuadrupolesAlone) {
  TempDir dir;
  // A superimposed quadrupole grows with its lens; the drift after them shrinks once.
  const std::string text = " Supra\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 0, 0, 0, 0, 0\n"
                           " 3.00, 1.0, 0, 0\n 4.10, 0.1, 0.5, 0.01\n 24.00, 0.1, 0.1, 0.01\n"
                           " 3.00, 1.0, 0, 0\n 9.00, 0, 0, 0\n";
  vorne_session::run(dir, loaded(dir, text) + "EFFECT\nSAVE out\n").from_first_prompt();
  const vorne::LensSystem r = saved(dir, "out.vrn");
  EXPECT_NEAR(r.p(3, 2), 0.9945, 1E-12);
  EXPECT_NEAR(r.p(4, 2), 0.111, 1E-12);
  EXPECT_NEAR(r.p(5, 2), 0.111, 1E-12);
  EXPECT_NEAR(r.p(6, 2), 0.9945, 1E-12);
}

}  // namespace
