// Session tests: the real program run on a script in a scratch directory, its transcript and
// the files it writes compared with what the documented layouts give.
//
// Transcript conventions: every record starts with the character of its leading "1H " (a
// blank); a prompt leaves its line open, so whatever comes next continues that line; lines
// read from a macro are echoed after the prompt, answers typed at the keyboard are not.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "session.h"
#include "vorne_session.h"

namespace {

namespace fs = std::filesystem;
using qxtest::read_file;
using qxtest::TempDir;
using qxtest::write_file;

using vorne_session::kBanner;
using vorne_session::kHint;
using vorne_session::kPrompt;
using vorne_session::kStart;
const std::string kMacroPrompt = " vrn>_";

// s blank padded to n characters.
std::string pad(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

// The transcript after the start-up text (which every run must begin with).
std::string run(const std::string& script, const TempDir& dir, int* status = nullptr) {
  const vorne_session::Session r = vorne_session::run(dir, script);
  if (status != nullptr) *status = r.status;
  return r.after_start();
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A small system: drift, two coupled quadrupoles of opposite sign with drifts, System End.
const std::string kSystem =
    "My system\n"
    "0.00, 1.0, 1.00728, 3.0, -1.0\n"
    "1.00, 5e-6, 2e-4, 5e-6, 2e-4, 0.01\n"
    "3.00, 5.0, 0, 0\n"
    "4.10, 0.07, 0.25, 0.005\n"
    "3.00, 0.03, 0,0\n"
    "4.01, 0.07, -0.25, 0.005\n"
    "3.00, 0.15, 0, 0\n"
    "9.00, 0,0,0\n"
    "SENTINEL\n";

// What SAVE writes for it: title after one blank, F5.2 codes, F12.6 values after commas.
const std::string kSystemSaved =
    " My system\n"
    "  0.00   ,    1.000000,    1.007280,    3.000000,   -1.000000\n"
    "  1.00   ,    0.000005,    0.000200,    0.000005,    0.000200,    0.010000\n"
    "  3.00   ,    5.000000,    0.000000,    0.000000\n"
    "  4.10   ,    0.070000,    0.250000,    0.005000\n"
    "  3.00   ,    0.030000,    0.000000,    0.000000\n"
    "  4.01   ,    0.070000,   -0.250000,    0.005000\n"
    "  3.00   ,    0.150000,    0.000000,    0.000000\n"
    "  9.00   ,    0.000000,    0.000000,    0.000000\n"
    " SENTINEL\n";

const std::string kTitleLine = " Title: " + pad("My system", 50) + "\n";

// ---- Start-up, end of input, EXIT ---------------------------------------------------------------

TEST(Session, StartUpAndExitAtOnce) {
  TempDir dir;
  int status = -1;
  EXPECT_EQ(run("EXIT\nMENU\n", dir, &status), kPrompt);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(run("", dir, &status), kPrompt);   // end of input ends like EXIT
  EXPECT_EQ(status, 0);
  EXPECT_EQ(run("E\n", dir), kPrompt);
}

TEST(Session, LoginMacroRunsFirst) {
  TempDir dir;
  write_file(dir / "login.vcm", "XSCTN\n");
  EXPECT_EQ(run("EXIT\n", dir), kMacroPrompt + " XSCTN\n" + kMacroPrompt + kPrompt);
}

TEST(Session, MenuListsTheTableEightToALine) {
  TempDir dir;
  const std::string lines[] = {
      "P       PTF     S       STIG    EXIT    SAVE    HELP    THIRD   ",
      "DATA    ELEMEN  FISHK   CRAM    AB3     SMAT    SYSTEM  QUAD    ",
      "OCTU    SOLEN   ACCEL   RUSS    EXCITE  CHROM   VECTOR  CAP     ",
      "DIAG    COUPLE  LQRAY   ION     CORR    ROTN    MASK    SPEC    ",
      "DIP     EINZ    VS      GAP     CYL     TRACE   SEXT    @       ",
      "CLEAR   XSCTN   MENU    INSERT  REMOVE  AB2     COFOUT  AGP     ",
      "SQUEEZ  EFFECT  $       PARASI  DISP    IDLOUT                  ",
  };
  // MENU is also a library command: the library's list comes first, and its first record
  // ends the prompt's line.
  std::string expected = kPrompt +
                         "\n QXLIBRARY commands:\n\n"
                         "CLEAR   FONT    TERM    MENU    DEFINE  LINE    DEST    CLOSE   \n"
                         "CFLAG   MARKS   \n\n"
                         " \n VORNE commands: \n\n";
  for (const std::string& l : lines) expected += " " + l + "\n";
  expected += " " + std::string(32, ' ') + "\n";   // the four blank slots 57-60
  EXPECT_EQ(run("MENU\nEXIT\n", dir), expected + kPrompt);
}

TEST(Session, AbbreviationsAndLongWordsRunTheirCommandSilently) {
  TempDir dir;
  // ELEMEN, EFFECT, EXCITE, CHROM, SQUEEZ, ELEMEN, XSCTN, IDLOUT: none prints "?"; the editing
  // commands and the reports say that there is no system.
  const std::string out = run("EL\nEF\nEXC\nCH\nSQ\nELEMENTS\nxsctn\nIDLOUT\nE\n", dir);
  const std::string none = kPrompt + " ?VORNE- No system loaded.\n";
  EXPECT_EQ(out, none + none + none + none + none + none + kPrompt + kPrompt + kPrompt);
}

TEST(Session, UnknownWordEchoesTheWholeCanonicalLine) {
  TempDir dir;
  EXPECT_EQ(run("FOO\nEXIT\n", dir), kPrompt + " ?" + pad("FOO", 40) + "\n" + kPrompt);
  // The argument keeps its place from column 8; a number is shown as 1P,G13.5.
  EXPECT_EQ(run("  zz  bar\nEXIT\n", dir), kPrompt + " ?" + pad("ZZ     bar", 40) + "\n" + kPrompt);
  EXPECT_EQ(run("zz 12\nEXIT\n", dir), kPrompt + " ?" + pad("ZZ        12.000", 40) + "\n" + kPrompt);
  // A line longer than 40 characters is read as its first 40.
  const std::string longline = "ZZ " + std::string(50, 'a');
  EXPECT_EQ(run(longline + "\nEXIT\n", dir),
            kPrompt + " ?" + pad("ZZ     " + std::string(33, 'a'), 40) + "\n" + kPrompt);
}

// ---- Macros ----------------------------------------------------------------------------------------

TEST(Session, MacroPromptEchoAndEnd) {
  TempDir dir;
  write_file(dir / "setup.vcm", "XSCTN\nIDLOUT\n");
  const std::string ran = kMacroPrompt + " XSCTN\n" + kMacroPrompt + " IDLOUT\n" + kMacroPrompt + kPrompt;
  EXPECT_EQ(run("@setup\nEXIT\n", dir), kPrompt + ran);
  EXPECT_EQ(run("@ setup\nEXIT\n", dir), kPrompt + ran);
  // At the keyboard "@" alone asks for the name; an empty answer does nothing.
  EXPECT_EQ(run("@\nsetup\n@\n\nEXIT\n", dir), kPrompt + " Macro file name > " + ran + " Macro file name > " + kPrompt);
  // The extension is always added.
  EXPECT_EQ(run("@setup.vcm\nEXIT\n", dir), kPrompt + " Unable to open setup.vcm.vcm\n\n" + kPrompt);
}

TEST(Session, UnknownWordRunsItsUpperCaseMacro) {
  TempDir dir;
  write_file(dir / "setup.vcm", "XSCTN\n");
  // Only SETUP.vcm would be found for the word; setup.vcm is not.
  EXPECT_EQ(run("setup\nEXIT\n", dir), kPrompt + " ?" + pad("SETUP", 40) + "\n" + kPrompt);
  write_file(dir / "SETUP.vcm", "IDLOUT\n");
  EXPECT_EQ(run("setup\nEXIT\n", dir), kPrompt + kMacroPrompt + " IDLOUT\n" + kMacroPrompt + kPrompt);
}

TEST(Session, AtAloneEndsTheMacroItStandsIn) {
  TempDir dir;
  write_file(dir / "a.vcm", "XSCTN\n@\nIDLOUT\n");
  EXPECT_EQ(run("@a\nEXIT\n", dir),
            kPrompt + kMacroPrompt + " XSCTN\n" + kMacroPrompt + " @\n" + kPrompt);
}

TEST(Session, NineMacroLevelsAndTheTenthFails) {
  TempDir dir;
  for (int k = 1; k <= 10; ++k)
    write_file(dir / ("m" + std::to_string(k) + ".vcm"), "@m" + std::to_string(k + 1) + "\n");
  write_file(dir / "m10.vcm", "XSCTN\n");
  std::string expected = kPrompt;
  for (int k = 2; k <= 10; ++k) expected += kMacroPrompt + " @m" + std::to_string(k) + "\n";
  expected += " Unable to open m10.vcm\n\n";
  for (int level = 9; level >= 1; --level) expected += kMacroPrompt;   // each level ends in turn
  expected += kPrompt;
  EXPECT_EQ(run("@m1\nEXIT\n", dir), expected);
}

TEST(Session, EndOfMacroStoresDiagnosticLevelMinusTwo) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  write_file(dir / "m.vcm", "XSCTN\n");
  const std::string out = run("DATA sys\nDIAG\n\n@m\nDIAG\n\nEXIT\n", dir);
  EXPECT_TRUE(contains(out, " Current diagnostic is  -1 > ")) << out;
  EXPECT_TRUE(contains(out, " Current diagnostic is  -2 > ")) << out;
}

TEST(Session, ShellCommandGluedOrSpaced) {
  TempDir dir;
  const std::string out = run("$touch glued.txt\n$ touch spaced.txt\n$false\nEXIT\n", dir);
  EXPECT_TRUE(fs::exists(dir / "glued.txt"));
  EXPECT_TRUE(fs::exists(dir / "spaced.txt"));
  EXPECT_EQ(out, kPrompt + kPrompt + kPrompt + " Error executing system command.\a\n" + kPrompt);
}

// ---- Prompts ---------------------------------------------------------------------------------------

TEST(Session, PromptFollowsTheDiagnosticLevel) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  const std::string out = run("DATA sys\nDIAG -6\nDIAG -2\nEXIT\n", dir);
  // The doublet is not focused: both objectives are far above 1E-4.
  EXPECT_EQ(out, kPrompt + kTitleLine + kPrompt + " Diagnostic set to  -6\n sti> " + " Diagnostic set to  -2\n sti> ");
}

// ---- DATA --------------------------------------------------------------------------------------------

TEST(Session, DataLoadsAndReportsTheTitle) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  EXPECT_EQ(run("DATA sys\nEXIT\n", dir), kPrompt + kTitleLine + kPrompt);
  // Asked for at the prompt.
  EXPECT_EQ(run("DATA\nsys\nEXIT\n", dir), kPrompt + " Filename for input > " + kTitleLine + kPrompt);
}

TEST(Session, DataNotesDiagnosticLevelAndZeroLength) {
  TempDir dir;
  write_file(dir / "flat.vrn", "Flat\n0 1 1 1 0\n1 0 0 0 0 0\n3 0 0 0\n9 0 0 0\n");
  EXPECT_EQ(run("DATA flat\nEXIT\n", dir),
            kPrompt + " Title: " + pad("Flat", 50) + "\n %VORNE- Diagnostics set to  0\n" +
                " %VORNE- Zero length system.\n" + kPrompt);
}

TEST(Session, DataMissingAndUnopenableFilesChangeNothing) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  fs::create_directory(dir / "box.vrn");
  const std::string out = run("DATA sys\nDATA nofile\nDATA box\nSAVE\n\nEXIT\n", dir);
  EXPECT_EQ(out, kPrompt + kTitleLine + kPrompt + " nofile.vrn does not exist.\n\n" + kPrompt +
                     " Unable to open box.vrn\n" + kPrompt +
                     " Filename for output (CR for sys) >  Data saved in file: sys.vrn\n" + kPrompt);
  EXPECT_EQ(read_file(dir / "sys.vrn"), kSystemSaved);
}

TEST(Session, DataFailuresEndTheProgramWhenNothingIsLoaded) {
  TempDir dir;
  write_file(dir / "bad.vrn", "Bad one\n0 1 1 x 0\n");
  write_file(dir / "first.vrn", "Wrong\n1 1 1 1 0\n1 0 0 0 0 0\n9 0 0 0\n");
  write_file(dir / "sent.vrn", "SENTINEL\n");
  write_file(dir / "long.vrn", "Long\n0 1 1 1 0\n1 0 0 0 0 0\n" + [] {
    std::string rows;
    for (int iz = 3; iz <= 40; ++iz) rows += "3.00 0.1 0 0\n";
    return rows + "9 0 0 0\n";
  }());
  int status = -1;
  EXPECT_EQ(run("DATA bad\nEXIT\n", dir, &status),
            kPrompt + " Title: " + pad("Bad one", 50) + "\n ?MAIN- Severe error in data file\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(run("DATA first\nEXIT\n", dir),
            kPrompt + " Title: " + pad("Wrong", 50) +
                "\n ?MAIN- First elements must be particle (0.0) and beam (1.0)\n");
  EXPECT_EQ(run("DATA sent\nEXIT\n", dir), kPrompt + " Title: " + pad("SENTINEL", 50) + "\n");
  EXPECT_EQ(run("DATA long\nEXIT\n", dir),
            kPrompt + " Title: " + pad("Long", 50) + "\n ?MAIN- Severe error in data file\n");
  // No name at the prompt and nothing loaded: the program ends.
  EXPECT_EQ(run("DATA\n\nMENU\n", dir), kPrompt + " Filename for input > ");
}

TEST(Session, DataFailureKeepsALoadedSystem) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  write_file(dir / "bad.vrn", "Bad one\n0 1 1 1 0\n1 0 0 0 0 0\n4.1 0.1 abc 0.005\n9 0 0 0\n");
  write_file(dir / "first.vrn", "Wrong\n0 1 1 1 0\n2 0 0 0 0 0\n9 0 0 0\n");
  const std::string out = run("DATA sys\nDATA bad\nDATA first\nDATA\n\nSAVE copy\nEXIT\n", dir);
  EXPECT_EQ(out, kPrompt + kTitleLine + kPrompt + " Title: " + pad("Bad one", 50) +
                     "\n ?MAIN- Severe error in data file\n" + kPrompt + " Title: " + pad("Wrong", 50) +
                     "\n ?MAIN- First elements must be particle (0.0) and beam (1.0)\n" + kPrompt +
                     " Filename for input > " + kPrompt + " Data saved in file: copy.vrn\n" + kPrompt);
  EXPECT_EQ(read_file(dir / "copy.vrn"), kSystemSaved);
}

TEST(Session, DataAtAPositiveLevelEndsWithTheFinalRunOfTheNewFile) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  write_file(dir / "other.vrn", kSystem);
  int status = -1;
  const std::string out = run("DATA sys\nDIAG 2\nDATA other\nMENU\n", dir, &status);
  EXPECT_EQ(out, kPrompt + kTitleLine + kPrompt + " Diagnostic set to   2\n" + kPrompt + kTitleLine +
                     " Output data in file other.lpt\n\n");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(contains(read_file(dir / "other.lpt"), "Diagnostic set to  2"));
  EXPECT_FALSE(fs::exists(dir / "sys.lpt"));
}

// ---- SAVE ----------------------------------------------------------------------------------------------

TEST(Session, SaveWritesTheLayoutsAndRoundTrips) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  EXPECT_EQ(run("DATA sys\nSAVE a\nDATA a\nSAVE b\nEXIT\n", dir),
            kPrompt + kTitleLine + kPrompt + " Data saved in file: a.vrn\n" + kPrompt + " Title:  " +
                pad("My system", 49) + "\n" + kPrompt + " Data saved in file: b.vrn\n" + kPrompt);
  EXPECT_EQ(read_file(dir / "a.vrn"), kSystemSaved);
  // The second cycle adds no further blank to the title.
  EXPECT_EQ(read_file(dir / "b.vrn"), kSystemSaved);
}

TEST(Session, SaveWritesLargeValuesInGForm) {
  TempDir dir;
  write_file(dir / "big.vrn",
             "Big\n0 1 1 3 -1\n1 0 0 0 0 0\n"
             "4.00 0.1 20000.0 0.005\n"
             "4.00 0.1 2.0E5 0.005\n"
             "4.00 0.1 -12345.678 0.005\n"
             "3.00 2.5E5 7 7\n"   // a drift: columns 3 and 4 are written as 0
             "4.105 0.1 0.5 0.005\n"   // read as 4.10, and written so
             "9 0 0 0\n");
  run("DATA big\nSAVE out\nDATA out\nSAVE again\nEXIT\n", dir);
  const std::string expected =
      " Big\n"
      "  0.00   ,    1.000000,    1.000000,    3.000000,   -1.000000\n"
      "  1.00   ,    0.000000,    0.000000,    0.000000,    0.000000,    0.000000\n"
      "  4.00   ,    0.100000,  20000.    ,    0.005000\n"
      "  4.00   ,    0.100000, 2.00000E+05,    0.005000\n"
      "  4.00   ,    0.100000, -12346.    ,    0.005000\n"
      "  3.00   , 2.50000E+05,    0.000000,    0.000000\n"
      "  4.10   ,    0.100000,    0.500000,    0.005000\n"
      "  9.00   ,    0.000000,    0.000000,    0.000000\n"
      " SENTINEL\n";
  EXPECT_EQ(read_file(dir / "out.vrn"), expected);
  EXPECT_EQ(read_file(dir / "again.vrn"), expected);
}

TEST(Session, SaveNamesAndTheCurrentDataFile) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  // A name with a dot is written as it stands and leaves the current name.
  run("DATA sys\nSAVE copy.dat\nEXIT 1\n", dir);
  EXPECT_EQ(read_file(dir / "copy.dat"), kSystemSaved);
  EXPECT_TRUE(fs::exists(dir / "sys.lpt"));
  // A bare name gets ".vrn" and becomes the current name (and so names the listing).
  run("DATA sys\nSAVE newname\nEXIT 1\n", dir);
  EXPECT_EQ(read_file(dir / "newname.vrn"), kSystemSaved);
  EXPECT_TRUE(fs::exists(dir / "newname.lpt"));
}

TEST(Session, SaveRefusesWithoutASystem) {
  TempDir dir;
  EXPECT_EQ(run("SAVE x\nEXIT\n", dir), kPrompt + " ?SAVE- No system loaded, nothing saved.\n" + kPrompt);
  EXPECT_FALSE(fs::exists(dir / "x.vrn"));
}

TEST(Session, SaveReplacesTheFileByRenameNotByTruncation) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  // A second name for the old file's contents: writing in place would change it too.
  fs::create_hard_link(dir / "sys.vrn", dir / "keep.vrn");
  run("DATA sys\nSAVE sys\nEXIT\n", dir);
  EXPECT_EQ(read_file(dir / "sys.vrn"), kSystemSaved);
  EXPECT_EQ(read_file(dir / "keep.vrn"), kSystem);
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

// ---- EXIT and the final run ----------------------------------------------------------------------------

// The listing of kSystem at diagnostic level 3, up to where the walk's reports begin.
std::string expected_listing(const std::string& file) {
  return " " + pad("My system", 50) + "    file " + file + "\n" +
         " \n    1 Collimator 0.00   1.000       1.007       3.000       3.000    \n" +
         " \n  Beam data     5.0000     UM    0.20000     MR     5.0000     UM    0.20000     MR  \n" +
         " \n    3 Drift      3.00   5.000    \n" +
         " \n    4 Quadrupole 4.10  7.0000E-02  0.2500      5.0000E-03   5.035    \n" +
         " \n    5 Drift      3.00  3.0000E-02\n" +
         " \n    6 Quadrupole 4.01  7.0000E-02 -0.2500      5.0000E-03   5.135    \n" +
         " \n    7 Drift      3.00  0.1500    \n" +
         " \n    8 System End 9.00  0.0000E+00  0.0000E+00  0.0000E+00  0.0000E+00\n" +
         " \n        TOTAL LENGTH =    5.32000\n\n" + " \n           Diagnostic set to  3\n\n";
}

TEST(Session, ExitWithALevelWritesTheListing) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  EXPECT_EQ(run("DATA sys\nEXIT 3\n", dir), kPrompt + kTitleLine + kPrompt + " Output data in file sys.lpt\n\n");
  const std::string listing = read_file(dir / "sys.lpt");
  EXPECT_EQ(listing.substr(0, expected_listing("sys.vrn").size()), expected_listing("sys.vrn"));
}

TEST(Session, ExitFallsBackToTheTerminalWhenTheListingExists) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  write_file(dir / "sys.lpt", "old listing\n");
  const std::string out = run("DATA sys\nEXIT 3\n", dir);
  const std::string head = kPrompt + kTitleLine + kPrompt +
                           " Unable to open sys.lpt for output.\n\n Output data in file CONSOLE\n\n";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_EQ(out.substr(head.size(), expected_listing("sys.vrn").size()), expected_listing("sys.vrn"));
  EXPECT_EQ(read_file(dir / "sys.lpt"), "old listing\n");
}

TEST(Session, ExitAboveNineAsksForOneDigit) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  const std::string ask = " IDIAG for final run  > ";
  // A letter cancels; the level in force before comes back.
  EXPECT_EQ(run("DATA sys\nEXIT 12\nx\nDIAG\n\nEXIT\n", dir),
            kPrompt + kTitleLine + kPrompt + ask + kPrompt + " Current diagnostic is  -1 > " + kPrompt);
  EXPECT_FALSE(fs::exists(dir / "sys.lpt"));
  // End of input cancels too (and then ends the program at the keyboard).
  EXPECT_EQ(run("DATA sys\nEXIT 12\n", dir), kPrompt + kTitleLine + kPrompt + ask + kPrompt);
  EXPECT_FALSE(fs::exists(dir / "sys.lpt"));
  // 0 ends without a listing.
  EXPECT_EQ(run("DATA sys\nEXIT 12\n0\nMENU\n", dir), kPrompt + kTitleLine + kPrompt + ask);
  EXPECT_FALSE(fs::exists(dir / "sys.lpt"));
  // One digit is read: "37" is 3.
  EXPECT_EQ(run("DATA sys\nEXIT 12\n37\n", dir),
            kPrompt + kTitleLine + kPrompt + ask + " Output data in file sys.lpt\n\n");
  EXPECT_EQ(read_file(dir / "sys.lpt").substr(0, expected_listing("sys.vrn").size()), expected_listing("sys.vrn"));
}

TEST(Session, ExitAnswerInAMacroIsEchoed) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  write_file(dir / "m.vcm", "DATA sys\nEXIT 12\n0\n");
  EXPECT_EQ(run("@m\n", dir), kPrompt + kMacroPrompt + " DATA sys\n" + kTitleLine + kMacroPrompt + " EXIT 12\n" +
                                  " IDIAG for final run  > " + "           0\n");
}

TEST(Session, ExitWithoutASystemEndsWithoutListing) {
  TempDir dir;
  EXPECT_EQ(run("EXIT 3\n", dir), kPrompt);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// ---- CAP, DIAG, CORR, LQRAY, ION -------------------------------------------------------------------------

TEST(Session, CapShowsAndReplacesTheTitle) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  EXPECT_EQ(run("DATA sys\nCAP\nNew title\nCAP\n\nSAVE\n\nEXIT\n", dir),
            kPrompt + kTitleLine + kPrompt + " \n Title: " + pad("My system", 50) + "\n New> " + kPrompt +
                " \n Title: " + pad("New title", 50) + "\n New> " + kPrompt +
                " Filename for output (CR for sys) >  Data saved in file: sys.vrn\n" + kPrompt);
  EXPECT_EQ(read_file(dir / "sys.vrn").substr(0, 11), " New title\n");
  // Over-long answers are refused, not cut.
  write_file(dir / "sys.vrn", kSystem);
  const std::string out = run("DATA sys\nCAP\n" + std::string(51, 't') + "\nCAP\n", dir);
  EXPECT_TRUE(contains(out, " ?VORNE- Answer longer than  50 characters; nothing done.\n")) << out;
  EXPECT_TRUE(contains(out, "nothing done.\n" + kPrompt + " \n Title: " + pad("My system", 50))) << out;
}

TEST(Session, DiagShowsAndSetsTheLevel) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  EXPECT_EQ(run("DATA sys\nDIAG 5\nDIAG\n7\nDIAG\nabc\nDIAG\n\nEXIT\n", dir),
            kPrompt + kTitleLine + kPrompt + " Diagnostic set to   5\n" + kPrompt + " Current diagnostic is   5 > " +
                kPrompt + " Current diagnostic is   7 > " + kPrompt + " Current diagnostic is   7 > " + kPrompt);
}

TEST(Session, CorrLqrayAndIon) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  EXPECT_EQ(run("CORR out\nLQRAY\n\nLQRAY name\nDATA sys\nION\n\nION x\nCORR\nEXIT\n", dir),
            kPrompt + " Output into file out.lpt\n\n" + kPrompt +
                " LQRAY filename for output>  LQOUT not implemented\n" + kPrompt + " LQOUT not implemented\n" +
                kPrompt + kTitleLine + kPrompt + " IONBEAM filename for output>  IONOUT not implemented\n" + kPrompt +
                " IONOUT not implemented\n" + kPrompt + kPrompt);
  EXPECT_TRUE(fs::exists(dir / "sys.vrn"));
  EXPECT_FALSE(fs::exists(dir / "out.lpt"));
  // End of input at the name prompt cancels.
  EXPECT_EQ(run("LQRAY\n", dir), kPrompt + " LQRAY filename for output> " + kPrompt);
}

// ---- ROTN and DISP settings --------------------------------------------------------------------------------

TEST(Session, RotationsAllAtOnceAndOneByOne) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  const std::string ask4 = "  4 Magn Quadrupole Rotation = ";
  const std::string ask6 = "  6 Magn Quadrupole Rotation = ";
  const std::string out = run(
      "DATA sys\nROTN Z\nROTN A 0.5\nROTN/I\n0.1\nabc\n\nROTN/I\n\n\nROTN A x\nEXIT\n", dir);
  EXPECT_EQ(out, kPrompt + kTitleLine + kPrompt + " All rotations zeroed.\n" + kPrompt +
                     " All rotations set to    0.50000 Pi.\n" + kPrompt +
                     ask4 + "    1.5708 rad > " + ask6 + "    1.5708 rad > " + ask6 + "    1.5708 rad > " + kPrompt +
                     ask4 + "    0.1000 rad > " + ask6 + "    1.5708 rad > " + kPrompt +
                     " ?ROTN- No number after the letter: A x\n" + kPrompt);
}

TEST(Session, DisplacementsAllAtOnceAndOneByOne) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  const std::string out = run("DATA sys\nDISP A 0.001\nDISP/I\n0.002 -0.003\n", dir);
  EXPECT_EQ(out, kPrompt + kTitleLine + kPrompt + " All displacements set to    0.00100 m.\n" + kPrompt +
                     "  4 Magn Quadrupole Displacement (x,y) =     0.0010,    0.0010 (m) > " +
                     "  6 Magn Quadrupole Displacement (x,y) =     0.0010,    0.0010 (m) > " + kPrompt);
}

TEST(Session, RotationAnswersInAMacroAreEchoed) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  write_file(dir / "m.vcm", "DATA sys\nROTN/I\n0.25\n");
  const std::string out = run("@m\nEXIT\n", dir);
  EXPECT_TRUE(contains(out, "  4 Magn Quadrupole Rotation =     0.0000 rad > +0.25\n"
                            "  6 Magn Quadrupole Rotation =     0.0000 rad > " + kMacroPrompt + " sti> "))
      << out;
}

// ---- HELP ----------------------------------------------------------------------------------------------------

TEST(Session, HelpShowsTopicsOfTheShippedHelpFile) {
  TempDir dir;
  fs::copy_file(fs::path(QX_HELP_SOURCE_DIR) / "vorne.hlp", dir / "vorne.hlp");
  const std::string out = run("HELP EXIT\nHELP/S vorne.hlp\nHELP\nEXIT\n", dir);
  EXPECT_TRUE(contains(out, "EXIT [n] - leave the program.")) << out;
  EXPECT_TRUE(contains(out, "VORNE - lens-system design program.")) << out;
}

// ---- Bad input at prompts --------------------------------------------------------------------------------------

TEST(Session, OverLongNamesAreAskedAgainOrRefused) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  // A name cut at column 40 is not used: it is asked for at the prompt.
  const std::string cut = "DATA " + std::string(40, 's');
  EXPECT_EQ(run(cut + "\nsys\nEXIT\n", dir), kPrompt + " Filename for input > " + kTitleLine + kPrompt);
  // An answer longer than a file name field is refused.
  EXPECT_EQ(run("DATA\n" + std::string(101, 'n') + "\nEXIT\n", dir),
            kPrompt + " Filename for input >  ?VORNE- Answer longer than 100 characters; nothing done.\n" + kPrompt);
  EXPECT_EQ(
      run("DATA sys\nSAVE " + std::string(40, 'a') + "\n\nEXIT\n", dir),
      kPrompt + kTitleLine + kPrompt + " Filename for output (CR for sys) >  Data saved in file: sys.vrn\n" + kPrompt);
}

TEST(Session, EndOfInputAtEveryPromptCancels) {
  TempDir dir;
  write_file(dir / "sys.vrn", kSystem);
  for (const std::string cmd : {"DATA", "SAVE", "@", "CAP", "DIAG", "ION", "EXIT 12"}) {
    int status = -1;
    const vorne_session::Session r = vorne_session::run(dir, "DATA sys\n" + cmd + "\n");
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_TRUE(r.out.ends_with("> " + kPrompt)) << cmd << "\n" << r.out;
    (void)status;
  }
  EXPECT_EQ(read_file(dir / "sys.vrn"), kSystem);
}

}  // namespace

namespace {

// The shipped example is written exactly in the layout SAVE uses, and the demo macro runs.
TEST(Session, ExampleSystemAndDemoMacro) {
  TempDir dir;
  fs::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
  fs::copy_file(qxtest::example("demo.vcm"), dir / "demo.vcm");
  const std::string out = run("@demo\nEXIT\n", dir);
  EXPECT_TRUE(contains(out, " Data saved in file: triplet_saved.vrn\n")) << out;
  EXPECT_EQ(read_file(dir / "triplet_saved.vrn"), read_file(qxtest::example("triplet.vrn")));
}

}  // namespace
