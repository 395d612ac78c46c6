// Layouts of the walk's listings, written from the documented edit descriptors; the numbers
// are computed here independently (integrated matrices, closed forms) and edited with the
// project's field editors.
#include "optics_rig.h"
#include "optics/listings.h"
#include "qx/format.h"

namespace {

using namespace optics_test;
using qx::edit_f;
using qx::edit_g;

constexpr double kE = 1.6021892E-19;

TEST(WalkListing, GeometricListingOfLensAndSystemEnd) {
  Rig r;
  r.load("triplet_focused.vrn");
  r.s.p(1, 5) = -1.0;
  r.v.refresh_diagnostic();
  r.walk();

  // The first quadrupole (row 4): object 5.035 m before its centre.
  const double k = kE * (r.s.p(4, 3) / 0.005) / momentum(3.0, 1.00728);
  const double amp = 0.005 * r.s.p(4, 3) / 1.256637062E-06 / 2;
  r.take();
  vorne::geometric_listing(r.s, 4, r.v.walk.element_matrix[4], r.settings());
  EXPECT_EQ(r.take(),
            lens_geom(4, integrated_quad(k, 0.07), 0.07, 5.035, 5.035, std::sqrt(k), amp, std::sqrt(k) * 0.07));

  // The System End: the system matrix, object distance to the first lens, image distance of
  // the last lens (focused: 0.185 m to the end), then the particle.
  const Mat4 s = r.v.walk.s;
  const double mc2 = 1.00728 * 1.660565416E-27 * 299792458.0 * 299792458.0 / kE / 1e6;   // MeV
  const double pc = std::sqrt(3.0 * 3.0 + 2 * 3.0 * mc2);
  const double gamma = 1 + 3.0 / mc2;
  const double beta = std::sqrt(1 - 1 / (gamma * gamma));
  vorne::geometric_listing(r.s, r.s.izend, s, r.settings());
  EXPECT_EQ(r.take(),
            " \n"
            " 10             System End\n"
            "     Geometric Parameters       X-Plane      Y-Plane\n"
            "             Focal length    " + pair_m(-1 / s(2, 1), -1 / s(4, 3)) + "\n"
            "          Object distance    " + pair_m(5.035, 5.035) + "\n"
            "           Image distance    " + pair_m(0.185, 0.185) + "  theta " + g10(0.0) + "\n"
            "            Magnification    " + g12(s(1, 1)) + "   " + g12(s(3, 3)) + "\n"
            "          Demagnification    " + g12(s(2, 2)) + "   " + g12(s(4, 4)) + "\n"
            " Entrance principle plane    " + pair_m((s(2, 2) - 1) / s(2, 1), (s(4, 4) - 1) / s(4, 3)) + "\n"
            "     Exit principle plane    " + pair_m((s(1, 1) - 1) / s(2, 1), (s(3, 3) - 1) / s(4, 3)) + "\n"
            " \n"
            "          Particle energy         " + g12(3.0) + "   MeV\n"
            "        Particle Momentum         " + g12(pc) + "   Mev/c\n"
            "           Particle Speed         " + g12(beta * 299792458.0) + " m/s  (" + edit_f(100 * beta, 6, 2) +
                " %c)\n"
            " Tau = (1 - v**2/c**2)**0.5        " + edit_f(1 / gamma, 10, 7) + "\n"
            " Magnetic rigidity (u.MeV/e2)     " + g12(3.0 * 1.00728) + "m.u.MeV/Q2\n"
            "\n");

  // Drifts print nothing; levels 1 to 3 and above 5 print nothing either.
  vorne::geometric_listing(r.s, 3, r.v.walk.element_matrix[3], r.settings());
  r.v.idiag = 2;
  vorne::geometric_listing(r.s, 4, r.v.walk.element_matrix[4], r.settings());
  EXPECT_EQ(r.take(), "");
}

TEST(WalkListing, TracesAtEachLevel) {
  // Drift, quadrupole, drift: the rows, the element or system matrices, the beam vectors.
  auto run = [](int level) {
    Rig r;
    r.beam(1e-5, 2e-4, 0.0, 1e-4);
    r.add(3.0, 1.0);
    r.add(4.0, 0.1, 0.0, 0.005);   // no field: a drift, its results all zero
    r.add(3.0, 0.5);
    r.end();
    r.v.set_diagnostic(level);
    r.walk();
    return r.take();
  };
  const std::string beam_in = " \n  Beam data  " + edit_g(10.0, 13, 5) + " UM  " + edit_g(0.2, 13, 5) + " MR  " +
                              edit_g(0.0, 13, 5) + " UM  " + edit_g(0.1, 13, 5) + " MR  \n";
  const std::string beam_out = " \n  Beam data  " + edit_g(10.0 + 1.6 * 200, 13, 5) + " UM  " + edit_g(0.2, 13, 5) +
                               " MR  " + edit_g(160.0, 13, 5) + " UM  " + edit_g(0.1, 13, 5) + " MR  \n";
  std::string quad_row = " \n    4 Quadrupole 4.00";
  for (const double x : {0.1, 0.0, 0.005, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0})
    quad_row += " " + edit_g(x, 11, 4, 1);
  quad_row += "\n";
  const std::string rows = " \n    3 Drift      3.00 " + edit_g(1.0, 11, 4, 1) + "\n" + quad_row +
                           " \n    5 Drift      3.00 " + edit_g(0.5, 11, 4, 1) + "\n";
  EXPECT_EQ(run(1), " Initial beam vector;\n" + beam_in + rows + " Final beam vector;\n" + beam_out);

  // Level 2 adds each element's matrix after its row: the quadrupole's is a drift of 0.1 m.
  const std::string level2 = run(2);
  const std::string title = " \n     Quadrupole  MATRIX\n\n";
  const std::string zero = edit_g(0.0, 13, 6);
  const std::string one = edit_g(1.0, 13, 6);
  const std::string row1 = "     A(1,1) = " + one + "    A(1,2) = " + edit_g(0.1, 13, 6) + "    A(1,3) = " + zero +
                           "    A(1,4) = " + zero + "\n";
  EXPECT_NE(level2.find(quad_row + title + row1), std::string::npos) << level2;
  // Level 3 prints the system matrix, titled as kind 5 with the letter B.
  const std::string level3 = run(3);
  EXPECT_NE(level3.find(quad_row + " \n     Collimator  MATRIX\n\n     B(1,1) = " + one + "    B(1,2) = " +
                        edit_g(1.1, 13, 6)),
            std::string::npos)
      << level3;
  // Levels 6 and 7 list the beam vectors only.
  EXPECT_EQ(run(6), " Initial beam vector;\n" + beam_in + " Final beam vector;\n" + beam_out);
}

}  // namespace
