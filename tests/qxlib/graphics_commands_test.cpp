// The library's own commands: which words they take, and what each changes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "graphics_capture.h"
#include "qx/dest.h"
#include "qx/graphics.h"
#include "qx/plot.h"
#include "qx/tekdecode.h"
#include "qx/text.h"

namespace {

using qxtest::cmd;
using qxtest::TekCapture;

class Commands : public ::testing::Test {
 protected:
  bool run(const qx::CommandLine& line, std::string answers = "") {
    qx::StringInput in(std::move(answers));
    return qx::qxcmd(c.s, in, c.out, false, line);
  }
  TekCapture c;
};

TEST_F(Commands, AbbreviationsTakeTheFirstCommandInTableOrder) {
  EXPECT_FALSE(run(cmd("")));
  EXPECT_FALSE(run(cmd("XYZ")));
  EXPECT_FALSE(run(cmd("TERMIN")));   // longer than the entry: not TERM
  EXPECT_TRUE(run(cmd("CL")));        // CLEAR, not CLOSE
  EXPECT_EQ(c.s.gfx.clear_letter, 'A');
  EXPECT_TRUE(run(cmd("CF", 'D')));   // CFLAG
  EXPECT_FALSE(c.s.gfx.auto_clear);
  EXPECT_TRUE(run(cmd("C", 'V')));    // CLEAR
  EXPECT_EQ(c.s.gfx.clear_letter, 'V');
  EXPECT_TRUE(run(cmd("MA", 'D')));   // MARKS
  EXPECT_FALSE(c.s.gfx.marks);
  EXPECT_TRUE(run(cmd("DES")));       // DEST, not DEFINE
  EXPECT_TRUE(run(cmd("D", 'Q', 0, "figure")));   // DEFINE
  EXPECT_EQ(c.s.gfx.ps.user_name, "figure");
}

TEST_F(Commands, ClearRemembersItsMode) {
  run(cmd("CLEAR", 'H'));
  EXPECT_EQ(c.s.gfx.clear_letter, 'H');
  qx::qxclr(c.s, c.out, ' ');   // repeats H
  EXPECT_EQ(c.s.gfx.clear_letter, 'H');
  qx::qxclr(c.s, c.out, 'c');   // forgets it
  EXPECT_EQ(c.s.gfx.clear_letter, ' ');
  c.s.gfx.tek.type = 7;
  qx::qxclr(c.s, c.out, 'g');   // the graphics screen: US ESC FF between the mode switches
  EXPECT_EQ(c.bytes(), qxtest::bytes_of({13, 29, 31, 27, 12, 31, 24, 10, 23}));
  EXPECT_EQ(c.s.gfx.clear_letter, 'G');
}

TEST_F(Commands, FontTermAndTheirLimits) {
  EXPECT_TRUE(run(cmd("FONT", ' ', 2.6)));
  EXPECT_EQ(c.s.gfx.plot.default_font, 3);
  run(cmd("FONT", ' ', 9.0));
  EXPECT_EQ(c.s.gfx.plot.default_font, 3);
  run(cmd("FONT", ' ', 1e300));
  EXPECT_EQ(c.s.gfx.plot.default_font, 3);
  run(cmd("TERM", ' ', 8.0));
  EXPECT_EQ(c.s.gfx.tek.type, 8);
  run(cmd("TERM", ' ', 4.4));
  EXPECT_EQ(c.s.gfx.tek.type, 4);
  run(cmd("TERM", 'R'));   // back to the one used before
  EXPECT_EQ(c.s.gfx.tek.type, 8);
  run(cmd("TERM", 'R'));
  EXPECT_EQ(c.s.gfx.tek.type, 4);
  run(cmd("TERM", ' ', 0.0));   // the menu, and no answer: type 1
  EXPECT_EQ(c.s.gfx.tek.type, 1);
}

TEST_F(Commands, LineSetsPenOrWidthAndZeroOnlyReports) {
  run(cmd("LINE", ' ', 3.0));
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
  EXPECT_EQ(c.s.gfx.ps.pen_number, 3.0);
  run(cmd("LINE", ' ', 0.0));
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
  run(cmd("LINE", ' ', -0.00005));   // within the tolerance: still a pen query
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
  run(cmd("LINE", ' ', -2.0));
  EXPECT_DOUBLE_EQ(c.s.gfx.ps.pen_width, 2.0);
  EXPECT_NEAR(c.s.gfx.hpgl.width, 0.30, 1e-12);   // |INT(-2.5)| * 0.15
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
  run(cmd("LINE", ' ', 1e30));   // refused, nothing changes
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
}

TEST_F(Commands, DefineNamesPlotFiles) {
  run(cmd("DEFINE", 'H', 0, "figure"));
  EXPECT_EQ(c.s.gfx.hpgl.user_name, "figure");
  EXPECT_EQ(c.s.gfx.ps.user_name, "");
  run(cmd("DEFINE", '*', 0, "both.plt"));
  EXPECT_EQ(c.s.gfx.hpgl.user_name, "both.plt");
  EXPECT_EQ(c.s.gfx.ps.user_name, "both.plt");
  run(cmd("DEFINE", 'P', 0, "*"));   // "*" goes back to numbered files
  EXPECT_EQ(c.s.gfx.hpgl.user_name, "");
  EXPECT_EQ(c.s.gfx.ps.user_name, "both.plt");
  run(cmd("DEFINE", 'X', 0, "nothing"));   // no such device
  EXPECT_EQ(c.s.gfx.ps.user_name, "both.plt");
}

}  // namespace

namespace {

TEST_F(Commands, MessagesOfFontMenuCflagAndMarks) {
  run(cmd("FONT", ' ', 3.0));
  run(cmd("FONT", ' ', 12.0));
  EXPECT_EQ(c.out.text(), " Default font set to  3.\n\n Fonts are 0 to 8: default font unchanged.\n\n");
  c.out.clear();
  run(cmd("MENU"));
  EXPECT_EQ(c.out.text(),
            "\n QXLIBRARY commands:\n\n"
            "CLEAR   FONT    TERM    MENU    DEFINE  LINE    DEST    CLOSE   \n"
            "CFLAG   MARKS   \n\n");
  c.out.clear();
  run(cmd("CFLAG", ' ', 0, "d"));   // no option: the argument's first letter
  run(cmd("CFLAG", 'E'));
  run(cmd("CFLAG", 'X'));
  run(cmd("MARKS", 'D'));
  EXPECT_EQ(c.out.text(),
            " Auto clear before a plot disabled.\n Auto clear before a plot enabled.\n"
            " No action on clear flag taken (use E or D).\n Plot markers disabled.\n");
  EXPECT_TRUE(c.s.gfx.auto_clear);
  EXPECT_FALSE(c.s.gfx.marks);
}

const std::string kTermMenu =
    " Select the TEK4010/4 terminal emulation:\n"
    "  1 Tektronix 4010/4014\n"
    "  2 GraphOn GO235, or Selanar on a VT100\n"
    "  3 Falco 550, window 1 is alpha\n"
    "  4 Falco 550, window 3 is alpha\n"
    "  5 Pericom, first variant\n"
    "  6 Pericom, second variant\n"
    "  7 V500\n"
    "  8 xterm\n"
    "  9 as 8 but without open/close\n"
    " 10 NCSA Telnet (Macintosh) 4014 emulation, not recommended\n"
    " > ";

TEST_F(Commands, TermMenuAsksUntilItReadsANumber) {
  run(cmd("TERM", ' ', 11.0), "x\n2.6\n");   // out of range: the menu; a bad answer: again
  EXPECT_EQ(c.out.text(), kTermMenu + kTermMenu + " Terminal type  3 selected.\n");
  EXPECT_EQ(c.s.gfx.tek.type, 3);
  c.out.clear();
  run(cmd("TERM", ' ', 0.0), "42\n");   // a number outside 1-10 selects type 1
  EXPECT_EQ(c.out.text(), kTermMenu + " Terminal type  1 selected.\n");
  EXPECT_EQ(c.s.gfx.tek.type, 1);
  c.out.clear();
  run(cmd("TERM", ' ', 10.0));   // in range: nothing printed
  EXPECT_EQ(c.out.text(), "");
}

TEST_F(Commands, DefineAsksScaleAndOffsetsUntilAccepted) {
  run(cmd("DEFINE", '*'), "x\n2\n5,-3\n");
  EXPECT_EQ(c.out.text(),
            " Scale factor for next plot >  Scale factor for next plot >  X and Y plot offsets (mm) > ");
  EXPECT_FLOAT_EQ(c.s.gfx.tek.t.zoom, 2.0f);
  EXPECT_FLOAT_EQ(c.s.gfx.tek.t.xoff, 5.0f * 4.72f);
  EXPECT_FLOAT_EQ(c.s.gfx.tek.t.yoff, -3.0f * 4.72f);
  EXPECT_DOUBLE_EQ(c.s.gfx.ps.zoom, 2.0);
  EXPECT_DOUBLE_EQ(c.s.gfx.ps.xoff, 500.0 / 2.54);
  EXPECT_DOUBLE_EQ(c.s.gfx.hpgl.zoom, 2.0);
  EXPECT_DOUBLE_EQ(c.s.gfx.hpgl.yoff, -3.0 / 0.025);
  // Empty answers take the defaults 1 and 0, 0; end of input keeps what was answered.
  run(cmd("DEFINE", 'Q'), "\n\n");
  EXPECT_DOUBLE_EQ(c.s.gfx.ps.zoom, 1.0);
  EXPECT_DOUBLE_EQ(c.s.gfx.ps.xoff, 0.0);
  EXPECT_FLOAT_EQ(c.s.gfx.tek.t.zoom, 2.0f);   // the screen untouched by /Q
  run(cmd("DEFINE", 'S'), "3\n");
  EXPECT_FLOAT_EQ(c.s.gfx.tek.t.zoom, 3.0f);
  EXPECT_FLOAT_EQ(c.s.gfx.tek.t.xoff, 5.0f * 4.72f);
}

// Type 8 on the terminal: the entry sequence first, the exit sequence last, and then the
// terminal is opened afresh. The stand-in is unlinked while open so the stream sent before
// the reopening stays readable through a descriptor of our own.
TEST(TermEight, PlotOnTheTerminalEndsWithTheExitSequenceAndReopensIt) {
  qxtest::InScratchDir dir;
  qx::StringOutput out;
  qx::Session s(out);
  s.gfx.terminal = (dir.path() / "tty").string();
  std::string star = "*";
  qx::qxdest(s, star, s.gfx.terminal);
  ASSERT_TRUE(s.dest.is_open());
  const int fd = ::open(s.gfx.terminal.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ::unlink(s.gfx.terminal.c_str());
  qx::StringInput in("");
  s.gfx.auto_clear = false;   // the erase would leave graphics (and reopen) before the drawing
  qx::qxcmd(s, in, out, false, cmd("TERM", ' ', 8.0));
  qx::qxplot(s, in, out, 0, 1.0f, 'S', 0, 1, 0, 1);
  qx::qxdraw(s, 'S', 0, 0, 3);
  qx::qxdraw(s, 'S', 1, 1, 2);
  qx::qxend(s, 'S');
  std::string sent(4096, '\0');
  sent.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(fd, sent.data(), sent.size()))));
  ::close(fd);
  EXPECT_EQ(sent.substr(0, 6), "\x1b[?38h");
  EXPECT_EQ(sent.substr(sent.size() - 3), "\x1f\x1b\x03");   // US, then ESC ETX
  EXPECT_EQ(qx::decode_tek(sent).pages.back().segments.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(s.gfx.terminal));   // opened afresh
  EXPECT_TRUE(s.dest.is_open());
  EXPECT_EQ(s.dest.name, s.gfx.terminal);
}

// A destination file is not the terminal: it stays open for the plots that follow.
TEST(TermEight, PlotFileStaysOpenAcrossPlots) {
  TekCapture c;
  qx::StringInput in("");
  std::FILE* const file = c.s.dest.file;
  c.s.gfx.tek.type = 8;
  for (int i = 0; i < 2; ++i) {
    qx::qxplot(c.s, in, c.out, 0, 1.0f, 'S', 0, 1, 0, 1);
    qx::qxend(c.s, 'S');
  }
  EXPECT_EQ(c.s.dest.file, file);
  const std::string b = c.bytes();
  EXPECT_EQ(b.find("\x1b[?38h", 1), b.find("\x1b\x03") + 2);   // the second plot follows the first
}

}  // namespace
