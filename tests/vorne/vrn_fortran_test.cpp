// A real Fortran program reads the files SAVE writes, with list-directed READ, and must get the
// values our own loader gets from them, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "system/datafile.h"
#include "qx/units.h"
#include "session.h"
#include "system/system.h"
#include "vorne_session.h"

namespace vorne {
namespace {

// Values of every kind SAVE has to write: small, negative, fields above 9999 and values that
// do not fit F12.6 anywhere, an electric lens, a supra lens, a collimator.
const std::string kAwkward =
    "Awkward values\n"
    "0 2 4.0026 1.234567 -6\n"
    "1 1.5E-6 -2.5e-4 0.0001234 123456.7 -9999.5\n"
    "3.00 7.5 0 0\n"
    "4.10 0.05 0.987654321 0.0025\n"
    "24.00 0.05 -0.12 0.0025\n"
    "14.01 0.1 -20000 0.004\n"
    "5.20 0 -1.25E-4 2E-5\n"
    "8.30 0.02 2.0E5 0.003\n"
    "4.00 -12345.6 99999.99 -0.5\n"
    "11.00 0.3 12345678 1E-9\n"
    "3.00 0.123456789 0 0\n"
    "9.00 0 0 0\n";

struct FortranRows {
  std::string title;
  std::vector<std::vector<double>> rows;   // rows[iz - 1]
};

FortranRows fortran_read(const qxtest::TempDir& dir, const std::string& file) {
  const qxtest::RunResult r = qxtest::run_program(qxtest::fortran_exe("vrn_reader"), "", dir.path(), {file});
  EXPECT_EQ(r.status, 0) << r.err;
  FortranRows f;
  for (const std::string& line : qxtest::split_lines(r.out)) {
    if (line.rfind("title [", 0) == 0) {
      f.title = line.substr(7, line.size() - 8);
      continue;
    }
    std::istringstream in(line);
    int iz = 0;
    in >> iz;
    std::vector<double> values;
    std::string hex;
    while (in >> hex) values.push_back(std::bit_cast<double>(std::stoull(hex, nullptr, 16)));
    f.rows.push_back(values);
    EXPECT_EQ(static_cast<int>(f.rows.size()), iz);
  }
  return f;
}

TEST(FortranClient, ReadsWhatSaveWritesAsWeDo) {
  qxtest::TempDir dir;
  qxtest::write_file(dir / "awk.vrn", kAwkward);
  const vorne_session::Session run = vorne_session::run(dir, "DATA awk\nSAVE out\nEXIT\n");
  ASSERT_NE(run.out.find("Data saved in file: out.vrn"), std::string::npos) << run.out;

  qx::StringInput ours_in(qxtest::read_file(dir / "out.vrn"), 1);
  LensSystem ours;
  ASSERT_EQ(read_system(ours_in, ours), LoadResult::loaded);
  const FortranRows theirs = fortran_read(dir, "out.vrn");

  EXPECT_EQ(theirs.title, ours.title);
  ASSERT_EQ(static_cast<int>(theirs.rows.size()), ours.izend);
  for (int iz = 1; iz <= ours.izend; ++iz) {
    const std::vector<double>& row = theirs.rows[static_cast<std::size_t>(iz - 1)];
    ASSERT_EQ(row.size(), iz == 1 ? 5u : iz == 2 ? 6u : 4u) << iz;
    for (std::size_t col = 1; col <= row.size(); ++col)
      EXPECT_EQ(std::bit_cast<std::uint64_t>(row[col - 1]),
                std::bit_cast<std::uint64_t>(ours.p(iz, static_cast<int>(col))))
          << "row " << iz << " column " << col << ": " << row[col - 1] << " vs " << ours.p(iz, static_cast<int>(col));
  }

  // And to the written precision (six decimals, or five significant digits in G12.5) these are
  // the values loaded in the first place.
  qx::StringInput first_in(kAwkward, 1);
  LensSystem first;
  ASSERT_EQ(read_system(first_in, first), LoadResult::loaded);
  for (int iz = 1; iz <= first.izend; ++iz) {
    for (int col = 1; col <= 4; ++col) {
      const double a = first.p(iz, col);
      const double b = ours.p(iz, col);
      const bool drift_field = iz > 2 && col > 2 && first.type_at(iz).type == kDrift;
      EXPECT_NEAR(b, drift_field ? 0.0 : a, std::max(5.0e-7, std::abs(a) * 5.0e-5)) << iz << "," << col;
    }
  }
  EXPECT_EQ(ours.title, qxtest::read_file(dir / "out.vrn").substr(0, 15) + std::string(35, ' '));
}

}  // namespace
}  // namespace vorne
