// HPGL and PostScript plot files, byte for byte: headers, run numbers, user names, items,
// pens, widths, colours, page handling and the messages that go with them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "graphics_capture.h"
#include "qx/graphics.h"
#include "qx/plot.h"
#include "qx/runup.h"
#include "qx/text.h"

namespace {

namespace fs = std::filesystem;
using qxtest::cmd;
using qxtest::read_file;
using qxtest::write_file;

class PlotFiles : public ::testing::Test {
 protected:
  int plot(char device, float a, float x0, float x1, float y0, float y1) {
    return qx::qxplot(s, in, out, 0, a, device, x0, x1, y0, y1);
  }
  void command(const qx::CommandLine& line) { qx::qxcmd(s, in, out, false, line); }
  // The transcript since the last call.
  std::string said() {
    std::string t = out.text();
    out.clear();
    return t;
  }

  qxtest::InScratchDir dir;
  qx::StringOutput out;
  qx::StringInput in{""};
  qx::Session s{out};
};

const std::string kHpglH = " \x1b" "E\n \x1b%0B\n TR1\n IN;\n SP1\n PW 0.15;\n SP 1;\n PU0,0;\n";
const std::string kHpglP =
    " \x1b.(\x1b.J\x1b.K\x1b.M:\x1b.@;3:\x1b.N:\n IN;PU\n PW1\n VS18;\n SP1\n PW 0.15;\n SP 1;\n PU0,0;\n";
const std::string kHpglEnd = "\n \x1b%0A\n \x1b" "E\n";

// Window 0-10 by 0-10 at aspect 2: 848 plotter units per x unit from 1590, 424 per y unit
// from 810; option H turns the page: X' = 8100 - Y, Y' = X.
TEST_F(PlotFiles, FirstHpglPlotIsH1WithItsRunNumberHeaderAndItemsFiveToALine) {
  ASSERT_EQ(plot('h', 2.0f, 0, 10, 0, 10), 0);
  EXPECT_EQ(said(),
            " Starting the generation of a HP-GL file: option H\n"
            " Opening HP-GL plot file: H1.hgl\n"
            " Making a plot with the x-axis vertical.\n");
  EXPECT_EQ(read_file("hpnum.hgl"), "    1\n");
  qx::hpgl_point(s, 0, 0, 3);
  qx::hpgl_point(s, 5, 5, 3);   // two moves: only the last one is written, before the draw
  for (const auto& [x, y] : {std::pair{10, 0}, {10, 10}, {0, 10}, {0, 0}, {5, 5}}) qx::hpgl_point(s, x, y, 2);
  qx::close_plot_files(s);
  EXPECT_EQ(read_file("H1.hgl"), kHpglH +
                                     " PU 5170, 5830 PD 7290,10070 PD 3050,10070 PD 3050, 1590 PD 7290, 1590\n"
                                     " PD 5170, 5830" +
                                     kHpglEnd);
  EXPECT_EQ(said(), " HP-GL plot file closed: H1.hgl\n Plot done with x-axis vertical\n");
}

TEST_F(PlotFiles, HpglUserNamesServeOneFileThenRunNumbersResume) {
  write_file("hpnum.hgl", "   41\n");
  command(cmd("DEFINE", 'H', 0, "figure"));
  ASSERT_EQ(plot('p', 2.0f, 0, 10, 0, 10), 0);
  EXPECT_EQ(said(),
            " Starting the generation of a HP-GL file: option P\n"
            " Opening HP-GL plot file: figure.hgl\n"
            " Making a plot with the x-axis horizontal.\n");
  qx::qxdraw(s, 'P', 0, 0, 3);
  qx::qxdraw(s, 'P', 10, 10, 2);
  EXPECT_EQ(read_file("hpnum.hgl"), "   41\n");   // a chosen name takes no run number

  plot('P', 2.0f, 0, 10, 0, 10);   // auto-clear: the next plot closes figure.hgl
  EXPECT_EQ(read_file("figure.hgl"), kHpglP + " PU 1590,  810 PD10070, 5050" + kHpglEnd);
  EXPECT_TRUE(fs::exists("P42.hgl"));
  EXPECT_EQ(read_file("hpnum.hgl"), "   42\n");

  command(cmd("DEFINE", 'P', 0, "figure.plt"));   // a name with "." is used as it is
  plot('P', 2.0f, 0, 10, 0, 10);
  command(cmd("CLOSE", ' ', 0));
  EXPECT_TRUE(fs::exists("figure.plt"));
  EXPECT_FALSE(fs::exists("figure.plt.hgl"));

  write_file("hpnum.hgl", "99999\n");   // the counter wraps to 1
  plot('P', 2.0f, 0, 10, 0, 10);
  EXPECT_TRUE(fs::exists("P1.hgl"));
  EXPECT_EQ(read_file("hpnum.hgl"), "    1\n");
  qx::close_plot_files(s);

  write_file("hpnum.hgl", "abc\n");   // unreadable: reported, and the next number is used
  said();
  plot('H', 2.0f, 0, 10, 0, 10);
  EXPECT_NE(said().find(" Error updating run number in hprun.hgl\n Opening HP-GL plot file: H2.hgl\n"),
            std::string::npos);
}

TEST_F(PlotFiles, HpglZeroRangePensAndAutoClearOff) {
  EXPECT_EQ(plot('H', 2.0f, 0, 10, 3, 3), 1);
  EXPECT_EQ(said(), " Starting the generation of a HP-GL file: option H\n Zero range on y-axis!\n");
  EXPECT_EQ(plot('H', 2.0f, 1, 1, 0, 3), 1);
  EXPECT_EQ(said(), " Starting the generation of a HP-GL file: option H\n Zero range on x-axis!\n");
  EXPECT_FALSE(fs::exists("hpnum.hgl"));   // nothing written

  command(cmd("CFLAG", 'D', 0));
  plot('P', 2.0f, 0, 10, 0, 10);
  qx::qxdraw(s, 'P', 0, 0, 3);
  qx::qxdraw(s, 'P', 10, 10, 2);
  said();
  command(cmd("LINE", ' ', 3));
  EXPECT_EQ(said(), " Setting pen width= 0.15 colour= 3\n Pen set to           3\n");
  command(cmd("LINE", ' ', 0));
  EXPECT_EQ(said(), " Current pen           3\n");
  command(cmd("LINE", ' ', -2));   // width |INT(-2.5) * 0.15|
  EXPECT_EQ(said(), " Line width set to   2.0000000000000000     \n Setting pen width= 0.30 colour= 3\n");
  plot('P', 2.0f, 0, 10, 0, 10);   // auto-clear off: the same file, no second header
  qx::qxdraw(s, 'P', 10, 0, 3);
  qx::qxdraw(s, 'P', 0, 10, 2);
  qx::close_plot_files(s);
  EXPECT_EQ(read_file("P1.hgl"), kHpglP + " PU 1590,  810 PD10070, 5050\n PW 0.15;\n SP 3;\n PW 0.30;\n SP 3;\n" +
                                     " PU10070,  810 PD 1590, 5050" + kHpglEnd);
}

// Window 0-10 by 0-10 at aspect 2 with margin 0: x0 = 312.5 and 993.75 mils per unit, y from
// 0 at 496.875 mils per unit; Y below 1 is held at 1.
const std::string kPrologue =
    "%!\n%%\n%% Nimbo Postscript V1.1 (4/7/87)\n%%\n"
    "%% Scaling definitions for 8.5 by 11 inch paper at .001 inch\n%% resolution\n"
    "0.072 0.072 scale\n8500 0 translate 90 rotate\n%% Macro definitions\n/il { moveto } def\n"
    "/vl { lineto currentpoint stroke moveto } def\n/pt { moveto currentpoint currentpoint 1 0 360 arc\n"
    "stroke moveto } def\n/SLW { setlinewidth } def\n%% Default graphics rendition settings\n"
    "1 setlinejoin 1 setlinecap 1 SLW\n%% Beginning of first page\nnewpath 0 0 moveto\n";
const std::string kPageEnd = " showpage \n\x04\n";

TEST_F(PlotFiles, PostScriptAfterRun99IsPlt01WithItemsFiveToALineWidthsAndColours) {
  write_file("num.ps", "99\n");
  ASSERT_EQ(plot('q', 2.0f, 0, 10, 0, 10), 0);
  EXPECT_EQ(said(), " Plot written to: plt01.ps\n");
  EXPECT_EQ(read_file("num.ps"), "           1\n");   // list-directed
  qx::qxdraw(s, 'Q', 4, 2, 3);
  qx::qxdraw(s, 'Q', 10, 10, 2);
  qx::qxdraw(s, 'Q', 0, 0, 2);
  qx::qxdraw(s, 'Q', 4, 2, 2);
  command(cmd("LINE", ' ', 2));
  qx::qxdraw(s, 'Q', 10, 0, 2);
  command(cmd("LINE", ' ', -3));
  said();
  qx::qxdraw(s, 'Q', 10, 10, 2);
  qx::close_plot_files(s);
  EXPECT_EQ(read_file("plt01.ps"), kPrologue +
                                       "  5 SLW  4288  994 il 10250 4969 vl   313    1 vl  4288  994 vl \n"
                                       "0.80 0.00 0.00 setrgbcolor\n"
                                       "10250    1 vl  15 SLW 10250 4969 vl \n" +
                                       kPageEnd);
  // Drawn extents 312.5-10250 by 0-4968.75 mils; centre offsets from 5500 and 4250.
  EXPECT_EQ(said(),
            " Plot output file plt01.ps closed.\n"
            " X range (cm):     0.8   26.0\n"
            " Y range (cm):     0.0   12.6\n"
            " Regular page X: 0-27.9  Y: 0-21.6 cm\n"
            " Center offsets:     0.6,    4.5\n");
}

TEST_F(PlotFiles, PostScriptColourChangeIsReported) {
  plot('Q', 2.0f, 0, 10, 0, 10);
  command(cmd("LINE", ' ', 2));
  said();
  qx::qxdraw(s, 'Q', 0, 0, 3);
  qx::qxdraw(s, 'Q', 1, 0, 2);
  EXPECT_EQ(said(), " Changing pen colour: new   2.0000     old   1.0000    \n");
}

TEST_F(PlotFiles, PostScriptPagesFollowTheAutoClearSwitch) {
  ASSERT_EQ(plot('Q', 2.0f, 0, 10, 0, 10), 0);   // no num.ps: the count starts at 1
  qx::qxdraw(s, 'Q', 0, 0, 3);
  qx::qxdraw(s, 'Q', 10, 10, 2);
  said();
  plot('Q', 2.0f, 0, 10, 0, 10);
  EXPECT_EQ(said(),
            " X range (cm):     0.8   26.0\n"
            " Y range (cm):     0.0   12.6\n"
            " Regular page X: 0-27.9  Y: 0-21.6\n"
            " Center offsets:     0.6    4.5\n"
            " New plot file plt02.ps opened.\n"
            " Plot written to: plt02.ps\n");
  EXPECT_EQ(read_file("plt01.ps"), kPrologue + "  5 SLW   313    1 il 10250 4969 vl \n" + kPageEnd);

  command(cmd("CFLAG", 'D', 0));
  plot('Q', 2.0f, 0, 10, 0, 10);   // the same page
  command(cmd("DEFINE", 'Q', 0, "figure.eps"));
  qx::close_plot_files(s);
  EXPECT_EQ(read_file("plt02.ps"), kPrologue + "  5 SLW \n" + kPageEnd);
  plot('Q', 2.0f, 0, 10, 0, 10);
  qx::close_plot_files(s);
  EXPECT_TRUE(fs::exists("figure.eps"));
  plot('Q', 2.0f, 0, 10, 0, 10);   // a chosen name serves one file
  qx::close_plot_files(s);
  EXPECT_TRUE(fs::exists("plt04.ps"));

  said();
  plot('Q', 2.0f, 0, 0, 0, 10);
  EXPECT_EQ(said(), "  X or Y range is zero!\n Plot written to: plt05.ps\n");
}

// The plot files are kept apart: closing one never touches the other.
TEST_F(PlotFiles, HpglAndPostScriptFilesAreOpenTogether) {
  plot('Q', 2.0f, 0, 10, 0, 10);
  plot('H', 2.0f, 0, 10, 0, 10);
  qx::qxdraw(s, 'H', 0, 0, 3);
  qx::qxdraw(s, 'H', 10, 10, 2);
  qx::qxdraw(s, 'Q', 0, 0, 3);
  qx::qxdraw(s, 'Q', 10, 10, 2);
  qx::close_plot_files(s);
  EXPECT_EQ(read_file("plt01.ps"), kPrologue + "  5 SLW   313    1 il 10250 4969 vl \n" + kPageEnd);
  EXPECT_NE(read_file("H1.hgl").find(" PU 7290, 1590 PD 3050,10070\n"), std::string::npos);
}

TEST_F(PlotFiles, RunCounterOfTheRayTraceProgram) {
  qx::RunNumber r = qx::qxrunup(out, 71, "lumiray.run");   // missing: created holding 1
  EXPECT_EQ(r.n, 1);
  EXPECT_EQ(r.text, "   1");
  write_file("lumiray.run", "     12344\n");
  r = qx::qxrunup(out, 71, "lumiray.run");
  EXPECT_EQ(r.n, 12345);
  EXPECT_EQ(r.text, "2345");   // the last four digits
  EXPECT_EQ(qx::qxrunup(out, 71, "lumiray.run").n, 12346);
  EXPECT_EQ(said(), "");
  EXPECT_EQ(qx::qxrunup(out, 71, "   ").n, 0);   // no file named: nothing counted
  EXPECT_EQ(qx::qxrunup(out, 0, "lumiray.run").n, 0);
  EXPECT_EQ(said(), " ?QXRUNUP - Illegal logical unit number          0\n");
  write_file("lumiray.run", "junk\n");   // unreadable: said so, and the count starts again
  EXPECT_EQ(qx::qxrunup(out, 71, "lumiray.run").n, 1);
  EXPECT_EQ(said(), " Error reading from lumiray.run\n");
  EXPECT_EQ(qx::qxrunup(out, 71, "no/such/dir/run").n, 0);
  EXPECT_EQ(said(), " %RUNUP - Unable to open no/such/dir/run\n");
}

}  // namespace
