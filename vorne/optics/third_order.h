// Third-order geometric aberrations: each lens's own coefficient set (referred to the lens's
// own object), the addition of such sets into system sums referred to the system object
// (TADD), the conversion to image-side micrometre/milliradian units and the coefficient print.
//
// A set holds 2 planes x 10 coefficients in SI units (m/rad^3 and the like). Plane 1 gives
// the x deviation, plane 2 the y deviation; coefficient j multiplies, in plane 1 (plane 2
// exchanges x with y and theta with phi):
//   1 theta^3   2 theta phi^2   3 theta^2 x   4 phi^2 x   5 theta phi y
//   6 theta x^2 7 theta y^2     8 x phi y     9 x^3      10 x y^2
//
// The walk (walk.cpp) calls element_third_order and tadd for every quadrupole, octupole and
// solenoid at third order; everything here is a pure computation on the table except the
// thin printing wrappers (the -4 trace, the TADD message, print_third_order).
#pragma once

#include "optics/walk.h"

namespace qx {
class Output;
}

namespace vorne {

// ---- Pieces of the element routine --------------------------------------------------------------
// Aberration factors of a quadrupole with electric fraction s (0 magnetic, -1 electric):
// c1 = (3 s^2 - 2 s + 2)/6 multiplies the in-plane term, c2 = -(s^2 - 2 s - 2)/2 the mixed one.
struct QuadFactors {
  double c1 = 0.0;
  double c2 = 0.0;
};
QuadFactors quad_factors(double s);

// Octupole superimposed on a quadrupole of signed strength k (1/m): the in-plane (o1) and
// mixed (o2) coefficients for each plane, from the distances ux, uy of the lens object to
// the octupole's entrance, the octupole strength k3 (1/m^3) and its length len.
struct OctupoleInQuad {
  double o1x = 0.0;
  double o2x = 0.0;
  double o1y = 0.0;
  double o2y = 0.0;
};
OctupoleInQuad octupole_in_quadrupole(double k, double ux, double uy, double k3, double len);

// A separate octupole of strength k3 and length len: the ten coefficients of one plane from
// the distances u (own plane) and w (other plane) of the lens object to its entrance.
// plane is 1 or 2 and selects where they are written in c.
void thick_octupole(double k3, double len, double u, double w, int plane, ThirdOrderSet& c);

// Strength K3 (1/m^3) of a superimposed octupole row from its field and radius, with the
// particle momentum taken for the kinetic energy |T q|: (e/p) P2 / P3^3 magnetic,
// -2 P2 / (P3^4 |T q| 1E6) electric. 0 for a radius that is not positive.
double supra_octupole_strength(const LensSystem& s, int row);

// ---- The element routine ----------------------------------------------------------------------
// What the quadrupole routine found, for the -4 trace.
struct QuadTrace {
  double beta = 0.0;    // |strength| of the quadrupole
  double gamma1 = 0.0;  // K3 of the first superimposed octupole
  double gamma2 = 0.0;  // K3 of the second
  int octupoles = 0;    // superimposed octupoles met
};

// The third-order set of the lens at row iz referred to its own object: QSPHER for a
// quadrupole (idiag -8 and -9 select the thin-lens variants), the closed integrals for an
// octupole, the spherical term for a solenoid, zero for anything else. Reads the first-order
// results the element routine has just stored in the row. trace (may be null) receives what
// the -4 trace shows.
ThirdOrderSet lens_third_order(const LensSystem& s, int iz, int idiag, QuadTrace* trace = nullptr);

// QSPHER alone (row iz must be a quadrupole).
ThirdOrderSet qspher(const LensSystem& s, int iz, int idiag, QuadTrace* trace = nullptr);

// The walk's element set: lens_third_order with the working level, and the -4 trace of a
// quadrupole on the terminal.
void element_third_order(const LensSystem& s, int iz, const WalkSettings& settings, ThirdOrderSet& c);

// ---- Adding into system sums -----------------------------------------------------------------------
// The referral of a lens at row iz to the system object: the magnification up to its object
// and the focal lengths of the subsystem before it, both taken at its preceding lens.
struct Referral {
  int preceding = 2;  // 2: the lens is the first and needs no referral
  Magnification m;    // MAG at the preceding lens
  FocalLengths f;     // FOCAL at the preceding lens
};
Referral lens_referral(const LensSystem& s, int iz, const WalkSettings& settings);

// sys + lens referred to the system object through r (TADD's formulas).
ThirdOrderSet referred_sum(const ThirdOrderSet& sys, const ThirdOrderSet& lens, const Referral& r);

// TADD: adds a lens's set into a system accumulator, referred to the system object; a zero
// magnification before the lens is reported and leaves the sums as they are.
void tadd(const LensSystem& s, int iz, const WalkSettings& settings, const ThirdOrderSet& lens, ThirdOrderSet& sys);

// ---- Units and printing ----------------------------------------------------------------------------
// Magnification-included set: plane 1 x MX, plane 2 x MY, each coefficient scaled to
// micrometres per milliradian power (1E-3, 1E-6, 1E-9, 1E-12 for j = 1-2, 3-5, 6-8, 9-10).
ThirdOrderSet magnification_included(const ThirdOrderSet& c, const Magnification& m);

// Coefficient print kinds.
enum CoefficientKind : int {
  kLensCoefficients = 1,       // "Third order lens coefficients", letter T
  kSystemCoefficients = 2,     // "Third order system coefficients", S
  kMagSystemCoefficients = 3,  // "Mag. included third order system coeffs", R
  kMagLensCoefficients = 4,    // "Mag. included third order lens coeffs", W
};

// Coefficient print of a set on out, of a CoefficientKind.
void print_third_order(qx::Output& out, const ThirdOrderSet& c, int kind);

}  // namespace vorne
