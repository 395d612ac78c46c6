// The settings commands keep between commands: PTF's unit factors and letter, MASK's and AGP's
// last masks and MASK's tolerance, and TRACE's qualifier settings. They are members of the
// program's state object (state.h); the commands that own them read and change them.
#pragma once

#include <array>
#include <string_view>

namespace vorne {

// ---- PTF units --------------------------------------------------------------------------------
inline constexpr int kFieldUnits = 13;

// Unit k (1..13): shown value = stored field x factor(k). Factors 9 (strength), 10 (ampere
// turns), 12 (phase angle) and 13 (field gradient) are recomputed for every lens shown and keep
// their last value in between.
struct FieldUnits {
  std::array<double, kFieldUnits> factor{1.0,   10000.0, 10.0, 1398.0766, 22797.41, 0.001, 1.0,
                                         1.0,   1.0,     0.0,  1.0,       1.0,      1.0};
  char letter = ' ';   // the unit letter chosen last (blank: tesla or kilovolts)
  double& operator()(int k) { return factor[static_cast<std::size_t>(k - 1)]; }
  double operator()(int k) const { return factor[static_cast<std::size_t>(k - 1)]; }
};

// Five-character name of unit k (1..13).
std::string_view unit_name(int k);

// ---- MASK masks -------------------------------------------------------------------------------
inline constexpr int kMaskRows = 8;
using MaskRow = std::array<int, 4>;
using Mask = std::array<MaskRow, kMaskRows>;

// Variable-mask row: (kind, row, column, link). Kind 1 or 5 and above: the table entry
// (row, column 2..12); kind 2 with column 1: the rotation of the row. Rows with the same |link|
// form one variable; a negative link moves its entry opposite to the leading one.
// Coefficient-mask row: (class, plane, c1, c2), classes:
//   1 first-order system matrix: plane 1 c = 1 (x|x) 2 (x|th) 3 (th|x) 4 (th|th)
//     5 (x|y) 6 (x|ph) 7 (th|y) 8 (th|ph); plane 2 the same with x, th and y, ph exchanged
//   2 chromatic terms of a run at 0.005 %: c = 1 the angle ray, 2 the position ray
//   3 first-order excitation per lens, 4 per coupling group, 5 third-order per octupole
//   6 second-order map: c = 1..10 the monomials x^2 x.th x.y x.ph th^2 th.y th.ph y^2 y.ph ph^2
//   7 third-order system set, 8 its quadrupole, 9 its octupole contributions (c = 1..10)
// A row whose first entry is 0 ends a mask.
struct FitMasks {
  Mask variables{};
  Mask coefficients{};
  double tolerance = 1.0E-6;
};

// ---- TRACE ------------------------------------------------------------------------------------
inline constexpr int kDefaultTraceSteps = 250;   // steps when the command gives none
inline constexpr int kMaxTraceSteps = 10000;     // more steps are cut to this many (SPEC too)

// TRACE's settings, set by its qualifiers (reports/trace.cpp) and kept between commands.
struct TraceSettings {
  int order = 1;             // O: order of the ray transform, at least 1
  float wait = 0.0f;         // W: seconds to wait before the plot starts
  int font = -1;             // F: font 0-8 of the plot's texts; -1 the graphics layer's own
  bool save = false;         // S: every step goes to "trace.dat"
  bool collimation = true;   // C clears it: rays are not tested against pole tips and jaws
  // What TRACE/R repeats: the last trace's device, steps, z range and plot extent.
  bool repeatable = false;
  char device = ' ';
  int steps = kDefaultTraceSteps;
  double z1 = 0.0, z2 = 0.0;   // m
  double e1 = 0.0, e2 = 0.0;   // mm
};

}  // namespace vorne
