// AB3/N, AB3/L and COFOUT/N run in the program: the integrated values beside the formula
// values, the fringe setting and its refusals, and the integrated map in the coefficient file.
// Expected numbers come from the map computed in the test and the documented layouts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "optics/integrated_map.h"
#include "optics/third_order.h"
#include "optics_rig.h"
#include "qx/format.h"
#include "session.h"
#include "vorne_session.h"

namespace {

namespace fs = std::filesystem;
using optics_test::Rig;
using qxtest::TempDir;

std::string run(const TempDir& dir, const std::string& script) {
  return vorne_session::run(dir, script).out;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The line that begins (after its blanks) with a label.
std::string line_of(const std::string& out, const std::string& label) {
  for (const std::string& l : qxtest::split_lines(out))
    if (l.rfind("     " + label, 0) == 0) return l;
  return "";
}

TEST(IntegratedReport, Ab3ShowsIntegratedFormulaAndDifference) {
  Rig r;
  r.load("doublet_focused.vrn");
  r.walk(3);
  const vorne::MapOutcome m = vorne::integrated_map(r.s, r.v.walk.element_matrix, vorne::MapSettings{});
  ASSERT_EQ(m.status, vorne::MapStatus::ok);
  const vorne::Magnification mg = vorne::mag(r.v, r.s.izend);
  TempDir dir;
  fs::copy_file(qxtest::test_data("doublet_focused.vrn"), dir / "doublet_focused.vrn");
  const std::string out = run(dir, "DATA doublet_focused\nAB3/N\n");
  EXPECT_NE(out.find(" Integrated through the lens fields at the hard-edge limit."), std::string::npos) << out;
  struct Row {
    const char* label;
    int plane, j;
    double mag;
  };
  for (const Row& row : {Row{"X/TH3   ", 1, 1, mg.mx}, Row{"X/THPH2 ", 1, 2, mg.mx}, Row{"Y/PH3   ", 2, 1, mg.my},
                         Row{"Y/TH2PH ", 2, 2, mg.my}}) {
    const double integrated = vorne::third_order_coefficients(m.map, row.plane)[static_cast<std::size_t>(row.j - 1)];
    const double formula = row.mag * r.v.walk.total(row.plane, row.j);
    // Micrometre per milliradian cubed from metre per radian cubed.
    const std::string expected = std::string("     ") + "  " + row.label + " " + qx::edit_f(integrated * 1e-3, 13, 5) +
                                 " " + qx::edit_f(formula * 1e-3, 13, 5) + " " +
                                 qx::edit_f(100.0 * (integrated - formula) / formula, 9, 2) + " %";
    EXPECT_EQ(line_of(out, std::string("  ") + row.label), expected);
  }
  // The chromatic lines: the two columns agree (they are the same derivative).
  const std::string chrom = line_of(out, "  X/THDM  ");
  ASSERT_FALSE(chrom.empty()) << out;
  EXPECT_EQ(chrom.substr(chrom.size() - 11), "     0.00 %");
  // Only with A: the remaining coefficients.
  EXPECT_TRUE(line_of(out, "  X/XTH2  ").empty());
  EXPECT_FALSE(line_of(run(dir, "DATA doublet_focused\nAB3/N A\n"), "  Y/X2Y   ").empty());
}

TEST(IntegratedReport, FringeLengthIsSetSaidAndRefused) {
  TempDir dir;
  fs::copy_file(qxtest::test_data("doublet_focused.vrn"), dir / "doublet_focused.vrn");
  const std::string out =
      run(dir, "DATA doublet_focused\nAB3/L 2\nAB3/N\nAB3/L -1\nAB3/L 500\nAB3/L abc\nAB3/L 20\nAB3/N\nAB3/L\n");
  EXPECT_NE(out.find(" %AB3- Fringe length    2.000 mm for AB3/N and COFOUT/N.\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" Integrated through the lens fields, fringe length    2.000 mm."), std::string::npos);
  EXPECT_EQ(count(out, "?AB3- Fringe length must be from 0 to 100.0 mm; it stays    2.000 mm."), 3u);
  // 60 mm lenses with a 20 mm fringe: said, for both lenses.
  EXPECT_NE(out.find(" %AB3- Lens in row  4 is shorter than 4 fringe lengths: its field never reaches full value.\n"
                     " %AB3- Lens in row  6 is shorter than 4 fringe lengths: its field never reaches full value.\n"),
            std::string::npos);
  EXPECT_NE(out.find(" %AB3- Fringe length 0: AB3/N and COFOUT/N use the hard-edge limit.\n"), std::string::npos);
  EXPECT_EQ(count(out, "shorter than 4 fringe lengths"), 2u);   // only at 20 mm
}

TEST(IntegratedReport, BadSystemsGetMessagesAndNoNumbers) {
  TempDir dir;
  qxtest::write_file(dir / "bad.vrn",
                     " Zero bore\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 5.0E-6, 2.0E-4, 5.0E-6, 2.0E-4, 0.01\n"
                     " 3.00, 1.0, 0.0, 0.0\n 6.00, 0.1, 0.2, 0.0\n 3.00, 1.0, 0.0, 0.0\n 9.00, 0.0, 0.0, 0.0\n"
                     " SENTINEL\n");
  fs::copy_file(qxtest::test_data("electrostatic_quads.vrn"), dir / "electrostatic_quads.vrn");
  const std::string out = run(dir, "DATA bad\nAB3/N\nCOFOUT/N bad\nc\nDATA electrostatic_quads\nAB3/N\n");
  EXPECT_NE(out.find(" ?AB3- Bore radius of row  4 is not positive: no integrated map.\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" ?COFOUT- Bore radius of row  4 is not positive: no integrated map.\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "bad.cof"));
  EXPECT_NE(out.find(" %AB3- Rows at first order with their formula aberrations:  4  6  8\n"), std::string::npos);
  EXPECT_EQ(out.find("NaN"), std::string::npos);
  EXPECT_EQ(out.find("Inf"), std::string::npos);
}

TEST(IntegratedReport, CofoutWritesTheIntegratedMap) {
  Rig r;
  r.load_path(qxtest::example("triplet.vrn"));
  r.walk(3);
  const vorne::MapOutcome m = vorne::integrated_map(r.s, r.v.walk.element_matrix, vorne::MapSettings{});
  ASSERT_EQ(m.status, vorne::MapStatus::ok);
  TempDir dir;
  fs::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
  const std::string out = run(dir, "DATA triplet\nCOFOUT/N trip\nc\nCOFOUT plain\nc\n");
  EXPECT_NE(out.find(" %COFOUT- Integrated map written; its chromatic terms are changes per % of energy.\n"),
            std::string::npos)
      << out;
  const std::vector<std::string> rec = qxtest::split_lines(qxtest::read_file(dir / "trip.cof"));
  const std::vector<std::string> plain = qxtest::split_lines(qxtest::read_file(dir / "plain.cof"));
  ASSERT_EQ(rec.size(), 22u);
  ASSERT_EQ(plain.size(), 22u);
  // Geometry as the formula file, first order the same system (to the printed digits).
  for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(rec[i], plain[i]) << i;
  // Third order: the map's image-side coefficients in SI units, each followed by ",0,0".
  for (int plane = 1; plane <= 2; ++plane) {
    const std::array<double, 10> c = vorne::third_order_coefficients(m.map, plane);
    std::string expected = " ";
    for (std::size_t j = 0; j < 10; ++j) expected += qx::edit_g(c[j], 11, 4, 1) + (j < 9 ? "," : ",0,0");
    EXPECT_EQ(rec[static_cast<std::size_t>(14 + plane)], expected) << plane;
  }
  // Chromatic: the changes per percent of energy of the two rays.
  auto d = [&m](int i, int j) {
    qx::Tps::Exponents e{};
    e[static_cast<std::size_t>(j - 1)] = 1;
    e[qx::Tps::delta] = 1;
    return vorne::map_coefficient(m.map, i, e);
  };
  EXPECT_EQ(rec[19], " " + qx::edit_g(d(1, 2) + d(1, 4), 12, 5, 1) + "," + qx::edit_g(d(3, 2) + d(3, 4), 12, 5, 1));
  EXPECT_EQ(rec[20], " " + qx::edit_g(d(1, 1) + d(1, 3), 12, 5, 1) + "," + qx::edit_g(d(3, 1) + d(3, 3), 12, 5, 1));
  // The ray-trace program images with it: FAKE/N reads it whole and maps a small grid.
  const auto rays = qxtest::run_program(qxtest::lumiray_exe(),
                                        "FAKE/N trip\n2\n16\nS\n10 10\n0.4 0.4\n0 0\n0\n0 0\nQ\nEXIT\n", dir.path());
  EXPECT_NE(rays.out.find(" Read fifth order matrix.\n"), std::string::npos) << rays.out;
  EXPECT_EQ(rays.out.find("Error"), std::string::npos) << rays.out;
  EXPECT_NE(rays.out.find(" rays in file.\n"), std::string::npos) << rays.out;
}

}  // namespace
