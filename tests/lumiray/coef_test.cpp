// The coefficient-file reader: the doublet fixture in the design program's layout, hand
// edited layouts, damaged files, the name rules and the missing-file dialogue.
#include "io/coef.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "session.h"

namespace {

using lumiray::CoefficientSet;

CoefficientSet read_text(const std::string& text, bool& ok) {
  qx::StringInput in(text);
  CoefficientSet set;
  ok = lumiray::read_coefficients(in, set);
  return set;
}

// The 107 values of a set in file order.
std::vector<double> values_of(const CoefficientSet& c) {
  std::vector<double> v(c.object.begin(), c.object.end());
  v.insert(v.end(), c.aperture.begin(), c.aperture.end());
  v.push_back(c.collimator_distance);
  v.push_back(c.shadow_distance);
  v.push_back(c.total_length);
  v.insert(v.end(), c.first_order.begin(), c.first_order.end());
  for (int i = 1; i <= 4; ++i)
    for (int col = 5; col <= 14; ++col) v.push_back(c.map(i, col));
  v.insert(v.end(), c.third_order.begin(), c.third_order.end());
  v.insert(v.end(), c.fifth_order.begin(), c.fifth_order.end());
  v.insert(v.end(), c.chromatic_terms.begin(), c.chromatic_terms.end());
  return v;
}

std::vector<std::string> hex_of(const std::vector<double>& v) {
  std::vector<std::string> out;
  for (const double x : v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
    out.emplace_back(buf);
  }
  return out;
}

// A file of the whole layout with the groups written as given.
std::string cof_text(const std::string& title, const std::string& shape, const std::string& first16) {
  std::string t = title + "\n1,2,3,4\n5,6,7,8\n2.0\n" + shape + "\n0.1\n6.5\n" + first16 + "\n";
  for (int i = 0; i < 4; ++i) t += "0,0,0,0,0,0,0,0,0,0\n";
  t += "1,2,3,4,5,6,7,8,9,10,0,0\n11,12,13,14,15,16,17,18,19,20,0,0\n0,0,0,0,0,0\n0,0,0,0,0,0\n";
  t += "-1E-4,-2E-4\n3E-5,4E-5\n";
  return t;
}

TEST(CoefficientFile, DoubletFixtureInTheDesignProgramsLayout) {
  qxtest::TempDir dir;
  const auto file = qx::FileInput::open(qxtest::test_data("doublet.cof"), 3);
  ASSERT_TRUE(file);
  CoefficientSet c;
  ASSERT_TRUE(lumiray::read_coefficients(*file, c));
  // The carriage-control blank is part of the 50 characters read.
  EXPECT_EQ(c.title.substr(0, 20), " Example doublet, ha");
  EXPECT_EQ(c.title.size(), 100u);
  EXPECT_EQ(c.title.substr(50), std::string(50, ' '));
  EXPECT_DOUBLE_EQ(c.object[0], 5.0e-6);
  EXPECT_DOUBLE_EQ(c.aperture[2], 2.05e-4);
  EXPECT_DOUBLE_EQ(c.collimator_distance, 2.0);
  EXPECT_EQ(c.aperture_shape, 'C');
  EXPECT_DOUBLE_EQ(c.shadow_distance, 0.1);
  EXPECT_DOUBLE_EQ(c.total_length, 6.5);
  EXPECT_DOUBLE_EQ(c.first(2, 2), -25.0);
  EXPECT_DOUBLE_EQ(c.first(4, 3), -3.0);
  EXPECT_DOUBLE_EQ(c.map(2, 2), -25.0);   // columns 1-4 copy the matrix
  EXPECT_DOUBLE_EQ(c.map(1, 6), -2.25e-2);   // x output, x theta
  EXPECT_DOUBLE_EQ(c.map(3, 8), 4.5e-2);     // y output, x phi
  EXPECT_DOUBLE_EQ(c.third(1, 1), -12.5);
  EXPECT_DOUBLE_EQ(c.third(2, 4), -5.0e-3);
  EXPECT_EQ(c.third(1, 11), 0.0);            // the ",0,0" tail
  EXPECT_EQ(c.third(2, 12), 0.0);
  EXPECT_DOUBLE_EQ(c.chromatic(1), -4.0e-4);
  EXPECT_DOUBLE_EQ(c.chromatic(4), -3.0e-5);
  EXPECT_FALSE(c.loaded);   // only COFIN marks a set loaded
}

TEST(CoefficientFile, GroupsMayBeWrittenOnOneLineOrSpreadOverLines) {
  bool ok1 = false, ok2 = false, ok3 = false;
  const auto one = read_text(cof_text("t", "C", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"), ok1);
  const auto each = read_text(cof_text("t", "C", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16"), ok2);
  const auto spread = read_text(cof_text("t", "C", "1,2,3,\n4 5\n6 , 7,8,9,10,11\n\n12,13,14,15\n16"), ok3);
  ASSERT_TRUE(ok1 && ok2 && ok3);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) {
      EXPECT_EQ(one.first(i, j), (i - 1) * 4 + j);
      EXPECT_EQ(each.first(i, j), one.first(i, j));
      EXPECT_EQ(spread.first(i, j), one.first(i, j));
    }
  // The groups after the matrix are found whatever its layout.
  EXPECT_EQ(each.third(2, 10), 20.0);
  EXPECT_EQ(spread.chromatic(4), 4e-5);
  // Each group starts on a new record: what is left of a line is not read.
  bool ok = false;
  const auto tail = read_text(cof_text("t", "C", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 99 98"), ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(tail.map(1, 5), 0.0);
}

TEST(CoefficientFile, ShapeLetterTitleCutAndTrailer) {
  bool ok = false;
  EXPECT_EQ(read_text(cof_text("t", "   S", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"), ok).aperture_shape, 'S');
  EXPECT_EQ(read_text(cof_text("t", "c", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"), ok).aperture_shape, 'c');
  EXPECT_EQ(read_text(cof_text("t", "", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"), ok).aperture_shape, ' ');
  const std::string long_title(50, 'a');
  const auto cut = read_text(cof_text(long_title + "BEYOND", "C", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1"), ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(cut.title, long_title + std::string(50, ' '));
  // Anything after the chromatic group (the trailer) is never read.
  const auto trailer =
      read_text(cof_text("t", "C", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1") + " Coefficients from VORNE\n", ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(trailer.chromatic(3), 3e-5);
}

TEST(CoefficientFile, DamagedFilesAreReadErrors) {
  const std::string good = cof_text("t", "C", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1");
  bool ok = true;
  read_text(good.substr(0, good.size() / 2), ok);   // truncated
  EXPECT_FALSE(ok);
  std::string bad = good;
  bad.replace(bad.find("6.5"), 3, "six");   // a non-numeric token
  read_text(bad, ok);
  EXPECT_FALSE(ok);
  read_text("", ok);
  EXPECT_FALSE(ok);
  std::string garbage;
  for (int i = 0; i < (1 << 20); ++i) garbage.push_back(static_cast<char>((static_cast<long>(i) * 7919 + 13) % 251));
  read_text(garbage, ok);
  EXPECT_FALSE(ok);
  // Values too large for a double are no values.
  bad = good;
  bad.replace(bad.find("6.5"), 3, "1E999");
  read_text(bad, ok);
  EXPECT_FALSE(ok);
}

TEST(CoefficientFile, NameRules) {
  EXPECT_EQ(lumiray::cof_file_name("sys"), "sys.cof");
  EXPECT_EQ(lumiray::cof_file_name("sys.dat"), "sys.dat");
  EXPECT_EQ(lumiray::cof_file_name("sys   "), "sys.cof");
  EXPECT_EQ(lumiray::cof_file_name("my sys"), "my.cof");   // appended at the first blank
  EXPECT_EQ(lumiray::cof_file_name("../run.3/sys"), "../run.3/sys.cof");   // a directory's "." does not count
}

// COFIN in a scratch directory with the given answers at its prompts.
struct CofinRun {
  int status;
  std::string name;
  std::string said;
};

CofinRun run_cofin(const qxtest::TempDir& dir, std::string name, const std::string& answers, CoefficientSet& set) {
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  qx::StringInput in(answers);
  qx::StringOutput out;
  const int status = lumiray::cofin(lumiray::Dialogue{in, out, false}, name, set);
  std::filesystem::current_path(here);
  return {status, name, out.text()};
}

TEST(Cofin, AsksForTheNameUntilAFileExistsAndAppendsCof) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("doublet.cof"), dir / "sys.cof");
  CoefficientSet set;
  const CofinRun r = run_cofin(dir, "", "nothere\nsys\n", set);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.name, "sys.cof");
  EXPECT_TRUE(set.loaded);
  EXPECT_DOUBLE_EQ(set.first(2, 2), -25.0);

  // "sys.dat" is taken as it stands: a missing sys.dat is not replaced by sys.cof.
  CoefficientSet other;
  const CofinRun d = run_cofin(dir, "sys.dat", "\n", other);
  EXPECT_EQ(d.status, 1);
  EXPECT_FALSE(other.loaded);
  // A blank answer gives up; so does the end of the input.
  EXPECT_EQ(run_cofin(dir, "", "", other).status, 1);
  // A name longer than the answer field is asked again rather than cut.
  EXPECT_EQ(run_cofin(dir, "", "a_very_long_name_x\nsys\n", other).status, 0);
}

TEST(Cofin, FailedReadKeepsTheCurrentSet) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("doublet.cof"), dir / "good.cof");
  std::string text = qxtest::read_file(qxtest::test_data("doublet.cof"));
  qxtest::write_file(dir / "cut.cof", text.substr(0, text.size() / 2));
  CoefficientSet set;
  ASSERT_EQ(run_cofin(dir, "good", "", set).status, 0);
  const CoefficientSet before = set;
  EXPECT_EQ(run_cofin(dir, "cut", "", set).status, 1);
  EXPECT_TRUE(set.loaded);
  EXPECT_EQ(values_of(set), values_of(before));
  EXPECT_EQ(set.title, before.title);

  CoefficientSet empty;
  EXPECT_EQ(run_cofin(dir, "cut", "", empty).status, 1);
  EXPECT_FALSE(empty.loaded);
  // A directory of that name cannot be opened: no crash, no change.
  std::filesystem::create_directory(dir / "folder.cof");
  EXPECT_EQ(run_cofin(dir, "folder", "", empty).status, 1);
  EXPECT_FALSE(empty.loaded);
}

// The Fortran client reads the same values from the design program's layout.
TEST(CoefficientFileFortran, ClientReadsWhatCofinReads) {
  qxtest::TempDir dir;
  const auto run = qxtest::run_program(qxtest::fortran_exe("cof_reader"), "", dir.path(),
                                       {qxtest::test_data("doublet.cof").string()});
  const auto lines = qxtest::split_lines(run.out);
  ASSERT_EQ(lines.size(), 2u + 107u + 1u) << run.out << run.err;
  EXPECT_EQ(lines.back(), "ok");
  const auto file = qx::FileInput::open(qxtest::test_data("doublet.cof"), 3);
  CoefficientSet c;
  ASSERT_TRUE(lumiray::read_coefficients(*file, c));
  EXPECT_EQ(lines[0], "title [" + c.title.substr(0, 50) + "]");
  EXPECT_EQ(lines[1], std::string("shape [") + c.aperture_shape + "]");
  const std::vector<std::string> ours = hex_of(values_of(c));
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end() - 1), ours);
}

// Files written by the Fortran runtime's list-directed output, in three layouts, read back
// to the bit.
TEST(CoefficientFileFortran, CofinReadsFilesTheRuntimeWrote) {
  qxtest::TempDir dir;
  for (const std::string style : {"group", "each", "spread"}) {
    const auto w = qxtest::run_program(qxtest::fortran_exe("cof_writer"), "", dir.path(), {"w.cof", style});
    const auto expected = qxtest::split_lines(w.out);
    ASSERT_EQ(expected.size(), 107u) << style << w.err;
    const auto file = qx::FileInput::open(dir / "w.cof", 3);
    CoefficientSet c;
    ASSERT_TRUE(lumiray::read_coefficients(*file, c)) << style;
    EXPECT_EQ(hex_of(values_of(c)), expected) << style;
    EXPECT_EQ(c.aperture_shape, 'S') << style;
  }
}

}  // namespace

namespace {

// A set with awkward values everywhere: shortest and longest decimal expansions,
// subnormal, huge, tiny.
CoefficientSet awkward_set() {
  CoefficientSet c;
  c.title = lumiray::field(" A title with 'quotes', commas, / and \"more\"", 100);
  const double specials[] = {0.1, -1.0 / 3.0, 5e-324, 1.7976931348623157e308, -7.5e-300, 2.2250738585072014e-308,
                             123456789.123456789, -9.87654321e-12, 1.0, 0.30000000000000004};
  std::size_t k = 0;
  auto next = [&] {
    const std::size_t n = std::size(specials);
    const double v = specials[k % n] / static_cast<double>(1 + k / n);
    ++k;
    return v;
  };
  for (double& v : c.object) v = next();
  for (double& v : c.aperture) v = next();
  c.collimator_distance = next();
  c.aperture_shape = 'S';
  c.shadow_distance = next();
  c.total_length = next();
  for (double& v : c.first_order) v = next();
  for (double& v : c.map_terms) v = next();
  for (double& v : c.third_order) v = next();
  for (double& v : c.fifth_order) v = next();
  for (double& v : c.chromatic_terms) v = next();
  c.object[1] = 0.0;
  c.chromatic_terms[2] = 5e-324;
  c.refresh_map();
  return c;
}

TEST(Cofsav, WritesEveryDoubleBackBitForBit) {
  qxtest::TempDir dir;
  CoefficientSet c = awkward_set();
  qx::StringInput in("");
  qx::StringOutput out;
  ASSERT_TRUE(lumiray::cofsav(lumiray::Dialogue{in, out, false}, (dir / "saved").string(), c));
  EXPECT_TRUE(c.loaded);
  ASSERT_TRUE(std::filesystem::exists(dir / "saved.cof"));   // ".cof" appended, lower case
  const auto file = qx::FileInput::open(dir / "saved.cof", 3);
  CoefficientSet back;
  ASSERT_TRUE(lumiray::read_coefficients(*file, back));
  EXPECT_EQ(hex_of(values_of(back)), hex_of(values_of(c)));
  EXPECT_EQ(back.title, lumiray::field(c.title, 50) + std::string(50, ' '));
  EXPECT_EQ(back.aperture_shape, 'S');
  // The Fortran client reads the same bits.
  const auto run = qxtest::run_program(qxtest::fortran_exe("cof_reader"), "", dir.path(), {"saved.cof"});
  const auto lines = qxtest::split_lines(run.out);
  ASSERT_EQ(lines.size(), 110u) << run.out << run.err;
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end() - 1), hex_of(values_of(c)));
}

TEST(Cofsav, ReplacesTheFileOnlyWhenItIsWritten) {
  qxtest::TempDir dir;
  qxtest::write_file(dir / "keep.cof", "old contents\n");
  std::filesystem::create_directory(dir / "ro");
  CoefficientSet c = awkward_set();
  qx::StringInput in("");
  qx::StringOutput out;
  // A name in a directory that does not exist cannot be opened: nothing changes.
  EXPECT_FALSE(lumiray::cofsav(lumiray::Dialogue{in, out, false}, (dir / "no/such/x.cof").string(), c));
  EXPECT_NE(out.text().find("Unable to open "), std::string::npos);
  EXPECT_EQ(qxtest::read_file(dir / "keep.cof"), "old contents\n");
  // A blank name is asked for; a blank answer writes nothing.
  qx::StringInput blank("\n");
  qx::StringOutput said;
  EXPECT_FALSE(lumiray::cofsav(lumiray::Dialogue{blank, said, false}, "", c));
  EXPECT_EQ(said.text(), " Filename for output > ");
}

// The review dialogue: RETURN keeps each value, typed values replace it, and the file is
// written again with the changes.
TEST(Cofrev, ReviewKeepsDefaultsAndSavesTheChanges) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("doublet.cof"), dir / "sys.cof");
  const std::string answers =
      "y\n"                       // modify/review
      "Renamed system\n"          // new title
      "Y\n"                       // physical parameters
      "\n3e-6\n\n\n"              // object: X/2 kept, X centre 3e-6
      "\n\n\n\n"                  // aperture kept
      "2.5\n"                     // object to aperture
      "S\n"                       // square
      "\n\n"                      // shadow plane, total length
      "Y\n" + std::string(5, '\n') + "-24.5\n" + std::string(10, '\n') +   // first order: (2,2)
      "y\n1e-3\n" + std::string(19, '\n') +                                // second: X/X2
      "n\n"                                                                // third
      "Y\n\n\n\n\n\n7\n\n\n\n\n\n\n"                                       // fifth: X/P5
      "Y\nxyz\n-5e-4\n\n\n\n";                                              // chromatic: a bad answer, asked again
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  qx::StringInput in(answers);
  qx::StringOutput out;
  CoefficientSet c;
  std::string name = "sys";
  const int status = lumiray::cofrev(lumiray::Dialogue{in, out, true}, name, 'F', c);
  std::filesystem::current_path(here);
  ASSERT_EQ(status, 0) << out.text();
  EXPECT_EQ(c.title.substr(0, 15), "Renamed system ");
  EXPECT_DOUBLE_EQ(c.object[0], 5e-6);
  EXPECT_DOUBLE_EQ(c.object[1], 3e-6);
  EXPECT_DOUBLE_EQ(c.collimator_distance, 2.5);
  EXPECT_EQ(c.aperture_shape, 'S');
  EXPECT_DOUBLE_EQ(c.first(2, 2), -24.5);
  EXPECT_DOUBLE_EQ(c.map(2, 2), -24.5);   // the working map follows the matrix
  EXPECT_DOUBLE_EQ(c.map(1, 5), 1e-3);
  EXPECT_DOUBLE_EQ(c.fifth(1, 6), 7.0);
  EXPECT_DOUBLE_EQ(c.chromatic(1), -5e-4);
  EXPECT_DOUBLE_EQ(c.chromatic(2), -6.5e-4);   // kept
  const std::string& t = out.text();
  EXPECT_NE(t.find(" Title:\n  Example doublet"), std::string::npos);
  EXPECT_NE(t.find(" X CENTRE =   0.00000E+00 > +3e-6\n"), std::string::npos);
  EXPECT_NE(t.find("   Object to Aperture (m) =    2.0000     > +2.5\n"), std::string::npos);
  EXPECT_NE(t.find(" Circular apertures selected.\n New? (Square/Circular) >  S\n Square apertures selected.\n"),
            std::string::npos);
  EXPECT_NE(t.find("    Th/Th =   -25.000     > +-24.5\n"), std::string::npos);
  EXPECT_NE(t.find("    X/X2 =   1.50000E-03 > +1e-3\n"), std::string::npos);
  EXPECT_NE(t.find("    X/P5   =   0.00000E+00 > +7\n"), std::string::npos);
  EXPECT_NE(t.find("   X/Th%DE = -4.00000E-04 > +xyz\n ?LUMIRAY - Not a valid number"), std::string::npos);
  EXPECT_NE(t.find(" Saving new coefficients in file sys.cof\n"), std::string::npos);

  // The saved file holds the reviewed values.
  const auto file = qx::FileInput::open(dir / "sys.cof", 3);
  CoefficientSet back;
  ASSERT_TRUE(lumiray::read_coefficients(*file, back));
  EXPECT_EQ(hex_of(values_of(back)), hex_of(values_of(c)));
}

TEST(Cofrev, OptionNAndANoSkipTheReviewAndTheEndOfInputCancels) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("doublet.cof"), dir / "sys.cof");
  const std::string original = qxtest::read_file(dir / "sys.cof");
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  auto run = [&](char option, const std::string& answers, CoefficientSet& c) {
    qx::StringInput in(answers);
    qx::StringOutput out;
    std::string name = "sys";
    return lumiray::cofrev(lumiray::Dialogue{in, out, false}, name, option, c);
  };
  CoefficientSet c;
  EXPECT_EQ(run('N', "", c), 0);
  EXPECT_TRUE(c.loaded);
  EXPECT_EQ(run(' ', "no\n", c), 0);
  EXPECT_EQ(run(' ', "", c), 2);                        // input ended at the first question
  EXPECT_EQ(run(' ', "Y\nNew\nY\n1\n", c), 2);          // ... or in the middle of the review
  EXPECT_DOUBLE_EQ(c.object[0], 1.0);                   // the answers given stay
  std::filesystem::current_path(here);
  EXPECT_EQ(qxtest::read_file(dir / "sys.cof"), original);   // nothing saved
}

}  // namespace
