// The library's own commands: which words they take, and what each changes.
#include <gtest/gtest.h>

#include "graphics_capture.h"
#include "qx/graphics.h"
#include "qx/text.h"

namespace {

using qxtest::TekCapture;

qx::CommandLine cmd(std::string_view word, char option = ' ', double number = 0.0, std::string_view arg = "") {
  qx::CommandLine c;
  c.line = qx::pad(qx::pad(word, 7) + std::string(arg), 40);
  c.option = option;
  c.number = number;
  c.typed_arg = std::string(arg);
  return c;
}

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
  EXPECT_EQ(c.s.gfx.ps.colour, 3.0);
  run(cmd("LINE", ' ', 0.0));
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
  run(cmd("LINE", ' ', -0.00005));   // within the tolerance: still a pen query
  EXPECT_EQ(c.s.gfx.hpgl.pen, 3);
  run(cmd("LINE", ' ', -2.0));
  EXPECT_DOUBLE_EQ(c.s.gfx.ps.width, 2.0);
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
