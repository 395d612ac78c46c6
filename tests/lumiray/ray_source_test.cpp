// The current data set as the analyses read it: every ray by index, in order, and a file that
// turns out short ends the set with a message instead of handing out stale rays.
#include "analysis/ray_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "io/lqio.h"
#include "session.h"

namespace {

using lumiray::Ray;

void write_rays(const std::filesystem::path& p, int n) {
  std::string why;
  auto w = lumiray::RayWriter::open(p, lumiray::RayWriter::Mode::replace, "set", why);
  ASSERT_TRUE(w) << why;
  for (int i = 1; i <= n; ++i) ASSERT_TRUE(w->write(Ray{1.0 * i, 0.0, -1.0 * i, 0.0, 0.5 * i}));
  ASSERT_TRUE(w->finish());
}

TEST(DataSet, StreamsEveryRayInOrderAndStopsWhereTheFileWasCut) {
  qxtest::TempDir dir;
  write_rays(dir / "set.bin", 5);
  qx::StringOutput out;
  lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(""));
  lumiray::DataSet set(s);
  EXPECT_FALSE(set.ready("?LQSORT"));
  EXPECT_NE(out.text().find(" ?LQSORT - No ray file is open; use DATA or FAKE first.\n"), std::string::npos);
  EXPECT_EQ(set.count(), 0);

  ASSERT_EQ(lumiray::lqio_open(s.lqio(), 'R', (dir / "set.bin").string()), 0);
  ASSERT_TRUE(set.ready("?LQSORT"));
  ASSERT_EQ(set.count(), 5);
  double sum = 0.0;
  long seen = 0;
  EXPECT_TRUE(lumiray::each_ray(set, 2, [&](long i, const Ray& r) {
    EXPECT_EQ(r.x, 1.0 * i);
    sum += r.y;
    ++seen;
    return true;
  }));
  EXPECT_EQ(seen, 4);
  EXPECT_EQ(sum, -14.0);

  // Cut the file in the middle of ray 4 while it is the current set.
  std::filesystem::resize_file(dir / "set.bin", 108 + 3 * 48 + 20);
  out.clear();
  seen = 0;
  EXPECT_FALSE(lumiray::each_ray(set, 1, [&](long, const Ray&) { return ++seen, true; }));
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(set.count(), 3);
  EXPECT_NE(out.text().find(" End at      3 rays.\n"), std::string::npos) << out.text();
}

}  // namespace
