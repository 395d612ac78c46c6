// Session tests of the first-order optics: the program run on a script; its prompts, element
// reports and final-run listings compared with the documented layouts, the numbers in them
// computed here from integrated element matrices of the shipped example.
#include <filesystem>
#include <vector>

#include "optics_rig.h"
#include "session.h"
#include "vorne_session.h"

namespace {

using namespace optics_test;
using qx::edit_g;
using qxtest::read_file;
using qxtest::TempDir;
using qxtest::write_file;

constexpr double kE = 1.6021892E-19;
using vorne_session::count;
using vorne_session::kPrompt;

std::string title_line(const std::string& title) {
  return " Title: " + title + std::string(50 - title.size(), ' ') + "\n";
}

// The example triplet computed lens by lens: centres, integrated matrices, object distances
// from the image of the lens before, cardinal elements, and the system matrix.
struct Lens {
  int row;
  double len, field, z, k, ux, uy;
  Mat4 a;
  PlaneExpect x, y;
};
struct Model {
  vorne::LensSystem table;
  std::vector<Lens> lenses;
  Mat4 s = Mat4::identity();
  double total = 0.0;
};

Model example_model() {
  Rig r;
  r.load_path(qxtest::example("triplet.vrn"));
  Model m;
  m.table = r.s;
  double ximage = 0.0, yimage = 0.0;
  for (int iz = 3; iz < r.s.izend; ++iz) {
    const double len = r.s.p(iz, 2);
    if (static_cast<int>(r.s.p(iz, 1)) != 4) {
      m.s = vorne::product(integrated_drift(len), m.s);
      m.total += len;
      continue;
    }
    Lens l{iz, len, r.s.p(iz, 3), m.total + len / 2, 0, 0, 0, {}, {}, {}};
    l.k = kE * (l.field / r.s.p(iz, 4)) / momentum(3.0, 1.00728);
    l.a = integrated_quad(l.k, len);
    l.ux = l.z - ximage;
    l.uy = l.z - yimage;
    l.x = plane_expect(l.a(1, 1), l.a(2, 1), l.a(2, 2), len, l.ux);
    l.y = plane_expect(l.a(3, 3), l.a(4, 3), l.a(4, 4), len, l.uy);
    ximage = l.z + l.x.image;
    yimage = l.z + l.y.image;
    m.s = vorne::product(l.a, m.s);
    m.total += len;
    m.lenses.push_back(l);
  }
  return m;
}

std::string lens_block(const Lens& l) {
  const double beta = std::copysign(std::sqrt(std::fabs(l.k)), l.k);
  return lens_geom(l.row, l.a, l.len, l.ux, l.uy, beta, 0.005 * l.field / 1.256637062E-06 / 2, beta * l.len);
}

// One row of a trace: "(1H ,/,1H ,2X,I2,1X,A,F5.2,11(1X,1P,G11.4))".
std::string row_line(int iz, const std::string& name, double code, const std::vector<double>& values) {
  std::string line = " \n   " + qx::edit_i(iz, 2) + " " + name + qx::edit_f(code, 5, 2);
  for (const double v : values) line += " " + edit_g(v, 11, 4, 1);
  return line + "\n";
}

std::string beam_line(double x, double t, double y, double p) {
  return " \n  Beam data  " + edit_g(x * 1e6, 13, 5) + " UM  " + edit_g(t * 1e3, 13, 5) + " MR  " +
         edit_g(y * 1e6, 13, 5) + " UM  " + edit_g(p * 1e3, 13, 5) + " MR  \n";
}

TEST(OpticsSession, FocusedSystemsKeepTheNormalPromptDetunedOnesAskForAFit) {
  struct Case {
    const char* file;
    const char* prompt;
  };
  for (const Case c : {Case{"triplet_focused.vrn", " vrn> "}, Case{"triplet_detuned.vrn", " sti> "},
                       Case{"quadruplet_focused.vrn", " vrn> "}, Case{"quadruplet_detuned.vrn", " sti> "}}) {
    TempDir dir;
    std::filesystem::copy_file(qxtest::test_data(c.file), dir / "sys.vrn");
    Rig r;
    r.load(c.file);
    const std::string out = vorne_session::run(dir, "DATA sys\nEXIT\n").from_first_prompt();
    EXPECT_EQ(out, kPrompt + title_line(r.s.title) + c.prompt) << c.file;
  }
}

TEST(OpticsSession, ElementReports) {
  const Model m = example_model();
  TempDir dir;
  std::filesystem::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
  const std::string out = vorne_session::run(dir, "DATA triplet\nQUAD 1\nQU\n3\nOCTU 1\nEXIT\n").from_first_prompt();
  EXPECT_EQ(out, kPrompt + title_line(m.table.title) + kPrompt + lens_block(m.lenses[0]) + kPrompt + " Which?> " +
                     lens_block(m.lenses[2]) + kPrompt + " Octupole    1 not found\n" + kPrompt);

  // A supra lens is reported as the lens it sits on.
  write_file(dir / "supra.vrn",
             "Supra\n0.0, 1.0, 1.00728, 3.0, -1.0\n1.0, 5e-6, 2e-4, 5e-6, 2e-4, 0.01\n3.0, 2.0, 0, 0\n"
             "4.0, 0.1, 0.2, 0.005\n24.0, 0.1, 0.1, 0.005\n3.0, 0.5, 0, 0\n9.0, 0, 0, 0\n");
  const std::string supra = vorne_session::run(dir, "DATA supra\nQUAD 2\nEXIT\n").from_first_prompt();
  const double k = kE * (0.3 / 0.005) / momentum(3.0, 1.00728);
  EXPECT_EQ(supra, kPrompt + title_line("Supra") + kPrompt + " \n  Lens , 5 is a supra lens on lens  4.\n\n" +
                       lens_geom(4, integrated_quad(k, 0.1), 0.1, 2.05, 2.05, std::sqrt(k),
                                 0.005 * 0.2 / 1.256637062E-06 / 2, std::sqrt(k) * 0.1) +
                       kPrompt);

  // The fitting mode "apr> " shows each quadrupole as a thin lens of focal length L / psi^2.
  const std::string thin = vorne_session::run(dir, "DATA triplet\nDIAG -6\nQUAD 1\nEXIT\n").from_first_prompt();
  const double f = 0.07 / (m.lenses[0].k * 0.07 * 0.07);
  EXPECT_NE(thin.find("             Focal length    " + pair_m(f, -f)), std::string::npos) << thin;
  EXPECT_NE(thin.find(" \n %GEOM- Data for Thin Lens Approximation.\n"), std::string::npos) << thin;
}

TEST(OpticsSession, FinalRunListingAtLevelsOneToFive) {
  const Model m = example_model();
  const vorne::LensSystem& t = m.table;
  std::string rows;
  std::size_t lens = 0;
  for (int iz = 3; iz < t.izend; ++iz) {
    if (static_cast<int>(t.p(iz, 1)) != 4) {
      rows += row_line(iz, "Drift     ", t.p(iz, 1), {t.p(iz, 2)});
      continue;
    }
    const Lens& l = m.lenses[lens++];
    rows += row_line(iz, "Quadrupole", t.p(iz, 1),
                     {l.len, l.field, 0.005, l.z, l.z + l.x.image, l.z + l.y.image,
                      std::copysign(std::sqrt(std::fabs(l.k)), l.k), l.x.mag, l.y.mag, l.x.f, l.y.f});
  }
  Vec4 start;
  for (int i = 1; i <= 4; ++i) start(i) = t.p(2, i + 1);
  const Vec4 end = vorne::apply(m.s, start);
  const std::string walk = " Initial beam vector;\n" + beam_line(start(1), start(2), start(3), start(4)) + rows +
                           " Final beam vector;\n" + beam_line(end(1), end(2), end(3), end(4));

  for (int level = 1; level <= 5; ++level) {
    TempDir dir;
    std::filesystem::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
    vorne_session::run(dir, "DATA triplet\nEXIT " + std::to_string(level) + "\n").from_first_prompt();
    const std::string listing = read_file(dir / "triplet.lpt");
    const std::string head = " \n           Diagnostic set to  " + std::to_string(level) + "\n\n";
    ASSERT_NE(listing.find(head), std::string::npos) << level;
    const std::string all = listing.substr(listing.find(head) + head.size());
    // The octupole correction report (FISHK's table first) closes the listing.
    const std::size_t fishk = std::min(all.find(" \n %FISHK-"), all.find(" \n                     ---"));
    ASSERT_NE(fishk, std::string::npos) << level;
    EXPECT_NE(all.find("Spherical aberration coefficients", fishk), std::string::npos);
    const std::string tail = all.substr(0, fishk);
    SCOPED_TRACE("level " + std::to_string(level));
    // The walk's trace, then the geometric listing of every lens and the System End.
    if (level == 1) {
      ASSERT_EQ(tail.substr(0, walk.size()), walk);
      EXPECT_EQ(tail.substr(walk.size()).find(lens_block(m.lenses[0]) + lens_block(m.lenses[1])), 0u);
    }
    // Level 2 and 5: every element's matrix; 3: the system matrix after every element.
    EXPECT_EQ(count(tail, "  MATRIX"), level == 2 || level == 5 ? 7u : level == 3 ? 7u : 0u);
    EXPECT_EQ(count(tail, "Collimator  MATRIX"), level == 3 ? 7u : 0u);
    // Levels 4 and 5 also list each lens in the trace.
    EXPECT_EQ(count(tail, "Geometric Parameters"), level >= 4 ? 7u : 4u);
    EXPECT_EQ(count(tail, lens_block(m.lenses[0])), level >= 4 ? 2u : 1u);
    EXPECT_EQ(count(tail, lens_block(m.lenses[1])), level >= 4 ? 2u : 1u);
    const double astig = std::sqrt(m.s(1, 2) * m.s(1, 2) + m.s(3, 4) * m.s(3, 4));
    EXPECT_NE(tail.find(" 10             System End\n     Geometric Parameters       X-Plane      Y-Plane\n"
                        "             Focal length    " + pair_m(-1 / m.s(2, 1), -1 / m.s(4, 3)) + "\n"),
              std::string::npos);
    const std::string note = "\n This is an ASTIGMATIC system  ASTIG = " + qx::edit_g(astig, 13, 5, 1) + " m/r\n";
    EXPECT_EQ(tail.substr(tail.size() - note.size()), note);
  }
}

}  // namespace
