// Session tests of the command loop, registers, FAKE, DATA and the ray files: the real program
// on a script (lumiray_script.h). Expected records are written from the documented layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <sstream>
#include <string>
#include <vector>

#include "io/rayfile.h"
#include "lumiray_script.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;

using lumiray_script::count_of;
using lumiray_script::expect_parts;
using lumiray_script::FakeAnswers;
using lumiray_script::has_line;
using lumiray_script::lines_of;
using Lumiray = lumiray_script::Session;

ino_t inode_of(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string hex(double v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return buf;
}

// ---------------------------------------------------------------------------------------
// Start-up and the command loop
// ---------------------------------------------------------------------------------------
TEST_F(Lumiray, StartUpWithRegistersDelaysAndLoginMacro) {
  qxtest::write_file(dir / "lqsort.reg", "1.5 0 0 0 0 0 0 0 0 -2\n3 0 0 0 0 0 0 0 0 7\n");
  qxtest::write_file(dir / "lqsort.del", "250, 10\n");
  qxtest::write_file(dir / "login.lcm", "REG/L\n");
  const auto r = run("EXIT\n");
  const auto lines = lines_of(r.out);
  ASSERT_GE(lines.size(), 8u) << r.out;
  EXPECT_EQ(lines[0], "           <<< Loading registers from LQSORT.REG >>>");
  EXPECT_EQ(lines[1], " Using delays from: lqsort.del.");
  EXPECT_EQ(lines[2], " NDEL =  250 NPER =   10");
  EXPECT_EQ(lines[3], " LUMIRAY - High Resolution Image Intensity Mapping");
  EXPECT_EQ(lines[4], "              Version 2 (flux peaking)");
  EXPECT_EQ(lines[5], " ");
  EXPECT_EQ(lines[6], " Executing the login macro login.lcm");
  EXPECT_EQ(lines[7], "");
  EXPECT_EQ(lines[8], " lumiray>_ REG/L");
  EXPECT_TRUE(has_line(r.out, " A0 =   1.5000         I0 =         3")) << r.out;
  EXPECT_TRUE(has_line(r.out, " A9 =  -2.0000         I9 =         7")) << r.out;
  EXPECT_EQ(r.status, 0);
}

TEST_F(Lumiray, DamagedRegisterFileIsReportedAndLeavesTheRegistersAlone) {
  qxtest::write_file(dir / "lqsort.reg", "1 2 3\nnot numbers\n");
  const auto r = run("ALOAD/I\nREG/L\nEXIT\n");
  EXPECT_EQ(count_of(r.out, " %LQREGLOAD - Error reading LQSORT.REG"), 2u) << r.out;
  EXPECT_EQ(count_of(r.out, "Registers loaded from disk."), 0u);
  EXPECT_NE(r.out.find(" A0 =  0.00000E+00     I0 =         0"), std::string::npos);
}

TEST_F(Lumiray, RegisterCommands) {
  const auto r =
      run("REG/3 2.5\nREG/3 2.5\nILOAD/2 7.6\nALOAD/5 -1E-3\nINCR 4\nINCR/7 -2.5\nREG/X 1\nILOAD/2 1E20\n"
          "REG/L\nEXIT\n");
  EXPECT_NE(r.out.find(" ?LUMIRAY -   1.00000E+20 does not fit an integer register.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" A3 =   5.0000         I3 =         0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" A2 =  0.00000E+00     I2 =         8"), std::string::npos);
  EXPECT_NE(r.out.find(" A5 = -1.00000E-03     I5 =         0"), std::string::npos);
  EXPECT_NE(r.out.find(" A0 =  0.00000E+00     I0 =         4"), std::string::npos);
  EXPECT_NE(r.out.find(" A7 =  0.00000E+00     I7 =        -3"), std::string::npos);   // nearest integer
  EXPECT_NE(r.out.find("?LUMIRAY - Registers are numbered 0 to 9, not X; nothing stored."), std::string::npos);
  // REG/L: two empty records, then the ten registers.
  EXPECT_NE(r.out.find(" lumiray>  \n\n A0 ="), std::string::npos);
}

TEST_F(Lumiray, RegisterNumberIsAskedWithoutAnOptionLetter) {
  const auto r = run("REG 4\n6\nALOAD 9\n\nREG/L\nEXIT\n");
  EXPECT_EQ(count_of(r.out, "Register number > "), 2u);
  EXPECT_NE(r.out.find(" A6 =   4.0000    "), std::string::npos) << r.out;
  EXPECT_EQ(count_of(r.out, "9.0000"), 0u);   // a blank answer stores nothing
}

TEST_F(Lumiray, RegsavTwiceRefusesTheSecondTimeAndRegldLoads) {
  const auto r = run("ALOAD/1 0.125\nILOAD/8 -42\nREGSAV\nREGSAV\nEXIT\n");
  EXPECT_NE(r.out.find(" lumiray>  Registers saved.\n lumiray>  Unable to open lqsort.reg\n"), std::string::npos)
      << r.out;
  const auto again = run("ALOAD/I\nREG/L\nEXIT\n");
  EXPECT_EQ(count_of(again.out, "<<< Loading registers from LQSORT.REG >>>"), 2u);
  EXPECT_NE(again.out.find("  Registers loaded from disk."), std::string::npos) << again.out;
  EXPECT_NE(again.out.find(" A1 =  0.12500         I1 =         0"), std::string::npos) << again.out;
  EXPECT_NE(again.out.find(" A8 =  0.00000E+00     I8 =       -42"), std::string::npos);
}

// A typed fraction is the double nearest to what was typed: the registers keep it and the
// 17-digit report of LINE shows it as typed.
TEST_F(Lumiray, TypedNumbersKeepTheValueTyped) {
  const auto r = run("LINE -0.5\nALOAD/1 0.3\nREG/2 0.1\nREG/2 0.2\nALOAD/3 6.02E-7\nREGSAV\nEXIT\n");
  EXPECT_NE(r.out.find(" Line width set to  0.50000000000000000     \n"), std::string::npos) << r.out;
  std::istringstream saved(qxtest::read_file(dir / "lqsort.reg"));
  std::vector<double> a(4);
  for (double& v : a) saved >> v;
  EXPECT_EQ(a[1], 0.3);
  EXPECT_EQ(a[2], 0.1 + 0.2);   // two typed values added in double
  EXPECT_EQ(a[3], 6.02E-7);
}

TEST_F(Lumiray, StopAtTheKeyboardDoesNothing) {
  const auto r = run("ILOAD/1 50\nSTOP/1 10\nNTOT\nEXIT\n");
  EXPECT_NE(r.out.find(" Total number of ray vectors =          0"), std::string::npos) << r.out;
}

TEST_F(Lumiray, CountedLoopRunsUntilTheRegisterExceedsTheLimit) {
  qxtest::write_file(dir / "loop.lcm", "INCR/1 1\nSTOP/1 10\nREWIND\n");
  const auto r = run("@loop\nREG/L\nEXIT\n");
  EXPECT_EQ(count_of(r.out, " lumiray>_ INCR/1 1\n"), 11u) << r.out;
  EXPECT_EQ(count_of(r.out, " lumiray>_ REWIND\n"), 10u);
  EXPECT_NE(r.out.find(" A1 =  0.00000E+00     I1 =        11"), std::string::npos);
}

TEST_F(Lumiray, NestedMacroReturnsToTheOuterMacrosNextLine) {
  qxtest::write_file(dir / "outer.lcm", "ALOAD/1 1\n@inner\nALOAD/2 2\n");
  qxtest::write_file(dir / "inner.lcm", "ALOAD/3 3\n");
  const auto r = run("@outer\nEXIT\n");
  const std::size_t a = r.out.find(">_ ALOAD/1 1"), b = r.out.find(">_ @inner"), c = r.out.find(">_ ALOAD/3 3"),
                    d = r.out.find(">_ ALOAD/2 2"), e = r.out.find(" lumiray> ", d);
  ASSERT_NE(e, std::string::npos) << r.out;
  EXPECT_TRUE(a < b && b < c && c < d) << r.out;
  // Back at the keyboard the prompt loses its "_".
  EXPECT_EQ(count_of(r.out, " lumiray>_"), 6u);   // three lines, two macro ends, one line of outer
}

TEST_F(Lumiray, MacrosNestNineDeep) {
  qxtest::write_file(dir / "self.lcm", "INCR 1\n@self\n");
  const auto r = run("@self\nREG/L\nEXIT\n");
  EXPECT_TRUE(has_line(r.out, " ?LUMIRAY - Macros nest at most 9 deep; self.lcm is not started.")) << r.out;
  EXPECT_NE(r.out.find(" I0 =         9"), std::string::npos);
  EXPECT_EQ(r.status, 0);
}

TEST_F(Lumiray, AbbreviationsUnknownWordsAndMacroWords) {
  qxtest::write_file(dir / "SHOW.lcm", "NTOT\n");
  const auto r = run("D nofile\nDI\nMA\nFROB 12\nshow\n@missing\nS\nEXIT\n");
  EXPECT_NE(r.out.find(" Unable to open nofile.bin\n Unable to open file: nofile.bin\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Differential brightness options"), std::string::npos);   // DI is DIFF
  EXPECT_NE(r.out.find("\n ? - No data for display.\n"), std::string::npos);   // MA selects MAP
  EXPECT_NE(r.out.find(" ?LQGRID - No ray file is open; use DATA or FAKE first."), std::string::npos);   // S is SHADOW
  EXPECT_NE(r.out.find(" ?FROB      12.000\n"), std::string::npos);
  EXPECT_NE(r.out.find(" Executing a macro: SHOW.lcm\n lumiray>_ NTOT\n"), std::string::npos);
  EXPECT_NE(r.out.find(" missing.lcm does not exist."), std::string::npos);
}

TEST_F(Lumiray, PrevRepeatsTheLastLineThatWasNotPrev) {
  const auto r = run("PREV\nINCR/4 2\nPREV\nPREV\nREG/L\nEXIT\n");
  EXPECT_NE(r.out.find("?LUMIRAY - There is no previous command."), std::string::npos);
  EXPECT_NE(r.out.find(" I4 =         6"), std::string::npos) << r.out;
}

TEST_F(Lumiray, EndOfKeyboardInputEndsAsExitDoes) {
  const auto r = run("SAVE 2d.bin\n");   // the number-like name is taken as typed
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(has_line(r.out, " lumiray>  W: Rays file opened: 2d.bin")) << r.out;
  EXPECT_EQ(fs::file_size(dir / "2d.bin"), 108u);   // closed and in place: caption only
}

TEST_F(Lumiray, SmallCommands) {
  qxtest::write_file(dir / "notes.txt", "first line\n\n   third   \n");
  qxtest::write_file(dir / "-old.bin", "x");
  const auto r = run(
      "NTOT\nSMEAR\nINFO\nCOLOUR/E\nCOLOUR\nD\nCOLOUR/X\nDOTMOD/E 0.5\nDOTMOD\nQ\nICOUL 3\nICOUL\n0\n"
      "LIST notes.txt\nLIST nothere.txt\nDELETE -old.bin\nDELETE -old.bin\nCAPTIO\nA new caption\n"
      "CAPTIO\n\nFLASH/D\n125\nFLASH\n$ exit 3\n! a comment\nEXIT\n");
  const std::string expected_parts[] = {
      " lumiray>  \n Total number of ray vectors =          0\n\n",
      " lumiray>  This command is not active.\n",
      " lumiray>  This command not active.\n\n",
      " lumiray>  Colour enabled.\n",
      " lumiray>  Enable or Disable colour >  Colour disabled.\n",
      " lumiray>  Colour status unchanged.\n",
      " lumiray>  Dot mode enabled.\n DOT SIZE SET TO    0.50000\n",
      " Enable or Disable dot mode >  Dot mode unchanged.\n DOT SIZE SET TO    0.50000\n",
      " lumiray>  Not implemented in this version.\n",
      " lumiray>  Colour number >  lumiray> ",
      " lumiray>  first line\n \n    third\n",
      " lumiray>  nothere.txt does not exist.\n",
      " lumiray>  -old.bin deleted.\n",
      " lumiray>  -old.bin does not exist or cannot be opened.\n",
      " lumiray>  Current caption : \n     New caption > ",
      " lumiray>  Current caption : A new caption\n     New caption > ",
      " lumiray>  Delay in ms >  lumiray>  NDEL =  125 NPER = 1000\n",
      " lumiray>  Error executing system command, Ierr =        768\n",
      " lumiray>  lumiray> ",
  };
  expect_parts(r.out, expected_parts);
  EXPECT_FALSE(fs::exists(dir / "-old.bin"));
}

TEST_F(Lumiray, MenuListsTheTableEightToALine) {
  const auto r = run("MENU\nEXIT\n");
  // 60 slots, each 6 characters and two blanks, eight to a line; the last 17 are blank.
  const char* words[60] = {"MENU", "SHADOW", "SMEAR", "INFO", "DATA", "FAKE", "CLEAR", "@", "PREV", "NTOT",
                           "REG", "ALOAD", "ILOAD", "FLASH", "REWIND", "REGSAV", "REGLD", "INCR", "EXIT", "MAP",
                           "STOP", "LIST", "SAVE", "SORT", "MAXIMA", "CAPTIO", "COLOUR", "VALUES", "ICOUL",
                           "DOTMOD", "HELP", "DELETE", "DELTAE", "$", "!", "FIND", "MULE", "TRANS", "PROFIL",
                           "PLOT", "DUMP", "DIFF", "SPOT"};
  // MENU is a library command too: the library's list comes first, then the program's.
  std::string expected = " \n LUMIRAY commands: \n\n";
  for (int i = 0; i < 60; ++i) {
    if (i % 8 == 0) expected += " ";
    std::string slot = words[i] == nullptr ? "" : words[i];
    slot.resize(6, ' ');
    expected += slot + "  ";
    if (i % 8 == 7 || i == 59) expected += "\n";
  }
  EXPECT_NE(r.out.find(" DUMP    DIFF    SPOT    " + std::string(40, ' ') + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
  EXPECT_LT(r.out.find("QXLIBRARY commands:"), r.out.find("LUMIRAY commands:"));
}

TEST_F(Lumiray, HelpShowsTopicsFromTheHelpFile) {
  fs::copy_file(fs::path(QX_HELP_SOURCE_DIR) / "lumiray.hlp", dir / "mine.hlp");
  const auto r = run("HELP/S mine.hlp\nHELP regsav\nHELP nosuchtopic\nEXIT\n");
  EXPECT_NE(r.out.find(" LUMIRAY - High Resolution Image Intensity Mapping\n\n LUMIRAY reads"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" REGSAV writes the registers to lqsort.reg."), std::string::npos);
  EXPECT_NE(r.out.find("No help information available on NOSUCH"), std::string::npos);
}

TEST(LumirayHelpFile, EveryCommandHasATopic) {
  const std::string text = qxtest::read_file(fs::path(QX_HELP_SOURCE_DIR) / "lumiray.hlp");
  std::string keywords;
  for (const std::string& line : qxtest::split_lines(text)) {
    EXPECT_LE(line.size(), 80u) << line;
    if (!line.empty() && line[0] == '#') keywords += " " + line.substr(1) + " ";
  }
  std::replace(keywords.begin(), keywords.end(), ',', ' ');
  for (const char* word : {"MENU", "SHADOW", "SMEAR", "INFO", "DATA", "FAKE", "CLEAR", "@", "PREV", "NTOT",
                           "REG", "ALOAD", "ILOAD", "FLASH", "REWIND", "REGSAV", "REGLD", "INCR", "EXIT", "MAP",
                           "STOP", "LIST", "SAVE", "SORT", "MAXIMA", "CAPTIO", "COLOUR", "VALUES", "ICOUL",
                           "DOTMOD", "HELP", "DELETE", "DELTAE", "$", "!", "FIND", "MULE", "TRANS", "PROFIL",
                           "PLOT", "DUMP", "DIFF", "SPOT"})
    EXPECT_NE(keywords.find(std::string(" ") + word + " "), std::string::npos) << word;
}

// ---------------------------------------------------------------------------------------
// FAKE, DATA and the ray files
// ---------------------------------------------------------------------------------------
TEST_F(Lumiray, FakeRegularSquareWritesTheFullGrid) {
  copy_doublet();
  const auto r = run("FAKE/N sys\n" + FakeAnswers{}.text() + "NTOT\nEXIT\n");
  const std::string expected_parts[] = {
      " The time is --12:34:56--\n Fraction of day elapsed 0.52426\n \n"
      " <<< Obtain aberration coefficients and system parameters >>> \n",
      " Getting coefficients from sys.cof\n On unit number  3\n Opened file successfully.\n Read title.\n"
      " Read image/aperture sizes\n read collimator.\n read first order matrix\n Read fifth order matrix.\n",
      " Random (1), Regular (2) or Divergence specified (3) mode (CR for 2) > ",
      "                   Number of rays (CR for non-auto) > ",
      "      Circular or Square apertures (CR for Circular) > " + std::string(24, ' ') +
          "< SQUARE apertures selected. >\n",
      "           < Maximum divergence =  0.10000     mrad.>\n",
      "                     In random mode it is possible to flux peak\n"
      "                     by setting the idicies for the random number\n"
      "                     generator to values greater than 0.01.\n",
      " Flux peaking indicies set to: Object  0.00 Aperture  0.00\n",
      " Caption:  Example doublet, hand-made for the ray-trace test\n",
      " Focal lengths (from end of system):\n X focal position = -8.00000E-03 m\n"
      " Y focal position = -2.66667E-02 m\n",
      " W: Rays file opened: sys.bin\n",
      "  Object:   5.00000E-06,  5.00000E-06\n  Step:   1.00000E-06,  1.00000E-06\n"
      " Aperture:   2.00000E-04,  2.00000E-04\n A Offset:   0.00000E+00,  0.00000E+00 mr\n"
      "  Step:   4.00000E-05,  4.00000E-05\n No. of object rays        100\n No. of aperture rays        100\n"
      " Approx. total      10000\n",
      "      500 rays generated\n",
      "    14641 rays generated total.\n Return to top of this routine, or quit? (R/Q) > "
      " R: Rays file opened: sys.bin\n Caption:  Example doublet, hand-made for the ray-trace test\n"
      " Finding number of rays....\n  14643 rays in file.\n",
      " Total number of ray vectors =      14643\n",
  };
  expect_parts(r.out, expected_parts);
  EXPECT_EQ(count_of(r.out, " rays generated\n"), 29u);   // every 500 of 14641
  EXPECT_EQ(fs::file_size(dir / "sys.bin"), 108u + 14643u * 48u);
  EXPECT_FALSE(fs::exists(dir / "dist.fit"));   // no energy spread, no distribution
}

// Points of one axis: n = INT(sqrt(count) + 1) centred on 0, step 2/sqrt(count) in units of
// the half size; a point is inside when the sum of squares is at most 1.
long points_inside(double count) {
  const double root = std::sqrt(count);
  const int n = static_cast<int>(root + 1.0 + 1e-6);
  long inside = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double u = (i - 0.5 * (n - 1)) * 2.0 / root, v = (j - 0.5 * (n - 1)) * 2.0 / root;
      inside += u * u + v * v <= 1.0 + 1e-9 ? 1 : 0;
    }
  return inside;
}

TEST_F(Lumiray, FakeCircularDropsTheCornersAndPointObjectsUseOnePoint) {
  copy_doublet();
  FakeAnswers circular;
  circular.shape = "";
  FakeAnswers point;
  point.object = "0";
  point.count = "100";
  copy_doublet("pt.cof");
  copy_doublet("z.cof");
  const auto r = run("FAKE/N sys\n" + circular.text() + "FAKE/N pt.cof\n" + point.text() + "FAKE/N z\n\n\n0 0\n" +
                     "EXIT\n");
  // Circular: the counts grow by sqrt(4/pi); the points outside the circles are dropped.
  const double n = 100.0 * std::sqrt(4.0 / 3.141592654);
  const long expected = points_inside(n) * points_inside(n);
  EXPECT_NE(r.out.find("                      < CIRCULAR apertures selected. >\n"), std::string::npos);
  EXPECT_NE(r.out.find(" " + std::to_string(expected + 2) + " rays in file."), std::string::npos) << expected << r.out;
  // Point object with 100 rays asked: all 100 go to the aperture, an 11 x 11 grid.
  EXPECT_NE(r.out.find("    123 rays in file."), std::string::npos) << r.out;
  // FAKE/N pt.cof reads pt.cof and writes pt.bin, never over the coefficients.
  EXPECT_NE(r.out.find(" Getting coefficients from pt.cof\n"), std::string::npos);
  EXPECT_NE(r.out.find(" W: Rays file opened: pt.bin\n"), std::string::npos);
  // Two zero counts end the command before anything is written.
  EXPECT_NE(r.out.find("Number of rays in object, aperture (CR to abort) >  lumiray> "), std::string::npos);
}

TEST_F(Lumiray, FakeStopsAtTheRayLimit) {
  copy_doublet();
  FakeAnswers many;
  many.count = "250000";   // 23 points per axis: 279841 rays would be made
  const auto r = run("FAKE/N sys\n" + many.text() + "NTOT\nEXIT\n");
  EXPECT_NE(r.out.find(" Maximum number of rays exceeded, stop at     200001\n"), std::string::npos);
  EXPECT_NE(r.out.find("   199998 rays generated total."), std::string::npos);
  EXPECT_NE(r.out.find(" Total number of ray vectors =     200000"), std::string::npos);
  EXPECT_EQ(fs::file_size(dir / "sys.bin"), 108u + 200000u * 48u);
}

TEST_F(Lumiray, FakeIsReproducibleWithAPinnedClockAndItsFileReadsInFortran) {
  copy_doublet();
  qxtest::TempDir other;
  fs::copy_file(qxtest::test_data("doublet.cof"), other / "sys.cof");
  FakeAnswers random;
  random.mode = "1";
  random.count = "300";
  random.spread = "0.5";
  random.indices = "1 0.5";
  const std::string script = "FAKE/N sys\n" + random.text() + "EXIT\n";
  const auto a = run(script);
  const auto b = run(script, other.path());
  EXPECT_NE(a.out.find("     300 rays generated total."), std::string::npos) << a.out;
  EXPECT_NE(a.out.find(" Flux peaking indicies set to: Object  1.00 Aperture  0.50"), std::string::npos);
  const std::string bytes = qxtest::read_file(dir / "sys.bin");
  EXPECT_EQ(bytes.size(), 108u + 302u * 48u);
  EXPECT_EQ(bytes, qxtest::read_file(other / "sys.bin"));
  // Another time of day makes other rays.
  set_time("12:34:57");
  fs::remove(other / "sys.bin");
  run(script, other.path());
  EXPECT_NE(bytes, qxtest::read_file(other / "sys.bin"));

  // The Fortran runtime reads the caption and the very same doubles.
  const auto f = qxtest::run_program(qxtest::fortran_exe("ray_reader"), "", dir.path(), {"sys.bin"});
  const auto lines = lines_of(f.out);
  ASSERT_EQ(lines.size(), 304u) << f.out << f.err;
  EXPECT_EQ(lines[0], "caption [ Example doublet, hand-made for the ray-trace test" + std::string(50, ' ') + "]");
  EXPECT_EQ(lines.back(), "rays 302");
  auto reader = lumiray::RayReader::open(dir / "sys.bin");
  std::string caption;
  ASSERT_TRUE(reader->read_caption(caption));
  lumiray::Ray ray;
  for (long i = 1; i <= 302; ++i) {
    ASSERT_TRUE(reader->read_ray(i, ray));
    EXPECT_EQ(lines[static_cast<std::size_t>(i)],
              hex(ray.x) + " " + hex(ray.th) + " " + hex(ray.y) + " " + hex(ray.ph) + " " + hex(ray.d));
    if (i > 2) {
      EXPECT_LE(std::fabs(ray.d), 0.5);
      EXPECT_NE(ray.d, 0.0);
    }
  }
}

TEST_F(Lumiray, EnergyDistributionFile) {
  copy_doublet();
  FakeAnswers spread;
  spread.spread = "0.2";
  const auto r = run("FAKE/N sys\n" + spread.text() + "EXIT\n");
  EXPECT_NE(r.out.find(" Energy distribution in dist.fit\n"), std::string::npos) << r.out;
  const auto lines = lines_of(qxtest::read_file(dir / "dist.fit"));
  ASSERT_EQ(lines.size(), 6u + 101u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
            (std::vector<std::string>{" DE distribution", " DE", " Number", " 12,0 0", " 0", " 0"}));
  const std::regex bin(R"( ([ \d]{3}),([ \d]{4}),0)");
  long total = 0;
  for (int b = 1; b <= 101; ++b) {
    std::smatch m;
    const std::string& line = lines[static_cast<std::size_t>(5 + b)];
    ASSERT_TRUE(std::regex_match(line, m, bin)) << line;
    EXPECT_EQ(std::stoi(m[1]), b);
    total += std::stoi(m[2]);
  }
  EXPECT_EQ(total, 14641);
}

TEST_F(Lumiray, ContinuationAndAppendAddRunsToTheSameFile) {
  copy_doublet();
  FakeAnswers first;
  first.count = "16";   // 4 object and 4 aperture points: 3 per axis, 81 rays
  first.spread = "0.1";
  first.again = "R";
  FakeAnswers second = first;
  second.again = "q";
  qxtest::run_program(qxtest::fortran_exe("ray_writer"), "", dir.path(), {"theirs.bin", "3"});
  const auto r = run("FAKE/N sys\n" + first.text() + second.text() + "NTOT\n" + "DATA theirs\n" +
                     "FAKE/A sys.bin\nsys\n" + "\n" + second.text() + "EXIT\n");
  EXPECT_NE(r.out.find(" Total number of ray vectors =        166"), std::string::npos) << r.out;
  EXPECT_EQ(count_of(r.out, " W: Rays file opened: sys.bin"), 1u);   // the continuation keeps the file open
  // FAKE/A with the file no longer the current data set: appended after the rays there.
  EXPECT_NE(r.out.find("  Appending rays to file: sys.bin\n A: Rays file opened: sys.bin\n"), std::string::npos);
  EXPECT_NE(r.out.find("    249 rays in file."), std::string::npos);
  // The distribution of the last command counts its two runs, not only the last one.
  long total = 0;
  const auto lines = lines_of(qxtest::read_file(dir / "dist.fit"));
  ASSERT_EQ(lines.size(), 107u);
  for (std::size_t k = 6; k < lines.size(); ++k) total += std::stol(lines[k].substr(5, 4));
  EXPECT_EQ(total, 81);   // FAKE/A ran once

}

TEST_F(Lumiray, DivergenceModeSetsTheCountRegisters) {
  copy_doublet();
  FakeAnswers div;
  div.mode = "3";
  div.count = "\n16 9";        // no automatic count: object and aperture counts
  div.shape = "";
  div.object = "0.01 0.005";   // degrees
  const auto r = run("FAKE/N sys\n" + div.text() + "REG/L\nEXIT\n");
  // Counts asked after an empty automatic count; circular: times sqrt(4/pi).
  EXPECT_NE(r.out.find(" I1 =        18"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" I2 =        10"), std::string::npos);
  EXPECT_NE(r.out.find(" No of rays in divergence space =         18 (    5x    3)"), std::string::npos);
}

TEST_F(Lumiray, SolenoidOptionAndMissingCoefficients) {
  copy_doublet();
  const auto r = run("FAKE/N S sys\n" + FakeAnswers{}.text() + "FAKE/N nothere\n\nEXIT\n");
  EXPECT_NE(r.out.find(" lumiray>  Solenoid option active.\n The time is"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" %COFIN - nothere.cof Does not exist.\n Filename for input >  Error getting coefficients\n"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "sys.bin"));
  EXPECT_FALSE(fs::exists(dir / "nothere.bin"));
}

TEST_F(Lumiray, RayFilesBeingReadOrCoefficientsAreNeverWrittenOver) {
  copy_doublet();
  // The second FAKE/N is refused before its first question: the next line is a command again.
  const auto r = run("FAKE/N sys\n" + FakeAnswers{}.text() + "FAKE/N sys\nNTOT\n" +
                     "SAVE sys.bin\nFAKE sys.cof\nsys\n\n" + FakeAnswers{}.text() + "NTOT\nEXIT\n");
  EXPECT_NE(r.out.find(" lumiray>  ?LQIO - sys.bin is the current data set; it is not written over.\n"
                       " lumiray>  \n Total number of ray vectors =      14643"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(count_of(r.out, " ?LQIO - sys.bin is the current data set; it is not written over."), 2u) << r.out;
  EXPECT_EQ(count_of(r.out, " ?LQIO - sys.cof is the coefficient file just read; it is not written over."), 1u);
  EXPECT_EQ(qxtest::read_file(dir / "sys.cof"), qxtest::read_file(qxtest::test_data("doublet.cof")));
  EXPECT_EQ(fs::file_size(dir / "sys.bin"), 108u + 14643u * 48u);
  EXPECT_NE(r.out.find(" Total number of ray vectors =      14643"), std::string::npos);
}

// A slip such as "SAVE sys.cof" loses nothing; an older ray file is replaced as a whole new
// file that takes the name (a new inode), leaving no temporary behind.
TEST_F(Lumiray, SaveReplacesOnlyRayFiles) {
  copy_doublet();
  qxtest::write_file(dir / "notes.txt", "keep me\n");
  const std::string old_rays = lumiray::caption_record("old set") + std::string(48, '\x07');
  qxtest::write_file(dir / "old.bin", old_rays);
  const ino_t old_inode = inode_of(dir / "old.bin");
  const auto r = run("SAVE sys.cof\nSAVE notes.txt\nSAVE old\nEXIT\n");
  EXPECT_NE(r.out.find(" ?LQIO - sys.cof is not a ray file; it is not written over.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" ?LQIO - notes.txt is not a ray file; it is not written over.\n"), std::string::npos);
  EXPECT_EQ(qxtest::read_file(dir / "sys.cof"), qxtest::read_file(qxtest::test_data("doublet.cof")));
  EXPECT_EQ(qxtest::read_file(dir / "notes.txt"), "keep me\n");
  EXPECT_NE(r.out.find(" W: Rays file opened: old.bin\n"), std::string::npos);
  EXPECT_EQ(qxtest::read_file(dir / "old.bin"), lumiray::caption_record(""));
  EXPECT_NE(inode_of(dir / "old.bin"), old_inode);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3);
}

TEST_F(Lumiray, ZeroCollimatorDistanceEndsFake) {
  std::string text = qxtest::read_file(qxtest::test_data("doublet.cof"));
  text.replace(text.find("    2.0000000"), 13, "    0.0000000");
  qxtest::write_file(dir / "flat.cof", text);
  const auto r = run("FAKE/N flat\nEXIT\n");
  EXPECT_NE(r.out.find(" ?FAKE - The collimator distance is zero; no rays can be aimed."), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "flat.bin"));
}

TEST_F(Lumiray, DataReadsFortranFilesAndSurvivesDamage) {
  qxtest::run_program(qxtest::fortran_exe("ray_writer"), "", dir.path(), {"theirs.bin", "12"});
  const std::string theirs = qxtest::read_file(dir / "theirs.bin");
  qxtest::write_file(dir / "caption.bin", theirs.substr(0, 108));
  qxtest::write_file(dir / "cut.bin", theirs.substr(0, 108 + 4 * 48 + 30));
  qxtest::write_file(dir / "text.bin", "not a ray file\n");
  const auto r = run("DATA theirs\nVALUES 2\nDATA caption.bin\nNTOT\nDATA cut\nNTOT\nDATA text.bin\nNTOT\nEXIT\n");
  EXPECT_NE(r.out.find(" R: Rays file opened: theirs.bin\n Caption: Rays from the Fortran client\n"
                       " Finding number of rays....\n     12 rays in file.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  C   Object X      Object Th     Object Y      Object Ph   Object DE\n\n  0 "),
            std::string::npos);
  EXPECT_NE(r.out.find("      0 rays in file.\n lumiray>  \n Total number of ray vectors =          0\n"),
            std::string::npos);
  EXPECT_NE(r.out.find(" End at      4 rays.\n      4 rays in file.\n"
                       " lumiray>  \n Total number of ray vectors =          4\n"),
            std::string::npos);
  // A file that is no ray file leaves the current set as it was.
  EXPECT_NE(r.out.find(" ?LQIO - text.bin holds no caption record: not a ray file.\n Unable to open file: text.bin\n"
                       " lumiray>  \n Total number of ray vectors =          4\n"),
            std::string::npos);
}

}  // namespace

namespace {

TEST_F(Lumiray, EndOfInputInsideFakeCancelsButKeepsTheRaysWritten) {
  copy_doublet();
  copy_doublet("two.cof");
  FakeAnswers first;
  first.count = "16";
  first.again = "R";
  // Input ends in the middle of the second run's dialogue: the first run's rays are kept.
  const auto r = run("FAKE/N sys\n" + first.text() + "2\n16\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(fs::file_size(dir / "sys.bin"), 108u + 83u * 48u) << r.out;
  EXPECT_NE(r.out.find("     83 rays in file."), std::string::npos);
  // Ending before the file is opened writes nothing.
  const auto s = run("FAKE/N two\n2\n16\n");
  EXPECT_EQ(s.status, 0);
  EXPECT_FALSE(fs::exists(dir / "two.bin"));
}

TEST_F(Lumiray, AnswersInAMacroAreEchoed) {
  copy_doublet();
  FakeAnswers a;
  a.count = "16";
  qxtest::write_file(dir / "make.lcm", "FAKE/N sys\n" + a.text());
  const auto r = run("@make\nEXIT\n");
  const std::string expected_parts[] = {
      " lumiray>_ FAKE/N sys\n",
      " Random (1), Regular (2) or Divergence specified (3) mode (CR for 2) >  2\n",
      "                    Number of rays (CR for non-auto) >  16\n",
      "                    Object X and Y diameter (micron) > +10 10\n",
      "                      Aperture X and Y diameter (mm) > +0.4 0.4\n",
      "                 Maximum beam energy half spread (%) >  0\n",
      " Return to top of this routine, or quit? (R/Q) >  Q\n",
  };
  expect_parts(r.out, expected_parts);
}

TEST_F(Lumiray, ArgumentsCutAtColumn40AreNotTakenAsFileNames) {
  const std::string long_name = "a_name_that_runs_past_column_forty_of_the_line.bin";
  const auto r = run("SAVE " + long_name + "\n\nDELETE " + long_name + "\nEXIT\n");
  EXPECT_EQ(count_of(r.out, "?LUMIRAY - The line was cut at column 40; a file name is not taken from it."), 2u)
      << r.out;
  EXPECT_NE(r.out.find("            Filename for rays file > "), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 0);
}

}  // namespace

namespace {

TEST_F(Lumiray, GeneratorGoesOnAcrossCommandsAndHistogramCountsEveryRun) {
  copy_doublet("a.cof");
  copy_doublet("b.cof");
  FakeAnswers random;
  random.mode = "1";
  random.count = "40";
  random.spread = "0.3";
  random.again = "R";
  FakeAnswers last = random;
  last.again = "Q";
  const auto r = run("FAKE/N a\n" + random.text() + last.text() + "FAKE/N b\n" + last.text() + "EXIT\n");
  // Within one second the sequence goes on: the second command's rays are new rays.
  const std::string a = qxtest::read_file(dir / "a.bin"), b = qxtest::read_file(dir / "b.bin");
  ASSERT_EQ(a.size(), 108u + 84u * 48u) << r.out;
  ASSERT_EQ(b.size(), 108u + 42u * 48u);
  EXPECT_NE(a.substr(108 + 2 * 48, 40 * 48), b.substr(108 + 2 * 48, 40 * 48));
  EXPECT_NE(a.substr(108 + 2 * 48, 40 * 48), a.substr(108 + 44 * 48, 40 * 48));
}

}  // namespace
