// COFOUT's dialogue run in the real program: the transcript, the file-name rules, the
// collimator-shape answers, and every way it ends without writing (no system, an existing
// file, a blank name, the end of input, values that are not finite). Expected records come
// from the documented layouts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/units.h"
#include "session.h"
#include "vorne_session.h"

namespace {

namespace fs = std::filesystem;
using qxtest::read_file;
using qxtest::TempDir;
using qxtest::write_file;

using vorne_session::kPrompt;
using vorne_session::kStart;

// The example system: a triplet with a 5 m first drift, 5.49 m long, diagnostic level -1.
class Cofout : public ::testing::Test {
 protected:
  Cofout() { fs::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn"); }

  // The transcript after the start-up text and the loading of the triplet.
  std::string run(const std::string& script) {
    const auto r = vorne_session::run(dir, "DATA triplet\n" + script);
    const std::string loaded = kStart + kPrompt + " Title: " + title() + "\n";
    EXPECT_EQ(r.out.substr(0, loaded.size()), loaded);
    return r.out.size() >= loaded.size() ? r.out.substr(loaded.size()) : r.out;
  }
  std::string title() const {
    std::string t = qxtest::split_lines(read_file(dir / "triplet.vrn"))[0];
    t.resize(50, ' ');
    return t;
  }
  // The names of the files in the scratch directory.
  std::set<std::string> files() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    return names;
  }
  std::string shape_of(const std::string& file) const { return qxtest::split_lines(read_file(dir / file))[4]; }

  TempDir dir;
};

// What COFOUT prints from the collimator distance on, for the triplet, after the shape answer
// (answers typed at the keyboard are not echoed).
std::string dialogue(bool square, const std::string& echo = "") {
  return std::string(" ") + "          Collimator distance assumed to be " + qx::edit_f(5.0, 10, 5) + " m\n" +
         " " + "    Square or Circular aperture collimator? > " + echo +
         (square ? " Square aperture collimators.\n" : " Circular aperture collimatior.\n") +
         " " + "        Shadow plane distance assumed to be " + qx::edit_f(0.1, 10, 5) + " m\n" +
         " " + "                        Total system length " + qx::edit_f(5.49, 10, 5) + " m\n" +
         " Chromatic coefficients calculated with a " + qx::edit_g(0.5, 12, 5, 1) + "% energy spread.\n" +
         " (X/XDe and Y/YDe are probably inaccurate.)\n";
}

TEST_F(Cofout, TranscriptOfARunAtTheKeyboardAndInAMacro) {
  EXPECT_EQ(run("COFOUT tri\ns\nEXIT\n"), kPrompt + dialogue(true) + kPrompt);
  EXPECT_TRUE(fs::exists(dir / "tri.cof"));
  // In a macro the answer is echoed list-directed, on the prompt's line.
  write_file(dir / "mk.vcm", "COFOUT mac\nc\n");
  EXPECT_EQ(run("@mk\nEXIT\n"), kPrompt + " vrn>_ COFOUT mac\n" + dialogue(false, " c\n") + " vrn>_" + kPrompt);
  EXPECT_EQ(shape_of("mac.cof"), " C");
}

TEST_F(Cofout, ShapeAnswersSquareOnlyForAnSFirst) {
  struct Case {
    const char* answer;
    bool square;
  };
  const Case cases[] = {{"s", true},  {"S", true},  {"square", true}, {"  S", true}, {"c", false},
                        {"", false},  {"x", false}, {"C", false},     {"y", false}};
  std::string script;
  int n = 0;
  for (const Case& c : cases) script += "COFOUT f" + std::to_string(n++) + "\n" + c.answer + "\n";
  const std::string out = run(script + "EXIT\n");
  std::string expected;
  for (const Case& c : cases) expected += kPrompt + dialogue(c.square);
  EXPECT_EQ(out, expected + kPrompt);
  n = 0;
  for (const Case& c : cases)
    EXPECT_EQ(shape_of("f" + std::to_string(n++) + ".cof"), c.square ? " S" : " C") << '"' << c.answer << '"';
}

TEST_F(Cofout, FileNameRules) {
  fs::create_directory(dir / "run.d");
  const std::string name30 = "abcdefghijklmnopqrstuvwxyz";   // with ".cof" exactly 30 characters
  const std::string out = run("COFOUT plain\ns\n"
                              "COFOUT given.dat\ns\n"
                              "COFOUT two words\ns\n"
                              "COFOUT run.d/inner\ns\n"
                              "COFOUT " + name30 + "\ns\n"
                              "COFOUT " + name30 + "1\n"
                              "COFOUT\nasked\ns\n"
                              "COFOUT\nasked.txt\ns\n"
                              "EXIT\n");
  const std::set<std::string> want = {"triplet.vrn", "run.d",      "plain.cof", "given.dat",
                                      "two.cof",     name30 + ".cof", "asked.cof", "asked.txt"};
  EXPECT_EQ(files(), want);
  EXPECT_TRUE(fs::exists(dir / "run.d/inner.cof"));   // a "." in a directory is no extension
  EXPECT_NE(out.find(kPrompt + " ?COFOUT- File name longer than 30 characters, nothing written: " + name30 +
                     "1.cof\n" + kPrompt),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(kPrompt + " Filename for output > " + dialogue(true)), std::string::npos) << out;
}

TEST_F(Cofout, AnswersAtTheNamePrompt) {
  // A blank answer writes nothing; a name longer than 13 characters is asked again, since
  // cutting it would name another file; leading blanks do not count.
  const std::string out = run("COFOUT\n\nCOFOUT\nfourteen_chars\n  short\ns\nEXIT\n");
  EXPECT_EQ(out, kPrompt + " Filename for output > " + kPrompt + " Filename for output > " +
                     " ?COFOUT- File name longer than 13 characters: fourteen_chars\n Filename for output > " +
                     dialogue(true) + kPrompt);
  EXPECT_EQ(files(), (std::set<std::string>{"triplet.vrn", "short.cof"}));
}

TEST_F(Cofout, AnArgumentCutAtColumn40IsAskedAtThePrompt) {
  const std::string long_name(40, 'n');
  run("COFOUT " + long_name + "\nshort\ns\nEXIT\n");
  EXPECT_EQ(files(), (std::set<std::string>{"triplet.vrn", "short.cof"}));
}

TEST_F(Cofout, AnExistingFileIsRefusedAndLeftUntouched) {
  write_file(dir / "keep.cof", "precious\n");
  write_file(dir / "keep.dat", "also precious\n");
  // No question is asked, so the next lines are commands again.
  const std::string out = run("COFOUT keep\nCOFOUT keep.dat\nEXIT\n");
  EXPECT_EQ(out, kPrompt + " ?COFOUT- File keep.cof already exists, nothing written.\n" + kPrompt +
                     " ?COFOUT- File keep.dat already exists, nothing written.\n" + kPrompt);
  EXPECT_EQ(read_file(dir / "keep.cof"), "precious\n");
  EXPECT_EQ(read_file(dir / "keep.dat"), "also precious\n");
}

TEST_F(Cofout, NothingIsLeftBehindWhenTheInputEndsAtTheShapeQuestion) {
  const std::string whole = dialogue(true);
  EXPECT_EQ(run("COFOUT gone\n"), kPrompt + whole.substr(0, whole.find("? > ") + 4) + kPrompt);
  // Inside a macro the end of the macro cancels the same way, and the keyboard goes on.
  write_file(dir / "cut.vcm", "COFOUT gone\n");
  run("@cut\nCOFOUT there\ns\nEXIT\n");
  EXPECT_EQ(files(), (std::set<std::string>{"triplet.vrn", "cut.vcm", "there.cof"}));
}

TEST_F(Cofout, AFileThatCannotBeCreatedIsReported) {
  EXPECT_EQ(run("COFOUT nodir/x\nEXIT\n"), kPrompt + " Unable to open nodir/x.cof\n" + kPrompt);
}

TEST(CofoutRefusals, WithoutASystemNothingIsAskedOrWritten) {
  TempDir dir;
  const auto r = vorne_session::run(dir, "COFOUT x\nEXIT\n");
  EXPECT_EQ(r.out.substr(kStart.size()), kPrompt + " ?COFOUT- No system loaded, nothing written.\n" + kPrompt);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(CofoutRefusals, CoefficientsThatAreNotFiniteAreNotWritten) {
  // An absurd first drift: the fourth power of the lens's object distance overflows.
  TempDir dir;
  write_file(dir / "bad.vrn",
             "Lens on the object\n0.00, 1.0, 1.00728, 3.0, -1.0\n1.00, 5e-6, 2e-4, 5e-6, 2e-4, 0.01\n"
             "3.00, 1e200, 0, 0\n4.10, 0.07, 0.25, 0.005\n3.00, 0.5, 0, 0\n9.00, 0, 0, 0\nSENTINEL\n");
  const auto r = vorne_session::run(dir, "DATA bad\nCOFOUT bad\ns\nEXIT\n");
  EXPECT_NE(r.out.find(" (X/XDe and Y/YDe are probably inaccurate.)\n ?COFOUT- Coefficients not finite, nothing "
                       "written to bad.cof\n"),
            std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(dir / "bad.cof"));
}

}  // namespace

TEST(CofoutLayout, LengthsTooLargeForTheirFieldStayReadable) {
  // F12.7 holds at most 9999.9999999: a 20 km drift is written in 1P,G12.5 instead of
  // asterisks that no reader could take.
  TempDir dir;
  write_file(dir / "long.vrn",
             "Very long\n0.00, 1.0, 1.00728, 3.0, -1.0\n1.00, 5e-6, 2e-8, 5e-6, 2e-8, 0.01\n"
             "3.00, 20000, 0, 0\n4.10, 0.07, 0.25, 0.005\n3.00, 0.5, 0, 0\n9.00, 0, 0, 0\nSENTINEL\n");
  vorne_session::run(dir, "DATA long\nCOFOUT long\ns\nEXIT\n");
  const auto lines = qxtest::split_lines(read_file(dir / "long.cof"));
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[3], " " + qx::edit_g(20000.0, 12, 5, 1));
  EXPECT_EQ(lines[5], "    0.1000000");
  EXPECT_EQ(lines[6], " " + qx::edit_g(20000.07 + 0.5, 12, 5, 1));
  // The reader's free-form read takes them.
  qx::StringInput in(lines[3] + "\n" + lines[6] + "\n");
  double lengths[2] = {0.0, 0.0};
  ASSERT_EQ(qx::read_reals(in, std::span<double>(lengths, 1)), qx::ReadStatus::ok);
  ASSERT_EQ(qx::read_reals(in, std::span<double>(lengths + 1, 1)), qx::ReadStatus::ok);
  EXPECT_EQ(lengths[0], 20000.0);
  EXPECT_EQ(lengths[1], 20001.0);   // five significant digits
}

// `make demo`: the design program writes the example's coefficient file and the ray-trace
// program makes a ray set from it, in a scratch directory of its own.
TEST(Demo, RunsTheWholeChain) {
  TempDir tmp;
  const fs::path build = fs::path(qxtest::vorne_exe()).parent_path().parent_path();
  const std::string cmd = "TMPDIR='" + tmp.path().string() + "' sh '" + qxtest::example("demo.sh").string() +
                          "' '" + build.string() + "' > '" + (tmp / "out").string() + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << read_file(tmp / "out");
  const std::string out = read_file(tmp / "out");
  for (const std::string& part : {
           std::string(" vrn>_ COFOUT triplet\n           Collimator distance assumed to be    5.00000 m\n"),
           std::string(" Getting coefficients from triplet.cof\n"),
           std::string(" Read fifth order matrix.\n"),
           // 11 points per plane in object and aperture: 14641 rays and the two paraxial ones
           std::string("    14641 rays generated total.\n"),
           std::string("  14643 rays in file.\n"),
           std::string(" Total number of ray vectors =      14643\n"),
           std::string("== triplet.cof\n  Proton triplet, 3 MeV"),
           std::string(" Coefficients from VORNE\n"),
       })
    EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
  EXPECT_EQ(out.find("Error"), std::string::npos) << out;
}
