// Spherical aberration of a quadrupole system in the thin-lens picture (FISHK) and its
// correction with three magnetic octupoles (CRAMER).
//
// Both read the results of the last system walk (stored focal lengths, image positions,
// centres, strengths); run a walk first. Coefficients are object-referred SI values
// (m/rad^3), as the third-order sets of the walk hold them.
#pragma once

#include <array>

#include "optics/walk.h"

namespace qx {
class Output;
}

namespace vorne {

// The four spherical coefficients: x/theta^3 (P), x/theta phi^2 (S), y/phi^3 (PB),
// y/theta^2 phi (SB).
struct SphericalCoefficients {
  double p = 0.0;
  double s = 0.0;
  double pb = 0.0;
  double sb = 0.0;
};

inline constexpr int kMaxFishkQuadrupoles = 4;

struct FishkResult {
  bool suited = false;       // false: no quadrupole, or more than four
  int quads = 0;             // quadrupoles counted (superimposed ones left out)
  SphericalCoefficients c;   // the quadrupoles' thin-lens sums
  Magnification m;           // MAG of the whole system
  FocalLengths f;            // FOCAL of the whole system
  bool approximate = false;  // idiag -6: focal lengths 1/(L k^2)
  double astigmatism = 0.0;  // last quadrupole's x - y image position, micrometres
  double symmetry = 0.0;     // four quadrupoles: (1 - D) x 100, percent antisymmetric
};

// The thin-lens sums alone, printing nothing.
FishkResult fishk_coefficients(const LensSystem& s, const WalkSettings& settings);

// FISHK: the sums and their report on out ("unsuited" message, notes, the table and the
// reduced coefficients).
FishkResult fishk(const LensSystem& s, const WalkSettings& settings, qx::Output& out);

// CRAMER's targets are the four spherical coefficients it cancels (m/rad^3): P = x/theta^3,
// S = x/theta phi^2, PB = y/phi^3, SB = y/theta^2 phi (its own names X, B, Y, D).
using CramerTargets = SphericalCoefficients;

inline constexpr int kCorrectingOctupoles = 3;

struct CramerSolution {
  enum class Status { solved, too_few, singular } status = Status::too_few;
  int octupoles = 0;                 // magnetic octupoles in the system
  std::array<int, 3> rows{};         // the three used
  std::array<double, 3> strength{};  // K (1/m^3)
  std::array<double, 3> field{};     // pole-tip field (T)
  std::array<double, 3> residual{};  // Zx, Zy, Zb
  double determinant = 0.0;          // as CRAMER prints it
};

// Solves for the octupole strengths that cancel x/theta^3, the averaged mixed term
// (S + SB)/2 and y/phi^3, and the fields that give them. Changes nothing.
CramerSolution cramer_solution(const LensSystem& s, const WalkSettings& settings, const CramerTargets& t);

// CRAMER: solves, writes the strengths and fields of a solution into the table and prints
// its messages and lines (on settings.error_stream()).
CramerSolution cramer(LensSystem& s, const WalkSettings& settings, const CramerTargets& t);

// CRAMER followed by the "Required corrections;" table of the octupoles it set, on the same
// stream.
CramerSolution octupole_correction(LensSystem& s, const WalkSettings& settings, const CramerTargets& t);

// The octupole-correction report of the final run.
void octupole_correction_report(LensSystem& s, const WalkResult& w, const WalkSettings& settings);

}  // namespace vorne
