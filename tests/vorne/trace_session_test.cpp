// TRACE and SPEC in the running program: "trace.dat" step by step against the independently
// cut system, the screen picture decoded back to its frame, element outlines and the two
// trajectories, the PostScript and HPGL files read by their real clients, SPEC's file, and
// SPEC's refusals.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "qx/tekdecode.h"
#include "trace_expect.h"
#include "vorne_session.h"

namespace {

using namespace optics_test;
using trace_test::cut_matrix;
using trace_test::numbers_after;
using trace_test::printed_as;

constexpr double kZ2 = 5.76;
constexpr int kSteps = 24;

vorne::LensSystem triplet() {
  Rig r;
  r.load("triplet_focused.vrn");
  return r.s;
}

// The ray (mm, mrad) at z through the system cut there.
Vec4 ray_at(const vorne::LensSystem& s, double z) {
  Vec4 v = vorne::apply(cut_matrix(s, z), trace_test::beam_of(s));
  for (int i = 1; i <= 4; ++i) v(i) *= 1000.0;
  return v;
}

class TraceSession : public ::testing::Test {
 protected:
  void SetUp() override {
    qxtest::write_file(dir / "sys.vrn", qxtest::read_file(qxtest::test_data("triplet_focused.vrn")));
    const std::string range = "0 " + std::to_string(kZ2) + "\n-6 6\n";
    out = vorne_session::run(dir, "DATA sys\nTRACE/S\nDEST screen.tek\nTRACE 24\n" + range + "TRACE/Q 24\n" + range +
                                      "TRACE/H 24\n" + range +
                                      "CLOSE\nSPEC scan\n0 0 12\nSPEC scan\nscan2\n7 0 3\nEXIT\n")
              .from_first_prompt();
  }
  qxtest::TempDir dir;
  std::string out;
};

TEST_F(TraceSession, TraceFileHoldsEveryStepOfTheCutSystem) {
  const std::vector<std::string> lines = qxtest::split_lines(qxtest::read_file(dir / "trace.dat"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kSteps + 2));
  EXPECT_EQ(lines[0], " iz:it z (m),  x (mm), theta (mr), y(mm), phi (mr)");
  const vorne::LensSystem sys = triplet();
  for (int k = 1; k <= kSteps + 1; ++k) {
    const std::string& rec = lines[static_cast<std::size_t>(k)];
    const std::vector<double> v = numbers_after(rec, "z:");
    ASSERT_EQ(v.size(), 5u) << rec;
    const double z = (k - 1) * kZ2 / kSteps;
    EXPECT_TRUE(printed_as(v[0], z, 1e-12)) << rec;
    const Vec4 want = ray_at(sys, z);
    for (int i = 1; i <= 4; ++i)
      EXPECT_TRUE(printed_as(v[static_cast<std::size_t>(i)], want(i), 1e-9)) << rec << " " << i << " want " << want(i);
  }
  // Row and kind: the object drift first, a drift past the end (row 10, the System End's) last.
  EXPECT_EQ(lines[1].substr(0, 6), "  3: 3");
  EXPECT_EQ(lines.back().substr(0, 6), " 10: 3");
  EXPECT_EQ(vorne_session::count(out, "  Trajectories to be saved in trace.dat\n"), 3u);
  EXPECT_EQ(vorne_session::count(out, "  Closing trajectory file: trace.dat\n"), 3u);
}

// The last page of a screen stream, read back in plot units: the frame (its two longest
// horizontal lines) spans z1..z2 across and e1..e2 up.
class Picture {
 public:
  Picture(const std::filesystem::path& stream, double z1, double z2, double e1, double e2) : z1_(z1), e1_(e1) {
    const qx::TekDrawing d = qx::decode_tek(qxtest::read_file(stream));
    if (d.pages.empty()) return;
    seg_ = d.pages.back().segments;
    int best = 0;
    for (const qx::TekSegment& s : seg_)
      if (s.y0 == s.y1) best = std::max(best, std::abs(s.x1 - s.x0));
    for (const qx::TekSegment& s : seg_) {
      if (s.y0 != s.y1 || std::abs(s.x1 - s.x0) != best) continue;
      xa_ = std::min(s.x0, s.x1);
      xb_ = std::max(s.x0, s.x1);
      ya_ = std::min(ya_, s.y0);
      yb_ = std::max(yb_, s.y0);
    }
    sx_ = (xb_ - xa_) / (z2 - z1);
    sy_ = (yb_ - ya_) / (e2 - e1);
  }
  bool framed() const { return yb_ - ya_ > 100; }
  // True when a line starts or ends within two screen units of (z, mm).
  bool drawn_at(double z, double mm) const {
    const double px = xa_ + (z - z1_) * sx_, py = ya_ + (mm - e1_) * sy_;
    for (const qx::TekSegment& s : seg_)
      for (const auto& [x, y] : {std::pair{s.x0, s.y0}, std::pair{s.x1, s.y1}})
        if (std::abs(x - px) <= 2 && std::abs(y - py) <= 2) return true;
    return false;
  }

 private:
  std::vector<qx::TekSegment> seg_;
  double z1_, e1_;
  int xa_ = 0, xb_ = 0, ya_ = 1024, yb_ = -1;
  double sx_ = 0.0, sy_ = 0.0;
};

TEST_F(TraceSession, ScreenPictureShowsFrameOutlinesAndBothTrajectories) {
  const Picture pic(dir / "screen.tek", 0.0, kZ2, -6.0, 6.0);
  ASSERT_TRUE(pic.framed());
  auto drawn_at = [&pic](double z, double mm) { return pic.drawn_at(z, mm); };
  const vorne::LensSystem sys = triplet();
  for (int k = 1; k <= kSteps + 1; ++k) {
    const double z = (k - 1) * kZ2 / kSteps;
    const Vec4 v = ray_at(sys, z);
    EXPECT_TRUE(drawn_at(z, v(1))) << "x at z = " << z;
    EXPECT_TRUE(drawn_at(z, v(3))) << "y at z = " << z;
  }
  // The bores (5 mm) of the three quadrupoles, above and below the axis.
  for (const double z : {5.0, 5.07, 5.1, 5.24, 5.27, 5.34})
    for (const double mm : {5.0, -5.0}) EXPECT_TRUE(drawn_at(z, mm)) << "pole corner at z = " << z << ", " << mm;
}

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}

TEST_F(TraceSession, PlotFilesAreReadByTheirClients) {
  EXPECT_NE(out.find("plt01.ps"), std::string::npos);
  if (!have("gs") || !have("hp2xx")) GTEST_SKIP() << "ghostscript or hp2xx missing";
  const std::string cd = "cd '" + dir.path().string() + "' && ";
  EXPECT_EQ(std::system((cd + "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r30 -sOutputFile=p.pbm plt01.ps "
                              "> gs.log 2>&1").c_str()),
            0);
  EXPECT_EQ(qxtest::read_file(dir / "gs.log"), "");
  EXPECT_GT(qxtest::read_file(dir / "p.pbm").size(), 1000u);
  EXPECT_EQ(std::system((cd + "hp2xx -q -m pbm -d 30 -f h.pbm H1.hgl > hp.log 2>&1").c_str()), 0);
  EXPECT_GT(qxtest::read_file(dir / "h.pbm").size(), 1000u);
}

TEST_F(TraceSession, ScanFileHoldsTheAstigmatismOfTheCutSystem) {
  // z final 0: the whole length, 5.49 m, in 12 steps.
  const std::vector<std::string> lines = qxtest::split_lines(qxtest::read_file(dir / "scan"));
  ASSERT_EQ(lines.size(), 13u);
  const vorne::LensSystem sys = triplet();
  for (int k = 0; k <= 12; ++k) {
    const std::vector<double> v = numbers_after("," + lines[static_cast<std::size_t>(k)], ",");
    ASSERT_EQ(v.size(), 2u) << lines[static_cast<std::size_t>(k)];
    const double z = k * 5.49 / 12;
    const Mat4 m = cut_matrix(sys, z);
    EXPECT_TRUE(printed_as(v[0], z, 1e-12)) << lines[static_cast<std::size_t>(k)];
    EXPECT_TRUE(printed_as(v[1], m(1, 2) / m(2, 2) - m(3, 4) / m(4, 4), 1e-9))
        << lines[static_cast<std::size_t>(k)] << " want " << m(1, 2) / m(2, 2) - m(3, 4) / m(4, 4);
  }
  // The second SPEC: "scan" exists and is asked again; a z initial beyond the final one is 0.
  EXPECT_NE(out.find(" Unable to open scan\n Filename for output > "), std::string::npos) << out;
  const std::vector<std::string> second = qxtest::split_lines(qxtest::read_file(dir / "scan2"));
  ASSERT_EQ(second.size(), 4u);
  EXPECT_EQ(second[0].substr(0, 14), "   0.00000E+00");
  EXPECT_EQ(second[3].substr(0, 14), "    5.4900    ");
}

TEST(TraceSessionInput, CurvesEndAtTheStepWhereTheRayLeavesTheBore) {
  // Drift 1 m, quadrupole of bore 2 mm without field, drift 0.5 m; the ray leaves the axis at
  // 3 mrad: 3 mm off at the lens entrance (step 11 of 20 over 0..2 m).
  const qxtest::TempDir dir;
  const std::string load = vorne_session::load_text(
      dir, "Bore\n0 1 1.00728 3 -1\n1 0 3e-3 0 3e-3 0.01\n3.00 1.0 0 0\n4.00 0.5 0 0.002\n3.00 0.5 0 0\n9 0 0 0\n");
  const std::string out =
      vorne_session::run(dir, load + "DEST screen.tek\nTRACE 20\n0 2\n-5 5\nCLOSE\n").from_first_prompt();
  EXPECT_NE(out.find("nstep          20  icollx           11  icolly           11"), std::string::npos) << out;
  const Picture pic(dir / "screen.tek", 0.0, 2.0, -5.0, 5.0);
  ASSERT_TRUE(pic.framed());
  EXPECT_TRUE(pic.drawn_at(0.9, 2.7));
  EXPECT_TRUE(pic.drawn_at(1.0, 3.0));   // the step of the hit is the last drawn
  EXPECT_FALSE(pic.drawn_at(1.1, 3.3));
  EXPECT_FALSE(pic.drawn_at(1.5, 4.5));
}

TEST(TraceSessionInput, SpecRefusesLongNamesAndLeavesNoFileWhenCancelled) {
  const qxtest::TempDir dir;
  const std::string load = vorne_session::load_text(dir, qxtest::read_file(qxtest::test_data("triplet_focused.vrn")));
  const std::string longname(31, 'a');
  const std::string out =
      vorne_session::run(dir, load + "SPEC " + longname + "\n" + longname + "\nSPEC kept\n-1 2 4\n0 1 0\n")
          .from_first_prompt();
  EXPECT_NE(out.find(" ?SPEC- A file name has at most 30 characters: " + longname + "\n Filename for output > "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" ?VORNE- Answer longer than  30 characters; nothing done.\n"), std::string::npos) << out;
  EXPECT_FALSE(std::filesystem::exists(dir / longname));
  EXPECT_NE(out.find(" ?SPEC- Positions must not be negative.\n Z initial"), std::string::npos) << out;
  EXPECT_NE(out.find(" ?SPEC- At least one step, please.\n Z initial"), std::string::npos) << out;
  // The input ended at the third question: the new file goes again.
  EXPECT_FALSE(std::filesystem::exists(dir / "kept"));
}

}  // namespace
