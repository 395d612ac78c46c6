// The coefficient file of every shipped system, written by the real program, against an
// expectation built here: the values from an independent evaluation (matrix products of the
// element matrices, the aberration reference, walks at the nominal and the raised energy)
// and the records from the documented layouts field by field. Then the file is read back the
// way the ray-trace program consumes it: by a gfortran client, by our list-directed reader,
// and by the ray-trace program itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "aberration_reference.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "session.h"
#include "vorne_session.h"

namespace {

namespace fs = std::filesystem;
namespace ref = aberration_ref;
using optics_test::Rig;
using vorne::Mat4;

std::vector<fs::path> shipped_systems() {
  std::vector<fs::path> files;
  for (const auto& dir : {qxtest::test_data(""), qxtest::example("")})
    for (const auto& entry : fs::directory_iterator(dir))
      if (entry.path().extension() == ".vrn") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// b := a x b, written out.
Mat4 times(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) {
      double sum = 0.0;
      for (int k = 1; k <= 4; ++k) sum += a(i, k) * b(k, j);
      r(i, j) = sum;
    }
  return r;
}

// The system matrix as the product of the element matrices of the last walk.
Mat4 product_of_elements(const Rig& r) {
  Mat4 s = Mat4::identity();
  for (int iz = 3; iz < r.s.izend; ++iz)
    if (ref::code_at(r, iz).supra == 0) s = times(r.v.walk.element_matrix[static_cast<std::size_t>(iz)], s);
  return s;
}

// Total length: every drift and every lens that is not superimposed on another.
double total_length(const Rig& r) {
  double z = 0.0;
  for (int iz = 3; iz < r.s.izend; ++iz) {
    const ref::Code c = ref::code_at(r, iz);
    if (c.supra == 0 && (c.type == 3 || c.polarity != 0)) z += r.s.p(iz, 2);
  }
  return z;
}

// What the file must hold: the records, and the 107 values in the order they are read.
struct Expected {
  std::vector<std::string> records;
  std::vector<double> values;
  double scale_of_group[11] = {};   // largest |value| of each read group (zeros compared against it)
};

std::string g(double x, int w, int d) { return qx::edit_g(x, w, d, 1); }

// The fields joined by commas after the leading blank.
std::string record(const std::vector<double>& v, int w, int d, const std::string& tail = "") {
  std::string s = " ";
  for (std::size_t k = 0; k < v.size(); ++k) s += (k == 0 ? "" : ",") + g(v[k], w, d);
  return s + tail;
}

Expected expected_file(const fs::path& vrn, char shape) {
  constexpr double kSpread = 0.5;   // percent
  Rig r;
  r.load_path(vrn);
  r.walk(3);
  Rig hot;
  hot.load_path(vrn);
  hot.s.p(1, 12) *= 1.0 + kSpread / 100.0;
  hot.walk(1);

  const double x0 = r.s.p(2, 2), th0 = r.s.p(2, 3), y0 = r.s.p(2, 4), ph0 = r.s.p(2, 5);
  const double lc = r.s.p(3, 2);
  const Mat4 s = product_of_elements(r);
  const ref::Poly map = ref::system_map(r);
  const ref::Set sums = ref::system_sums(r, r.v.idiag).total;
  const ref::Pair m = ref::mag(r, r.s.izend);
  const Mat4 sh = product_of_elements(hot);

  Expected e;
  auto add = [&](const std::vector<double>& v) { e.values.insert(e.values.end(), v.begin(), v.end()); };
  std::string title = r.s.title;
  title.resize(50, ' ');
  e.records.push_back(" " + title);
  const std::vector<double> object = {x0, 0.0, y0, 0.0};
  const std::vector<double> aperture = {x0 + lc * th0, 0.0, y0 + lc * ph0, 0.0};
  e.records.push_back(record(object, 12, 4));
  e.records.push_back(record(aperture, 12, 4));
  e.records.push_back(" " + qx::edit_f(lc, 12, 7));
  e.records.push_back(std::string(" ") + shape);
  e.records.push_back("    0.1000000");
  e.records.push_back(" " + qx::edit_f(total_length(r), 12, 7));
  add(object);
  add(aperture);
  add({lc, static_cast<double>(0.1f), total_length(r)});
  for (int i = 1; i <= 4; ++i) {
    const std::vector<double> row = {s(i, 1), s(i, 2), s(i, 3), s(i, 4)};
    e.records.push_back(record(row, 12, 4));
    add(row);
  }
  for (int i = 1; i <= 4; ++i) {
    std::vector<double> row;
    for (int a = 1; a <= 4; ++a)
      for (int b = a; b <= 4; ++b) row.push_back(map.quad[i][a][b]);
    e.records.push_back(record(row, 12, 4));
    add(row);
  }
  for (int plane = 1; plane <= 2; ++plane) {
    const double mp = plane == 1 ? m.x : m.y;
    std::vector<double> row;
    for (int j = 1; j <= 10; ++j) row.push_back(mp * sums.c[plane][j]);
    e.records.push_back(record(row, 11, 4, ",0,0"));
    add(row);
    add({0.0, 0.0});
  }
  e.records.push_back(" 0,0,0,0,0,0");
  e.records.push_back(" 0,0,0,0,0,0");
  add(std::vector<double>(12, 0.0));
  // The chromatic terms: the change of each ray's end between the nominal and the raised
  // energy, rays (0, 1/dE, 0, 1/dE) and (1/dE, 0, 1/dE, 0).
  auto change = [&](int i, int j, int k) { return (sh(i, j) + sh(i, k)) / kSpread - (s(i, j) + s(i, k)) / kSpread; };
  const std::vector<double> angle = {change(1, 2, 4), change(3, 2, 4)};
  const std::vector<double> position = {change(1, 1, 3), change(3, 1, 3)};
  e.records.push_back(record(angle, 12, 5));
  e.records.push_back(record(position, 12, 5));
  add(angle);
  add(position);
  e.records.push_back(" Coefficients from VORNE");

  const std::size_t group_size[10] = {4, 4, 1, 1, 1, 16, 40, 24, 12, 4};
  std::size_t at = 0;
  for (int grp = 0; grp < 10; ++grp) {
    for (std::size_t k = 0; k < group_size[grp]; ++k)
      e.scale_of_group[grp] = std::max(e.scale_of_group[grp], std::fabs(e.values[at + k]));
    at += group_size[grp];
  }
  return e;
}

// Runs the design program on the system: DATA, COFOUT with the shape answer. The file name.
std::string write_with_program(const qxtest::TempDir& dir, const fs::path& vrn, const std::string& shape_answer,
                               std::string* transcript = nullptr) {
  fs::copy_file(vrn, dir / "sys.vrn", fs::copy_options::overwrite_existing);
  fs::remove(dir / "sys.cof");
  const auto r = vorne_session::run(dir, "DATA sys\nCOFOUT sys\n" + shape_answer + "\nEXIT\n");
  if (transcript != nullptr) *transcript = r.out;
  return (dir / "sys.cof").string();
}

// A value that is 0 in one evaluation can come out as a rounding residue in the other; such
// fields are compared as numbers against the size of their group, everything else as text.
bool same_field(const std::string& got, double want, int w, int d, double scale) {
  if (got == g(want, w, d)) return true;
  const std::optional<double> value = qx::read_fixed_real(got);
  return value && got.size() == static_cast<std::size_t>(w) && std::fabs(*value) <= 1e-9 * scale &&
         std::fabs(want) <= 1e-9 * scale;
}

TEST(CofoutFile, EveryShippedSystemMatchesTheIndependentExpectationRecordByRecord) {
  const auto systems = shipped_systems();
  ASSERT_GE(systems.size(), 12u);
  qxtest::TempDir dir;
  for (const auto& vrn : systems) {
    const std::string what = vrn.filename().string();
    const Expected e = expected_file(vrn, 'S');
    const std::string file = write_with_program(dir, vrn, "S");
    const auto got = qxtest::split_lines(qxtest::read_file(file));
    ASSERT_EQ(got.size(), 22u) << what << "\n" << qxtest::read_file(file);
    // Records without numbers, and the geometry, exactly.
    for (const int k : {0, 1, 2, 3, 4, 5, 6, 17, 18, 21})
      EXPECT_EQ(got[k], e.records[k]) << what << " record " << k + 1;
    // The matrices and coefficients field by field (group scale for residues of zero).
    struct Span {
      int first_record, records, fields, w, d, group;
    };
    const Span spans[] = {{7, 4, 4, 12, 4, 5}, {11, 4, 10, 12, 4, 6}, {15, 2, 10, 11, 4, 7}, {19, 2, 2, 12, 5, 9}};
    std::size_t value_at = 11;
    for (const Span& sp : spans) {
      for (int rec = sp.first_record; rec < sp.first_record + sp.records; ++rec) {
        const std::string& line = got[static_cast<std::size_t>(rec)];
        const std::string& want_line = e.records[static_cast<std::size_t>(rec)];
        ASSERT_EQ(line.size(), want_line.size()) << what << " record " << rec + 1 << "\n" << line << "\n" << want_line;
        for (int f = 0; f < sp.fields; ++f) {
          const auto width = static_cast<std::size_t>(sp.w);
          const std::string field = line.substr(1 + static_cast<std::size_t>(f) * (width + 1), width);
          EXPECT_TRUE(same_field(field, e.values[value_at], sp.w, sp.d, e.scale_of_group[sp.group]))
              << what << " record " << rec + 1 << " field " << f + 1 << ": [" << field << "] want "
              << g(e.values[value_at], sp.w, sp.d);
          ++value_at;
        }
        if (sp.w == 11) {
          EXPECT_EQ(line.substr(line.size() - 4), ",0,0") << what;
          value_at += 2;
        }
      }
      if (sp.w == 11) value_at += 12;   // the fifth-order zeros
    }
    EXPECT_EQ(value_at, 107u);
  }
}

std::string hex(double v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
  return buf;
}

// The groups as the ray-trace program reads them, with the library's list-directed reader.
std::vector<double> read_like_the_reader(const std::string& file) {
  auto in = qx::FileInput::open(file, 3);
  std::vector<double> values;
  std::string rec;
  EXPECT_EQ(qx::read_record(*in, rec, 50), qx::ReadStatus::ok);
  auto group = [&](std::size_t n) {
    std::vector<double> v(n);
    EXPECT_EQ(qx::read_reals(*in, v), qx::ReadStatus::ok);
    values.insert(values.end(), v.begin(), v.end());
  };
  group(4);
  group(4);
  group(1);
  EXPECT_EQ(qx::read_record(*in, rec, 80), qx::ReadStatus::ok);
  for (const std::size_t n : {1, 1, 16, 40, 24, 12, 4}) group(n);
  return values;
}

TEST(CofoutFile, FortranClientAndOurReaderGetTheSameValuesFromEveryFile) {
  qxtest::TempDir dir;
  for (const auto& vrn : shipped_systems()) {
    const std::string what = vrn.filename().string();
    const Expected e = expected_file(vrn, 'C');
    const std::string file = write_with_program(dir, vrn, "c");
    const auto run = qxtest::run_program(qxtest::fortran_exe("cof_reader"), "", dir.path(), {file});
    const auto lines = qxtest::split_lines(run.out);
    ASSERT_EQ(lines.size(), 110u) << what << run.out << run.err;
    EXPECT_EQ(lines.back(), "ok") << what;
    Rig r;
    r.load_path(vrn);
    std::string title = r.s.title;
    title.resize(49, ' ');   // the blank of the record comes first, so A50 keeps 49 of the title
    EXPECT_EQ(lines[0], "title [ " + title + "]") << what;
    EXPECT_EQ(lines[1], "shape [C]") << what;

    const std::vector<double> ours = read_like_the_reader(file);
    ASSERT_EQ(ours.size(), 107u);
    const std::size_t group_size[10] = {4, 4, 1, 1, 1, 16, 40, 24, 12, 4};
    std::size_t k = 0;
    for (int grp = 0; grp < 10; ++grp)
      for (std::size_t n = 0; n < group_size[grp]; ++n, ++k) {
        EXPECT_EQ(lines[2 + k], hex(ours[k])) << what << " value " << k + 1;
        // Four or five significant digits of the independent value (or a residue of zero).
        const double want = e.values[k];
        EXPECT_NEAR(ours[k], want, 5.1e-4 * std::fabs(want) + 1e-9 * e.scale_of_group[grp] + 1e-300)
            << what << " value " << k + 1;
      }
  }
}

TEST(CofoutFile, TheRayTraceProgramReadsEveryFileAndFindsItsFocalPositions) {
  qxtest::TempDir dir;
  for (const auto& vrn : shipped_systems()) {
    const std::string what = vrn.filename().string();
    const std::string file = write_with_program(dir, vrn, "S");
    const std::vector<double> v = read_like_the_reader(file);
    // FAKE/N reads the file with the coefficient reader; a small square grid, no spread.
    const auto run = qxtest::run_program(qxtest::lumiray_exe(),
                                         "FAKE/N sys\n2\n16\nS\n10 10\n0.4 0.4\n0 0\n0\n0 0\nQ\nNTOT\nEXIT\n",
                                         dir.path());
    EXPECT_NE(run.out.find(" Getting coefficients from sys.cof\n On unit number  3\n Opened file successfully.\n"
                           " Read title.\n Read image/aperture sizes\n read collimator.\n read first order matrix\n"
                           " Read fifth order matrix.\n"),
              std::string::npos)
        << what << run.out;
    EXPECT_EQ(run.out.find("Error"), std::string::npos) << what << run.out;
    // The focal positions come from the first-order matrix just read (values 12 to 27).
    const double s11 = v[11], s21 = v[15], s33 = v[21], s43 = v[25];
    const double f = std::fabs(s21) > 1e-10 ? -s11 / s21 : 1e10;
    const double gy = std::fabs(s43) > 1e-10 ? -s33 / s43 : 1e10;
    EXPECT_NE(run.out.find(" X focal position = " + g(f, 12, 5) + " m\n Y focal position = " + g(gy, 12, 5) + " m\n"),
              std::string::npos)
        << what << run.out;
    EXPECT_NE(run.out.find(" rays in file.\n"), std::string::npos) << what;
  }
}

}  // namespace
