// Gap, einzel and cylinder lenses, dipoles, the velocity selector, the cardinal elements and
// where the routines' messages go.
#include "optics_rig.h"

namespace {

using namespace optics_test;
using vorne::ElementStatus;

constexpr double kE = 1.6021892E-19;
constexpr double kAmu = 1.660565416E-27;

TEST(GapLens, ThinLensBetweenColumns) {
  // Columns of 1 MV/m and 2 MV/m, 3 MeV at the gap: f = 4 T0 / (E2 - E1) = 12 m, whatever
  // the radius column holds.
  for (const double radius : {0.01, 0.5}) {
    Rig r(1.0, 1.00728, 2.0);
    r.add(3.0, 0.5);
    r.add(10.0, 1.0, 1.0, 0.05);
    const int gap = r.add(13.0, 0.0, radius);
    r.add(10.0, 1.0, 2.0, 0.05);
    r.add(3.0, 0.5);
    r.end();
    r.walk();
    EXPECT_DOUBLE_EQ(r.v.walk.element_matrix[gap](2, 1), -1.0 / 12.0);
    EXPECT_DOUBLE_EQ(r.v.walk.element_matrix[gap](4, 3), -1.0 / 12.0);
    EXPECT_DOUBLE_EQ(r.s.p(gap, 11), 12.0);
    EXPECT_EQ(r.s.p(gap, 2), static_cast<double>(0.005f));
    EXPECT_DOUBLE_EQ(r.s.total_length, 3.0 + static_cast<double>(0.005f));
  }
  // Equal fields on both sides: no lens and no message.
  Rig e(1.0, 1.00728, 2.0);
  e.add(10.0, 1.0, 1.0, 0.05);
  const int gap = e.add(13.0, 0.0, 0.01);
  e.add(10.0, 2.0, 2.0, 0.05);
  e.end();
  e.walk();
  EXPECT_EQ(e.v.walk.element_matrix[gap], Mat4::identity());
  EXPECT_EQ(e.take(), "");
}

TEST(FittedLenses, EinzelAndCylinder) {
  Rig r;
  const int einzel = r.add(15.0, 0.1, 1.0, 0.02);
  const int cylinder = r.add(17.0, 0.1, 1.0, 0.02);
  Mat4 a;
  EXPECT_EQ(r.element(vorne::einz, einzel, a), ElementStatus::ok);
  EXPECT_EQ(a, vorne::drift_matrix(0.1));
  EXPECT_EQ(r.element(vorne::cyl, cylinder, a), ElementStatus::ok);
  EXPECT_EQ(a, vorne::drift_matrix(0.1));

  // R = 3: F from the fit written out term by term; the einzel lens keeps the energy
  // (det 1), the cylinder lens scales the slope by sqrt(R) (det sqrt(R)).
  r.s.p(einzel, 3) = 3.0;
  ASSERT_EQ(r.element(vorne::einz, einzel, a), ElementStatus::ok);
  const double R = 3.0;
  const double f = (1.9332 - 0.4333 * R + 0.265 * R * R - 0.060627 * std::pow(R, 3) + 0.0073346 * std::pow(R, 4) -
                    0.00043132 * std::pow(R, 5) + 9.8562e-06 * std::pow(R, 6)) *
                   std::pow(R + 0.6, 1.5) / ((R - 1) * (R - 1));
  EXPECT_NEAR(a(2, 1), -1.0 / f, 1e-12);
  EXPECT_NEAR(det(a), 1.0, 1e-12);
  EXPECT_EQ(a(3, 4), a(1, 2));
  r.s.p(cylinder, 3) = 4.0;
  ASSERT_EQ(r.element(vorne::cyl, cylinder, a), ElementStatus::ok);
  const double f2 = std::fabs((4.6758 + 1.5878 * 4 - 0.00082984 * 16 + 0.00013589 * 64 - 1.5209e-06 * 256 +
                               6.0554e-09 * 1024) * 4.0 / 9.0);
  EXPECT_NEAR(a(2, 1), -2.0 / f2, 1e-12);
  EXPECT_NEAR(det(a), 4.0, 1e-12);   // sqrt(R) per plane

  r.s.p(cylinder, 3) = -1.0;
  EXPECT_EQ(r.element(vorne::cyl, cylinder, a), ElementStatus::degenerate);
  EXPECT_EQ(r.take(), " ?CYL- Voltage ratio out of range in element  4\n");
}

TEST(Dipole, DriftAndCentroidBend) {
  Rig r(2.0, 4.0026, 1.0);
  const int magnetic = r.add(2.0, 0.4, 0.3, -0.1);
  const int electric = r.add(12.0, 0.4, 2.0E5, 0.0);
  Mat4 a;
  EXPECT_EQ(r.element(vorne::dip, magnetic, a), ElementStatus::ok);
  EXPECT_EQ(a, vorne::drift_matrix(0.4));
  EXPECT_EQ(r.s.p(magnetic, 8), 0.0);
  // rho = sqrt(2 m T) / (q B) with the program's own e of 1.6E-19 held in single precision;
  // m is the particle's mass (row 1), not a column of the beam row.
  const double e = static_cast<double>(1.6E-19f);
  Vec4 beam;
  vorne::dipadd(r.s, magnetic, r.particle(), r.settings(), beam);
  const double rho_x = std::sqrt(2 * 4.0026 * kAmu * 1.0E6 * e) / (2 * e * 0.3);
  const double rho_y = std::sqrt(2 * 4.0026 * kAmu * 1.0E6 * e) / (2 * e * -0.1);
  EXPECT_NEAR(beam(1), -0.16 / (2 * rho_x), 1e-15);
  EXPECT_NEAR(beam(2), -0.4 / rho_x, 1e-15);
  EXPECT_NEAR(beam(3), -0.16 / (2 * rho_y), 1e-15);
  EXPECT_NEAR(beam(4), -0.4 / rho_y, 1e-15);
  Vec4 other;
  vorne::dipadd(r.s, electric, r.particle(), r.settings(), other);
  EXPECT_NEAR(other(2), -0.4 / (2 * 1.0E6 / 2.0E5), 1e-15);
  EXPECT_EQ(other(4), 0.0);
}

TEST(VelocitySelector, WienFocusingInX) {
  Rig r(1.0, 1.00728, 0.5);
  const int row = r.add(7.0, 0.3, 1.7, 0.0);
  Mat4 a;
  ASSERT_EQ(r.element(vorne::vs, row, a), ElementStatus::ok);
  // The whole-number field n = 1 T; v from the kinetic energy in joules; the E-field column
  // becomes the Wien field n v; k = n e / (m v).
  const double m = 1.00728 * kAmu;
  const double speed = std::sqrt(2 * 0.5E6 * kE / m);
  const double k = kE / (m * speed);
  EXPECT_NEAR(r.s.p(row, 4), speed, 1e-6);
  EXPECT_NEAR(a(1, 1), std::cos(k * 0.3), 1e-12);
  EXPECT_NEAR(a(2, 1), -k * std::sin(k * 0.3), 1e-9);
  EXPECT_EQ(a(3, 4), 0.3);
  EXPECT_EQ(a(4, 3), 0.0);
  r.s.p(row, 3) = 0.7;   // below 1 T: the whole-number field is 0, a drift
  ASSERT_EQ(r.element(vorne::vs, row, a), ElementStatus::ok);
  EXPECT_EQ(a, vorne::drift_matrix(0.3));
}

TEST(Cardinals, ImagePositionsAndLimits) {
  // Object at the system entrance, a thick quadrupole 2 m later: the stored image positions
  // make D(image - exit) A D(2 m) an imaging matrix, its (1,1) the stored magnification.
  Rig r;
  r.add(3.0, 2.0);
  const int q = r.add(4.0, 0.1, 0.5, 0.005);
  r.add(3.0, 1.0);
  r.end();
  r.walk();
  const Mat4& a = r.v.walk.element_matrix[q];
  for (const int plane : {1, 3}) {
    const Mat4 m = vorne::product(vorne::drift_matrix(r.s.p(q, plane == 1 ? 6 : 7) - 2.1),
                                  vorne::product(a, vorne::drift_matrix(2.0)));
    EXPECT_NEAR(m(plane, plane + 1), 0.0, 1e-12) << plane;
    EXPECT_NEAR(m(plane, plane), r.s.p(q, plane == 1 ? 9 : 10), 1e-12) << plane;
  }
  // An object on the entrance principal plane is its own image; one in the focal plane is
  // imaged at "infinity" (1E30), never at inf or NaN.
  const double h1 = (a(2, 2) - 1) / a(2, 1);
  const vorne::PlaneCardinals own = vorne::plane_cardinals(a(1, 1), a(2, 1), a(2, 2), 0.1, 0.05 - h1);
  EXPECT_EQ(own.mag, 1.0);
  const vorne::PlaneCardinals far = vorne::thin_lens_cardinals(0.25, 0.25);
  EXPECT_EQ(far.image, 1.0E30);
  EXPECT_TRUE(std::isfinite(far.mag));
}

TEST(ElementMessages, GuardsPrintWhereTheirRoutineSays) {
  qx::StringOutput listing(2);
  Rig r;
  const int drift = r.add(3.0, 1.0);
  Mat4 a = Mat4::identity();
  a(1, 1) = 7.0;
  const Mat4 marked = a;
  // Unconditional: QUAD on the report stream (the listing while it is open), DIP on the
  // terminal. By level: ACCEL nowhere at level 0, on the report stream above it.
  r.v.listing = &listing;
  r.v.idiag = 0;
  EXPECT_EQ(r.element(vorne::quad, drift, a), ElementStatus::wrong_kind);
  EXPECT_EQ(r.element(vorne::dip, drift, a), ElementStatus::wrong_kind);
  EXPECT_EQ(r.element(vorne::accel, drift, a), ElementStatus::wrong_kind);
  EXPECT_EQ(r.take(), " ?DIP- Called for non-DIPOLE ELE= 3 ITYPE=  3.0\n");
  EXPECT_EQ(listing.text(), " ?QUAD- Called for non-quad ELE= 3 ITYPE=  3.0\n");
  listing.clear();
  r.v.idiag = 3;
  r.element(vorne::gap, drift, a);
  r.element(vorne::octu, drift, a);
  EXPECT_EQ(listing.text(),
            " ?GAP- Called for non-gap lens ELE =  3 ITYPE=  3.00\n"
            " ?OCTU- Called for non-octupole IZ =  3\n");
  r.v.listing = nullptr;
  r.v.idiag = -1;
  r.element(vorne::solenoid, drift, a);
  EXPECT_EQ(r.take(), " ?SOLENOID- Called for non-solenoid ELE =  3 ITYPE=  3.00\n");
  EXPECT_EQ(a, marked);
}

}  // namespace
