// SVG plot files: names and run numbers shared with the PostScript files, the page, strokes,
// pens, titles, and dots on the same milli-inch written once. Every file is parsed and
// rendered by real clients at the end of each test.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <string>

#include "graphics_capture.h"
#include "qx/graphics.h"
#include "qx/plot.h"
#include "plot_clients.h"

namespace {

namespace fs = std::filesystem;
using qxtest::cmd;
using qxtest::read_file;
using qxtest::write_file;

class SvgFiles : public ::testing::Test {
 protected:
  void TearDown() override {
    qx::close_plot_files(s);
    qxtest::check_svg_files();
  }
  int plot(char device, float a = 2.0f, float x0 = 0, float x1 = 10, float y0 = 0, float y1 = 10) {
    return qx::qxplot(s, in, out, 0, a, device, x0, x1, y0, y1);
  }
  void line(float x0, float y0, float x1, float y1) {
    qx::qxdraw(s, 'V', x0, y0, 3);
    qx::qxdraw(s, 'V', x1, y1, 2);
  }
  void command(const qx::CommandLine& line) { qx::qxcmd(s, in, out, false, line); }
  std::string said() {
    std::string t = out.text();
    out.clear();
    return t;
  }
  // The path data of a file, all elements run together.
  static std::string path_data(const std::string& svg) {
    static const std::regex kD(" d=\"([^\"]*)\"");
    std::string all;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), kD); it != std::sregex_iterator(); ++it) {
      all += (*it)[1].str();
    }
    return all;
  }

  qxtest::InScratchDir dir;
  qx::StringOutput out;
  qx::StringInput in{""};
  qx::Session s{out};
};

// Window 0-10 by 0-10 at aspect 2 on the letter page (11000 x 8500 mils), margin 0: the
// frame runs from x 312.5 to 10250 and from y 0 to (10250 - 312.5) / 2 = 4968.75 mils up
// the page, which is 8500 - y down the picture.
TEST_F(SvgFiles, LinesLandOnThePageFrameOfThePostScriptFile) {
  ASSERT_EQ(plot('v'), 0);
  EXPECT_EQ(said(), " Plot written to: plt01.svg\n");
  line(0, 0, 10, 10);
  qx::qxdraw(s, 'V', 10, 0, 2);
  line(5, 5, 5, 5);   // a dot
  qx::qxend(s, 'V');
  qx::close_plot_files(s);
  EXPECT_EQ(said(), " Plot output file plt01.svg closed.\n");
  const std::string svg = read_file("plt01.svg");
  EXPECT_EQ(path_data(svg), "M313 8500L10250 3531L10250 8500M5281 6016h0");
  EXPECT_NE(svg.find("viewBox=\"0 0 11000 8500\""), std::string::npos);
  EXPECT_NE(svg.find("<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"white\"/>"), std::string::npos);
  EXPECT_NE(svg.find("<title>plt01.svg</title>"), std::string::npos);   // no title given: the file's name
  EXPECT_NE(svg.find("<path stroke=\"#000000\" stroke-width=\"5\" d="), std::string::npos);
}

TEST_F(SvgFiles, RunNumbersAreSharedWithThePostScriptFiles) {
  write_file("num.ps", "6\n");
  plot('Q');
  plot('V');
  EXPECT_EQ(said(), " Plot written to: plt07.ps\n Plot written to: plt08.svg\n");
  EXPECT_EQ(read_file("num.ps"), "           8\n");
  plot('V');   // auto-clear: the next plot, the next file
  EXPECT_EQ(said(), " Plot output file plt08.svg closed.\n Plot written to: plt09.svg\n");
  EXPECT_TRUE(fs::exists("plt08.svg"));
  write_file("num.ps", "99\n");
  plot('V');
  EXPECT_TRUE(said().find(" Plot written to: plt01.svg\n") != std::string::npos);
}

TEST_F(SvgFiles, DefineNamesOneFileAndAutoClearOffKeepsAddingToIt) {
  command(cmd("DEFINE", 'V', 0, "Beam Spot"));
  command(cmd("CFLAG", 'D', 0));
  said();
  qx::set_plot_title(s, "Map of <set> & co");
  plot('V');
  line(0, 0, 10, 0);
  plot('V');   // the same file
  line(0, 10, 10, 10);
  qx::close_plot_files(s);
  EXPECT_EQ(said(), " Plot written to: Beam Spot.svg\n Plot written to: Beam Spot.svg\n"
                    " Plot output file Beam Spot.svg closed.\n");
  const std::string svg = read_file("Beam Spot.svg");
  EXPECT_NE(svg.find("<title>Map of &lt;set&gt; &amp; co</title>"), std::string::npos);
  EXPECT_EQ(path_data(svg), "M313 8500L10250 8500M313 3531L10250 3531");
  command(cmd("CFLAG", 'E', 0));
  plot('V');   // the name served one file (and took a run number, as in PostScript); the title one plot
  qx::close_plot_files(s);
  EXPECT_TRUE(fs::exists("plt02.svg"));
  EXPECT_NE(read_file("plt02.svg").find("<title>plt02.svg</title>"), std::string::npos);
  command(cmd("DEFINE", 'V', 0, "fig.xml"));   // a name with "." is used as it is
  plot('V');
  qx::close_plot_files(s);
  EXPECT_TRUE(fs::exists("fig.xml"));
}

TEST_F(SvgFiles, PensWidthsAndDefineScaleReachTheStrokes) {
  plot('V');
  line(0, 0, 1, 0);
  command(cmd("LINE", ' ', 2));
  line(0, 1, 1, 1);
  command(cmd("LINE", ' ', -3));
  line(0, 2, 1, 2);
  qx::close_plot_files(s);
  const std::string svg = read_file("plt01.svg");
  const std::size_t black = svg.find("<path stroke=\"#000000\" stroke-width=\"5\" d=\"M313 8500L1306 8500\"/>");
  const std::size_t red = svg.find("<path stroke=\"#cc0000\" stroke-width=\"5\" d=\"M313 8003L1306 8003\"/>");
  const std::size_t wide = svg.find("<path stroke=\"#cc0000\" stroke-width=\"15\" d=\"M313 7506L1306 7506\"/>");
  EXPECT_TRUE(black < red && red < wide && wide != std::string::npos) << svg;

  // DEFINE/V: scale 2 and offsets 10 mm right, 5 mm up (393.7 and 196.85 mils).
  qx::StringInput answers("2\n10 5\n");
  qx::qxcmd(s, answers, out, false, cmd("DEFINE", 'V'));
  plot('V');
  line(1, 1, 1, 1);
  qx::close_plot_files(s);
  // x = (312.5 + 993.75) * 2 + 393.7, y = 8500 - (496.875 * 2 + 196.85)
  EXPECT_EQ(path_data(read_file("plt02.svg")), "M3006 7309h0");
}

// A map's dots: a dot falling on a milli-inch already drawn is not written again, nor is a
// segment already drawn, whichever end it starts from.
TEST_F(SvgFiles, DotsAndSegmentsAlreadyDrawnAreWrittenOnce) {
  plot('V', 1.0f, 0, 1, 0, 1);
  for (int i = 0; i < 3; ++i) line(0.5f, 0.5f, 0.5f, 0.5f);
  line(0.5f, 0.5f, 0.5f + 1e-5f, 0.5f);   // the same milli-inch
  line(0, 0, 1, 1);
  line(1, 1, 0, 0);
  line(0, 0, 1, 1);
  qx::close_plot_files(s);
  const std::string d = path_data(read_file("plt01.svg"));
  EXPECT_EQ(d.find("h0"), d.rfind("h0"));
  EXPECT_EQ(d.find('L'), d.rfind('L'));
}

TEST_F(SvgFiles, FullRayMapIsSmallAndQuick) {
  constexpr int kRays = 194483;
  const auto start = std::chrono::steady_clock::now();
  plot('V', qx::kSqrt2, -1, 1, -1, 1);
  // A round beam, dense in the middle: rays on a spiral, many on the same milli-inch.
  for (int i = 0; i < kRays; ++i) {
    const double r = std::pow(static_cast<double>(i) / kRays, 2.0), t = i * 2.39996;
    const float x = static_cast<float>(r * std::cos(t)), y = static_cast<float>(r * std::sin(t));
    line(x, y, x, y);
  }
  qx::close_plot_files(s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(fs::file_size("plt01.svg"), 20u * 1000 * 1000);
  // About 0.1 s (make bench: BM_SvgMap); the bound only catches a slow path on a shared machine.
  EXPECT_LT(seconds, 5.0);
  const std::string d = path_data(read_file("plt01.svg"));
  long dots = 0;
  for (std::size_t at = d.find("h0"); at != std::string::npos; at = d.find("h0", at + 1)) ++dots;
  EXPECT_GT(dots, 1000);
  EXPECT_LT(dots, kRays);   // the dense middle shares milli-inches
}

TEST_F(SvgFiles, UnwritableNameIsReportedAndNothingIsDrawn) {
  command(cmd("DEFINE", 'V', 0, "no/such/dir/x.svg"));
  said();
  EXPECT_EQ(plot('V'), 1);
  EXPECT_EQ(said(), " Unable to open SVG plot file no/such/dir/x.svg\n");
  line(0, 0, 1, 1);   // nothing open: nothing happens
  EXPECT_EQ(plot('V', 2.0f, 0, 0, 0, 10), 0);   // a zero range: the PostScript rule
  EXPECT_EQ(said(), "  X or Y range is zero!\n Plot written to: plt02.svg\n");
}

}  // namespace
