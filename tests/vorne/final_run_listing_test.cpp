// The final-run listing of the shipped example at the highest level: header, element lines,
// total length and level written from their layouts, then the walk's traces, the geometric
// listing of every lens and of the system, and the octupole correction report, in that order.
#include <cmath>

#include "reports_rig.h"

namespace {

using namespace reports_test;
using qxtest::TempDir;

constexpr double kMu0 = 1.256637062E-06;

std::string element_line(int iz, const std::string& name, double code, const std::vector<double>& values) {
  std::string line = " \n   " + i2(iz) + " " + name + qx::edit_f(code, 5, 2);
  for (const double v : values) line += " " + qx::edit_g(v, 11, 4, 1);
  return line + "\n";
}

std::string geometric_block(const ModelLens& l, double ux, double uy, double field, double radius) {
  const double beta = std::copysign(std::sqrt(std::fabs(l.k)), l.k);
  return optics_test::lens_geom(l.row, l.a, l.len, ux, uy, beta, radius * field / kMu0 / 2, beta * l.len);
}

TEST(FinalRun, ExitNineListsEverySectionOfTheExampleInOrder) {
  Rig r;
  r.load_path(qxtest::example("triplet.vrn"));
  const vorne::LensSystem t = r.s;
  const Model m = quad_model(t, 3.0);
  r.walk(3);
  const ref::Sums sums = ref::system_sums(r, -1);

  TempDir dir;
  std::filesystem::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
  const Transcript tr = vorne_session::run(dir, "DATA triplet\nEXIT 9\n");
  EXPECT_EQ(tr.reply(2), " Output data in file triplet.lpt\n\n");
  const std::string listing = qxtest::read_file(dir / "triplet.lpt");

  // Header, element lines (columns 2-5, a drift its length), total length, level.
  std::string head = " " + t.title + "    file triplet.vrn\n" +
                     element_line(1, "Collimator", 0.0, {t.p(1, 2), t.p(1, 3), t.p(1, 4), 9.0}) +
                     " \n  Beam data  " + qx::edit_g(t.p(2, 2) * 1e6, 13, 5) + " UM  " +
                     qx::edit_g(t.p(2, 3) * 1e3, 13, 5) + " MR  " + qx::edit_g(t.p(2, 4) * 1e6, 13, 5) + " UM  " +
                     qx::edit_g(t.p(2, 5) * 1e3, 13, 5) + " MR  \n";
  std::size_t lens = 0;
  for (int iz = 3; iz < t.izend; ++iz) {
    if (static_cast<int>(t.p(iz, 1) + 1e-6) == 3) {
      head += element_line(iz, "Drift     ", t.p(iz, 1), {t.p(iz, 2)});
      continue;
    }
    head += element_line(iz, "Quadrupole", t.p(iz, 1), {t.p(iz, 2), t.p(iz, 3), t.p(iz, 4), m.lenses[lens++].z});
  }
  head += element_line(t.izend, "System End", 9.0, {0.0, 0.0, 0.0, 0.0});
  head += " \n        TOTAL LENGTH = " + f10(m.total) + "\n\n";
  head += " \n           Diagnostic set to  9\n\n";
  ASSERT_EQ(listing.substr(0, head.size()), head) << listing;
  const std::string rest = listing.substr(head.size());

  // The walk's traces: every row listed, each lens followed by its own and the system's
  // third-order sets; the last system set is the whole system's.
  std::size_t at = rest.find(" Initial beam vector;\n");
  std::size_t last_system_set = 0;
  ASSERT_EQ(at, 0u) << rest.substr(0, 200);
  for (int iz = 3; iz < t.izend; ++iz) {
    const bool quad = static_cast<int>(t.p(iz, 1) + 1e-6) == 4;
    const std::size_t row = rest.find("   " + i2(iz) + (quad ? " Quadrupole" : " Drift     "), at);
    ASSERT_NE(row, std::string::npos) << iz;
    at = row;
    if (!quad) continue;
    const std::size_t own = rest.find("Third order lens coefficients", at);
    const std::size_t system = rest.find("Third order system coefficients", own);
    ASSERT_NE(system, std::string::npos) << iz;
    EXPECT_LT(system, rest.find("   " + i2(iz + 1) + " ", at)) << iz;
    at = last_system_set = system;
  }
  const std::size_t p_printed = rest.find("S(1,1) = " + qx::edit_g(sums.total.c[1][1], 13, 5), last_system_set);
  EXPECT_NE(p_printed, std::string::npos);
  const std::size_t final_vector = rest.find(" Final beam vector;\n", at);
  ASSERT_NE(final_vector, std::string::npos);
  EXPECT_LT(p_printed, final_vector);

  // The geometric listing: each lens with its object at the image of the lens before, then
  // the System End with the particle data.
  double ximage = 0.0, yimage = 0.0;
  at = final_vector;
  for (const ModelLens& l : m.lenses) {
    const std::string block = geometric_block(l, l.z - ximage, l.z - yimage, t.p(l.row, 3), t.p(l.row, 4));
    const std::size_t found = rest.find(block, at);
    ASSERT_NE(found, std::string::npos) << "lens at row " << l.row;
    at = found + block.size();
    ximage = l.ximage;
    yimage = l.yimage;
  }
  const std::string end_block = " \n 10             System End\n     Geometric Parameters       X-Plane      Y-Plane\n"
                                "             Focal length    " +
                                g12(-1 / m.s(2, 1)) + " m " + g12(-1 / m.s(4, 3)) + " m \n";
  ASSERT_EQ(rest.find(end_block, at), at);
  const std::size_t astigmatic = rest.find(" This is an ASTIGMATIC system  ASTIG = ", at);
  ASSERT_NE(astigmatic, std::string::npos);

  // The octupole correction report of three quadrupoles and no octupoles: FISHK's estimate,
  // closing the listing.
  const std::size_t fishk = rest.find(" \n %FISHK- **Beware**", astigmatic);
  ASSERT_NE(fishk, std::string::npos);
  EXPECT_EQ(rest.find('\n', astigmatic) + 1, fishk);
  const std::size_t hawkes = rest.find("           Hawkes' coefficients:", fishk);
  ASSERT_NE(hawkes, std::string::npos);
  EXPECT_EQ(rest.find('\n', hawkes), rest.size() - 1);
  EXPECT_EQ(rest.find("Spherical aberration coefficients"), rest.find("Spherical aberration coefficients", fishk));
}

TEST(FinalRun, EveryLevelListsTheGeometryOfEveryLensOnce) {
  for (const int level : {1, 6, 7, 8}) {
    TempDir dir;
    std::filesystem::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
    vorne_session::run(dir, "DATA triplet\nEXIT " + std::to_string(level) + "\n");
    const std::string listing = qxtest::read_file(dir / "triplet.lpt");
    std::size_t n = 0;
    for (std::size_t at = listing.find("Geometric Parameters"); at != std::string::npos;
         at = listing.find("Geometric Parameters", at + 1))
      ++n;
    EXPECT_EQ(n, 4u) << "level " << level;
    EXPECT_NE(listing.find("Hawkes' coefficients"), std::string::npos) << "level " << level;
  }
}

TEST(FinalRun, ThreeOctupolesAndAtMostFourQuadrupolesGetTheirCorrections) {
  TempDir dir;
  copy_system(dir, "quadruplet_octupoles.vrn");
  vorne_session::run(dir, "DATA quadruplet_octupoles\nEXIT 1\n");
  const std::string listing = qxtest::read_file(dir / "quadruplet_octupoles.lpt");
  const std::size_t hawkes = listing.find("Hawkes' coefficients");
  ASSERT_NE(hawkes, std::string::npos);
  const std::size_t table = listing.find(" Required corrections;\n      Octupole          Field      Unit\n", hawkes);
  ASSERT_NE(table, std::string::npos);
  for (const int row : {6, 10, 14})
    EXPECT_NE(listing.find("\n        " + i2(row) + "          ", table), std::string::npos);
}

}  // namespace

namespace {

// The demo macro: the example loaded, its reports, saved, and the listing written at the end.
TEST(FinalRun, DemoMacroReportsSavesAndEndsWithTheListing) {
  TempDir dir;
  for (const char* name : {"triplet.vrn", "demo.vcm"}) std::filesystem::copy_file(qxtest::example(name), dir / name);
  const Transcript t = vorne_session::run(dir, "@demo\n");
  std::size_t at = 0;
  for (const char* step : {"_ THIRD\n", "papers of Tessarin et al.", "_ SMAT\n", " System Beam Matrix:", "_ SYSTEM\n",
                           " Pellow's Figure of Merit:", "_ CHROM\n", " Chromatic Aberration Coefficients",
                           "_ FISHK\n", " Hawkes' coefficients:", " Data saved in file: triplet_saved.vrn",
                           " Output data in file triplet_saved.lpt"}) {
    const std::size_t found = t.out.find(step, at);
    ASSERT_NE(found, std::string::npos) << step << "\n" << t.out;
    at = found;
  }
  EXPECT_EQ(qxtest::read_file(dir / "triplet_saved.vrn"), qxtest::read_file(qxtest::example("triplet.vrn")));
  const std::string listing = qxtest::read_file(dir / "triplet_saved.lpt");
  EXPECT_NE(listing.find("    file triplet_saved.vrn\n"), std::string::npos);
  EXPECT_NE(listing.find(" \n           Diagnostic set to  3\n\n"), std::string::npos);
  EXPECT_NE(listing.find("Hawkes' coefficients:"), std::string::npos);
}

}  // namespace
