// Ray files: the record layout byte for byte, both directions against the Fortran runtime,
// and damaged files.
#include "io/rayfile.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "io/lqio.h"
#include "session.h"
#include "session/state.h"

namespace {

using lumiray::Ray;
using lumiray::RayReader;
using lumiray::RayWriter;

std::string hex(double v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return buf;
}

std::string ray_line(const Ray& r) {
  return hex(r.x) + " " + hex(r.th) + " " + hex(r.y) + " " + hex(r.ph) + " " + hex(r.d);
}

Ray sample_ray(int i) { return Ray{1e-6 * i, -2.5e-4 * i, 3.0 / (i + 1), -0.0, i * 0.125}; }

void write_rays(const std::filesystem::path& p, const std::string& caption, int n) {
  std::string why;
  auto w = RayWriter::open(p, RayWriter::Mode::replace, caption, why);
  ASSERT_TRUE(w) << why;
  for (int i = 1; i <= n; ++i) ASSERT_TRUE(w->write(sample_ray(i)));
  ASSERT_TRUE(w->finish());
}

TEST(RayFile, RecordLayoutByteForByte) {
  qxtest::TempDir dir;
  write_rays(dir / "one.bin", "Cap", 1);
  const std::string bytes = qxtest::read_file(dir / "one.bin");
  ASSERT_EQ(bytes.size(), 108u + 48u);
  // Caption record: length 100 little-endian, the text blank padded, length again.
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x64\0\0\0", 4));
  EXPECT_EQ(bytes.substr(4, 3), "Cap");
  EXPECT_EQ(bytes.substr(7, 97), std::string(97, ' '));
  EXPECT_EQ(bytes.substr(104, 4), std::string("\x64\0\0\0", 4));
  // Ray record: length 40, five little-endian doubles, length again.
  EXPECT_EQ(bytes.substr(108, 4), std::string("\x28\0\0\0", 4));
  EXPECT_EQ(bytes.substr(152, 4), std::string("\x28\0\0\0", 4));
  const double third = 1.5;   // sample_ray(1).y
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(third);
  for (int b = 0; b < 8; ++b)
    EXPECT_EQ(static_cast<unsigned char>(bytes[static_cast<std::size_t>(112 + 16 + b)]),
              static_cast<unsigned char>(bits >> (8 * b)));
}

TEST(RayFile, ReplacementTakesTheNameOnlyWhenFinished) {
  qxtest::TempDir dir;
  write_rays(dir / "r.bin", "old", 2);
  const std::string old = qxtest::read_file(dir / "r.bin");
  {
    std::string why;
    auto w = RayWriter::open(dir / "r.bin", RayWriter::Mode::replace, "new", why);
    ASSERT_TRUE(w);
    w->write(sample_ray(9));
    EXPECT_EQ(qxtest::read_file(dir / "r.bin"), old);
  }   // dropped unfinished: the old file stays, no temporary is left
  EXPECT_EQ(qxtest::read_file(dir / "r.bin"), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// Rays replace only a ray file or an empty one: anything else stays as it was.
TEST(RayFile, ReplacementRefusesFilesThatAreNotRayFiles) {
  qxtest::TempDir dir;
  std::string ray_record(48, '\0');
  ray_record[0] = ray_record[44] = 40;   // a whole ray record where the caption should be
  struct Case {
    const char* name;
    std::string bytes;
  } const refused[] = {
      {"sys.cof", qxtest::read_file(qxtest::test_data("doublet.cof"))},
      {"short.bin", std::string("\x64\0\0\0", 4) + "caption cut short"},
      {"ray.bin", ray_record},
      {"notes.txt", "x"},
  };
  for (const Case& k : refused) {
    qxtest::write_file(dir / k.name, k.bytes);
    std::string why;
    EXPECT_FALSE(RayWriter::open(dir / k.name, RayWriter::Mode::replace, "new", why)) << k.name;
    EXPECT_EQ(why, "not a ray file") << k.name;
    EXPECT_EQ(qxtest::read_file(dir / k.name), k.bytes) << k.name;
  }
  qxtest::write_file(dir / "empty.bin", "");
  write_rays(dir / "empty.bin", "was empty", 1);
  EXPECT_EQ(std::filesystem::file_size(dir / "empty.bin"), 108u + 48u);
}

TEST(RayFile, AppendKeepsTheRaysAndWritesTheCaptionOnlyIntoAnEmptyFile) {
  qxtest::TempDir dir;
  write_rays(dir / "a.bin", "first", 3);
  std::string why;
  {
    auto w = RayWriter::open(dir / "a.bin", RayWriter::Mode::append, "second", why);
    ASSERT_TRUE(w) << why;
    EXPECT_EQ(w->rays(), 3);
    w->write(sample_ray(4));
    EXPECT_EQ(w->rays(), 4);
    ASSERT_TRUE(w->finish());
  }
  auto r = RayReader::open(dir / "a.bin");
  std::string caption;
  ASSERT_TRUE(r->read_caption(caption));
  EXPECT_EQ(caption.substr(0, 6), "first ");
  const auto count = r->count_rays();
  EXPECT_EQ(count.rays, 4);
  EXPECT_FALSE(count.damaged);
  Ray got;
  ASSERT_TRUE(r->read_ray(4, got));
  EXPECT_EQ(ray_line(got), ray_line(sample_ray(4)));

  qxtest::write_file(dir / "empty.bin", "");
  auto e = RayWriter::open(dir / "empty.bin", RayWriter::Mode::append, "fresh", why);
  ASSERT_TRUE(e);
  ASSERT_TRUE(e->finish());
  EXPECT_EQ(std::filesystem::file_size(dir / "empty.bin"), 108u);

  // Appending after a damaged record would make the new rays unreachable.
  std::string text = qxtest::read_file(dir / "a.bin");
  qxtest::write_file(dir / "cut.bin", text.substr(0, text.size() - 5));
  EXPECT_FALSE(RayWriter::open(dir / "cut.bin", RayWriter::Mode::append, "x", why));
  EXPECT_EQ(why, "a damaged ray file");
  qxtest::write_file(dir / "text.bin", "hello\n");
  EXPECT_FALSE(RayWriter::open(dir / "text.bin", RayWriter::Mode::append, "x", why));
  EXPECT_EQ(why, "not a ray file");
  EXPECT_EQ(qxtest::read_file(dir / "text.bin"), "hello\n");
}

TEST(RayFile, ReadsByIndexForwardAndBackward) {
  qxtest::TempDir dir;
  write_rays(dir / "i.bin", "idx", 50);
  auto r = RayReader::open(dir / "i.bin");
  std::string caption;
  ASSERT_TRUE(r->read_caption(caption));
  Ray got;
  for (const long i : {1L, 2L, 3L, 40L, 41L, 7L, 50L, 1L}) {
    ASSERT_TRUE(r->read_ray(i, got)) << i;
    EXPECT_EQ(ray_line(got), ray_line(sample_ray(static_cast<int>(i)))) << i;
  }
  EXPECT_FALSE(r->read_ray(51, got));
  EXPECT_FALSE(r->read_ray(0, got));
  ASSERT_TRUE(r->read_ray(49, got));   // usable again after a failure
}

TEST(RayFile, CaptionOnlyTruncationAndDamagedMarkers) {
  qxtest::TempDir dir;
  write_rays(dir / "c.bin", "only the caption", 0);
  auto r = RayReader::open(dir / "c.bin");
  std::string caption;
  ASSERT_TRUE(r->read_caption(caption));
  EXPECT_EQ(r->count_rays().rays, 0);
  EXPECT_FALSE(r->count_rays().damaged);

  write_rays(dir / "full.bin", "full", 5);
  const std::string full = qxtest::read_file(dir / "full.bin");
  auto count_of = [&](const std::string& bytes, bool& damaged) {
    qxtest::write_file(dir / "d.bin", bytes);
    auto d = RayReader::open(dir / "d.bin");
    std::string cap;
    if (!d->read_caption(cap)) return -1L;
    const auto c = d->count_rays();
    damaged = c.damaged;
    return c.rays;
  };
  bool damaged = false;
  EXPECT_EQ(count_of(full.substr(0, full.size() - 1), damaged), 4);   // last record cut short
  EXPECT_TRUE(damaged);
  std::string bad = full;
  bad[108 + 2 * 48] = 0x29;   // third ray's leading marker
  EXPECT_EQ(count_of(bad, damaged), 2);
  EXPECT_TRUE(damaged);
  bad = full;
  bad[108 + 48 + 44] = 0x00;  // second ray's trailing marker
  EXPECT_EQ(count_of(bad, damaged), 1);
  bad = full;
  bad[0] = '\xff';            // a caption longer than the file: never read past it
  bad[3] = '\x7f';
  EXPECT_EQ(count_of(bad, damaged), -1);
  bad = full;
  bad[104] = 0x63;            // caption markers disagree
  EXPECT_EQ(count_of(bad, damaged), -1);
  EXPECT_EQ(count_of("", damaged), -1);
  EXPECT_EQ(count_of(std::string("\x04\0\0\0abc", 7), damaged), -1);
}

// gfortran reads what we write and we read what gfortran writes.
TEST(RayFileFortran, RuntimeReadsOurFile) {
  qxtest::TempDir dir;
  write_rays(dir / "ours.bin", "Rays for the runtime", 7);
  const auto run = qxtest::run_program(qxtest::fortran_exe("ray_reader"), "", dir.path(), {"ours.bin"});
  std::vector<std::string> expected = {"caption [" + std::string("Rays for the runtime") + std::string(80, ' ') + "]"};
  for (int i = 1; i <= 7; ++i) expected.push_back(ray_line(sample_ray(i)));
  expected.push_back("rays 7");
  EXPECT_EQ(qxtest::split_lines(run.out), expected) << run.err;
}

TEST(RayFileFortran, WeReadTheRuntimesFile) {
  qxtest::TempDir dir;
  const auto run = qxtest::run_program(qxtest::fortran_exe("ray_writer"), "", dir.path(), {"theirs.bin", "12"});
  const auto lines = qxtest::split_lines(run.out);
  ASSERT_EQ(lines.size(), 12u) << run.err;
  auto r = RayReader::open(dir / "theirs.bin");
  ASSERT_TRUE(r);
  std::string caption;
  ASSERT_TRUE(r->read_caption(caption));
  EXPECT_EQ(caption, "Rays from the Fortran client" + std::string(72, ' '));
  EXPECT_EQ(r->count_rays().rays, 12);
  Ray got;
  for (long i = 1; i <= 12; ++i) {
    ASSERT_TRUE(r->read_ray(i, got));
    EXPECT_EQ(ray_line(got), lines[static_cast<std::size_t>(i - 1)]) << i;
  }
}

// A file with more rays than a set holds: only the first 200000 are used, with a note, and
// reading past them is the end of the set.
TEST(Lqio, SetHoldsAtMost200000Rays) {
  qxtest::TempDir dir;
  write_rays(dir / "big.bin", "big", lumiray::kMaxRays + 1);
  qx::StringOutput out;
  lumiray::Lumiray s(out, std::make_unique<qx::StringInput>(""));
  ASSERT_EQ(lumiray::lqio_open(s.lqio(), 'R', (dir / "big.bin").string()), 0);
  EXPECT_EQ(s.ntot, lumiray::kMaxRays);
  EXPECT_NE(out.text().find(" 200001 rays in file.\n %LQIO - Only the first 200000 rays are used.\n"),
            std::string::npos)
      << out.text();
  Ray r;
  EXPECT_TRUE(lumiray::lqio_read(s.lqio(), 200000, r));
  EXPECT_EQ(ray_line(r), ray_line(sample_ray(200000)));
  // An unknown mode letter is taken as R; a failed open keeps the set that was open.
  EXPECT_NE(lumiray::lqio_open(s.lqio(), 'x', (dir / "missing.bin").string()), 0);
  EXPECT_NE(out.text().find(" Unknown option to LQIO, R assumed.\n"), std::string::npos);
  EXPECT_EQ(s.ntot, lumiray::kMaxRays);
  EXPECT_TRUE(lumiray::lqio_read(s.lqio(), 1, r));
}

}  // namespace
