// The pieces the analysis commands share, tested without the program: image planes from the
// paraxial rays, the sort grid's cells, profile channels, wide counts, names and run numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "analysis/profile.h"
#include "analysis/sort.h"
#include "qx/command.h"
#include "qx/session.h"
#include "session.h"

namespace {

using lumiray::Ray;

// Rays held in memory, as a test's stand-in for a ray file.
class Rays : public lumiray::RaySource {
 public:
  explicit Rays(std::vector<Ray> rays) : rays_(std::move(rays)) {}
  long count() const override { return static_cast<long>(rays_.size()); }
  bool get(long index, Ray& r) override {
    if (index < 1 || index > count()) return false;
    r = rays_[static_cast<std::size_t>(index - 1)];
    return true;
  }

 private:
  std::vector<Ray> rays_;
};

// Runs the test in a scratch directory (the run-number file is in the current directory).
class ScratchCwd {
 public:
  explicit ScratchCwd(const std::filesystem::path& p) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(p);
  }
  ~ScratchCwd() { std::filesystem::current_path(old_); }
  ScratchCwd(const ScratchCwd&) = delete;
  ScratchCwd& operator=(const ScratchCwd&) = delete;

 private:
  std::filesystem::path old_;
};

TEST(ImagePlanes, FromTheParaxialRaysOrZeroWithAMessage) {
  struct Case {
    std::vector<Ray> rays;
    lumiray::ParaxialTest test;
    double zx, zy;
    bool bad;
  };
  const Ray axial{1e-6, 0.0, -2e-6, 0.0, 0.0};
  // Ray 2 crosses ray 1 3 mm behind the end in x and 0.5 mm before it in y.
  const Ray slope{1e-6 - 3e-6, 1e-3, -2e-6 + 0.5e-6, 1e-3, 0.0};
  const Ray flat_y{-2e-6, 1e-3, 5e-6, 1e-28, 0.0};
  const Case cases[] = {
      {{axial, slope, axial}, lumiray::ParaxialTest::each_slope, 3e-3, -0.5e-3, false},
      {{axial, slope}, lumiray::ParaxialTest::slope_product, 3e-3, -0.5e-3, false},
      {{axial, flat_y}, lumiray::ParaxialTest::each_slope, 0.0, 0.0, true},
      {{axial, flat_y}, lumiray::ParaxialTest::slope_product, 0.0, 0.0, true},
      {{axial}, lumiray::ParaxialTest::each_slope, 0.0, 0.0, true},   // a one-ray set
      {{}, lumiray::ParaxialTest::slope_product, 0.0, 0.0, true},
  };
  for (const Case& c : cases) {
    Rays rays(c.rays);
    qx::StringOutput out;
    const lumiray::ImagePlanes p = lumiray::image_planes(rays, c.test, out);
    EXPECT_NEAR(p.zx, c.zx, 1e-12) << c.rays.size();
    EXPECT_NEAR(p.zy, c.zy, 1e-12) << c.rays.size();
    EXPECT_EQ(out.text(), c.bad ? " Bad paraxial rays.\n" : "");
  }
}

TEST(Extents, StraightLinesToThePlane) {
  Rays rays({{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {1e-6, 1e-3, 2e-6, -1e-3, 0}, {-3e-6, 0.0, 1e-6, 2e-3, 0}});
  const auto e = lumiray::extents_at(rays, 2e-3, 3);
  ASSERT_TRUE(e);
  EXPECT_DOUBLE_EQ(e->xmin, -3e-6);
  EXPECT_DOUBLE_EQ(e->xmax, 1e-6 + 2e-6);
  EXPECT_DOUBLE_EQ(e->ymin, 0.0);
  EXPECT_DOUBLE_EQ(e->ymax, 1e-6 + 4e-6);
  EXPECT_DOUBLE_EQ(e->largest(), 5e-6);
  // A damaged ray (not finite) takes no part.
  Rays damaged({{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {std::nan(""), 0, 1e-6, 0, 0}, {2e-6, 0, 1e-6, 0, 0}});
  const auto d = lumiray::extents_at(damaged, 0.0, 3);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->xmin, 2e-6);
  EXPECT_EQ(d->xmax, 2e-6);
}

// Grid points at 0, 1, ..., 24: a value belongs to the nearest one (halves away from zero),
// so the edge cells reach only half a spacing outwards.
TEST(SortGrid, NearestGridPointAndHalfWidthEdgeCells) {
  lumiray::SortRegion r;
  r.lo = 0.0;
  r.range = 24.0;
  r.n = 25;
  const std::pair<double, int> rows[] = {{-0.6, 0}, {-0.5, 0}, {-0.49, 1}, {0.49, 1}, {0.5, 2},  {1.5, 3},
                                         {12.2, 13}, {23.5, 25}, {24.49, 25}, {24.5, 0}, {1e300, 0}, {-1e300, 0}};
  for (const auto& [v, cell] : rows) EXPECT_EQ(r.cell(v), cell) << v;
  EXPECT_DOUBLE_EQ(r.point(1), 0.0);
  EXPECT_DOUBLE_EQ(r.point(25), 24.0);
}

TEST(Profile, ChannelOfTheMaximumIsOnePastTheLast) {
  EXPECT_EQ(lumiray::profile_channel(0.0, 0.0, 1.0, 20), 1);
  EXPECT_EQ(lumiray::profile_channel(1.0, 0.0, 1.0, 20), 21);
  EXPECT_EQ(lumiray::profile_channel(0.024, 0.0, 1.0, 20), 1);
  EXPECT_EQ(lumiray::profile_channel(0.026, 0.0, 1.0, 20), 2);
  EXPECT_EQ(lumiray::profile_channel(-5.0, 0.0, 1.0, 20), -98);
}

TEST(PlotData, CountsTooWideForTheirFieldAreWrittenWhole) {
  const std::tuple<std::int64_t, int, std::string> rows[] = {
      {5, 5, "    5"}, {32767, 5, "32767"}, {32768, 5, "32768"}, {123456, 5, "123456"},
      {-1234, 4, "-1234"}, {14643, 4, "14643"}, {0, 2, " 0"}, {1000000000, 9, "1000000000"},
  };
  for (const auto& [n, w, text] : rows) EXPECT_EQ(lumiray::count_field(n, w), text) << n;
}

TEST(PlotData, BaseNamesAndSecondaryNames) {
  EXPECT_EQ(lumiray::base_name("sys.bin"), "sys");
  EXPECT_EQ(lumiray::base_name("sys   "), "sys");
  EXPECT_EQ(lumiray::base_name("run.3/sys.bin"), "run.3/sys");   // a directory's "." does not count
  EXPECT_EQ(lumiray::base_name("a.b.c"), "a");
  EXPECT_EQ(lumiray::secondary_name("abcdefghijklmnopqrstuvwxyz0123", ".lpt"), "abcdefghijklmnopqrstuvwxyz.lpt");
  EXPECT_EQ(lumiray::secondary_name("short", ".FIT"), "short.FIT");
}

TEST(PlotData, RunNumbersCountUpAndStartAgainAfterADamagedFile) {
  const qxtest::TempDir dir;
  const ScratchCwd cwd(dir.path());
  qx::StringOutput out;
  EXPECT_EQ(lumiray::take_run_number(out), 1);
  EXPECT_EQ(lumiray::take_run_number(out), 2);
  EXPECT_EQ(out.text(), " Run number    1 ......\n Run number    2 ......\n");
  EXPECT_EQ(qxtest::read_file("lumiray.run").find_first_not_of(' '), qxtest::read_file("lumiray.run").find('2'));
  qxtest::write_file("lumiray.run", "not a number\n");
  EXPECT_EQ(lumiray::take_run_number(out), 1);
}

TEST(PlaneArgument, RegisterNamesOrTheNumber) {
  lumiray::Registers reg;
  reg.a[2] = 7.5;
  qx::StringOutput out;
  qx::Session qs{out};
  const std::pair<const char*, double> rows[] = {
      {"MAXIMA/3 A2", 7.5}, {"MAXIMA/3 a2", 7.5}, {"MAP/I 12.5", 12.5}, {"MAP/I", 0.0}, {"MAXIMA A25", 0.0}};
  for (const auto& [text, value] : rows)
    EXPECT_DOUBLE_EQ(lumiray::plane_argument(reg, qx::prepare_line(text, qs)), value) << text;
}

}  // namespace
