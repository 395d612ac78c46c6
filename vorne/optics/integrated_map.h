// The third-order map of the system integrated through the lens fields (fields.h) instead of
// summed from the closed aberration formulas.
//
// The map carries (x, theta, y, phi) at the object to the System End as power series in
// (x, theta, y, phi, delta): third order in the transverse variables, first order in the
// energy error delta (percent). Slopes are the angles, as everywhere in the program; the
// equations of motion in z are the exact ones for a static magnetic field:
//   x'' = kappa N (x'y' Bx - (1 + x'^2) By + y' Bz)
//   y'' = kappa N ((1 + y'^2) Bx - x'y' By - x' Bz),     N = sqrt(1 + x'^2 + y'^2).
// Drifts are exact. Magnetic quadrupoles, sextupoles, octupoles and solenoids (with magnetic
// lenses superimposed on them) are integrated with an embedded Runge-Kutta 5(4) pair under
// local error control. Every other lens row (electric lenses, dipoles, accelerating columns,
// gap, einzel and cylinder lenses, velocity selectors) is passed with its first-order matrix
// from the last walk and its own closed-formula aberrations; the outcome lists those rows.
//
// A fringe length of 0 asks for the hard-edge limit: constant fields between the edges and,
// at a quadrupole's edges, the end terms that remain of its fringe field as the fringe
// length goes to zero (they do not vanish). A solenoid has no such limit (its third-order
// terms grow as 1/lambda): at lambda = 0 it is passed like the rows of other kinds. To check
// the end terms, the maps at three short fringe lengths (h, 2h, 4h, h a small fraction of
// the shortest lens) can be extrapolated to lambda = 0 instead, which removes the terms in
// lambda and lambda^2.
//
// Everything here takes its inputs explicitly (the table after a walk, the walk's element
// matrices, the settings) and prints nothing; the commands print the outcome.
#pragma once

#include <array>
#include <vector>

#include "optics/fields.h"
#include "qx/tps.h"
#include "system/matrix.h"
#include "system/system.h"

namespace vorne {

// Final (x, theta, y, phi) as series in the object's (x, theta, y, phi, delta).
using PhaseMap = std::array<qx::Tps, 4>;

// The element matrices of the last walk, indexed by row.
using ElementMatrices = std::array<Mat4, kRows + 1>;

inline constexpr double kMaxFringe = 0.1;   // m: longer fringes are not a lens end any more
inline constexpr double kShortLens = 4.0;   // lens lengths in fringe lengths that keep a body

struct MapSettings {
  double fringe = 0.0;        // lambda (m); 0: the hard-edge limit
  double tolerance = 1e-10;   // local error per step, relative to each group of coefficients
  int idiag = 0;              // diagnostic level for the closed formulas of rows not integrated
  bool extrapolate = false;   // hard-edge limit by extrapolation instead of the end terms
  bool end_terms = true;      // false: hard-edge limit without the quadrupoles' end terms (to
                              // show their size beside the closed formulas, which have none)
};

enum class MapStatus {
  ok,
  no_system,      // no System End
  bad_fringe,     // fringe negative, not finite or above kMaxFringe
  bad_length,     // a lens of negative or non-finite length
  zero_bore,      // a multipole lens with a field and a bore radius that is not positive
  no_energy,      // the particle has no momentum
  step_failure,   // the step control could not meet the tolerance
  not_finite      // the map came out with a non-finite coefficient
};

struct MapOutcome {
  MapStatus status = MapStatus::ok;
  int row = 0;                       // the row at fault
  PhaseMap map;                      // valid when status is ok
  std::vector<int> formula_rows;     // lens rows passed with their matrix and closed formulas
  std::vector<int> zero_length_rows; // lenses with a field but no length (no effect)
  std::vector<int> no_limit_rows;    // solenoids among formula_rows: no hard-edge limit
  std::vector<int> long_fringe_rows; // lenses shorter than kShortLens fringe lengths: their
                                     // field never reaches its body value
  long steps = 0;                    // integration steps taken (all fringe lengths)
};

// The integrated map of the system in s (read after a first-order or higher walk, which
// fills the derived columns the rows not integrated need) with the walk's element matrices a.
// per_percent, when given, holds each element matrix's change per percent of energy, which
// the rows not integrated then contribute to the chromatic terms.
MapOutcome integrated_map(const LensSystem& s, const ElementMatrices& a, const MapSettings& settings,
                          const ElementMatrices* per_percent = nullptr);

// One ray (x, theta, y, phi) at the object with energy error delta (percent) traced through
// the same fields with the same integrator; rows not integrated act at first order.
struct RayOutcome {
  MapStatus status = MapStatus::ok;
  int row = 0;
  Vec4 ray;
};
RayOutcome trace_ray(const LensSystem& s, const ElementMatrices& a, const MapSettings& settings, const Vec4& start,
                     double delta, const ElementMatrices* per_percent = nullptr);

// Coefficient of a monomial of the object variables in output component i (1 x, 2 theta,
// 3 y, 4 phi): exponents of x, theta, y, phi, delta.
double map_coefficient(const PhaseMap& m, int i, const qx::Tps::Exponents& e);

// The ten third-order coefficients of plane 1 (x) or 2 (y) in the order of the aberration
// sets (theta^3, theta phi^2, theta^2 x, ...; plane 2 with x, y and theta, phi exchanged),
// in SI units: image-side deviation per object-side variable.
std::array<double, 10> third_order_coefficients(const PhaseMap& m, int plane);

// Exponents of the j-th (1..10) monomial of the aberration sets for a plane.
qx::Tps::Exponents aberration_monomial(int plane, int j);

}  // namespace vorne
