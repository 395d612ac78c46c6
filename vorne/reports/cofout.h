// COFOUT: the coefficient file (".cof") that hands the designed system to the ray-trace
// program: object and collimator geometry, the first-order system matrix, the second-order
// system map, the magnification-included third-order coefficients and the chromatic terms,
// as 22 formatted records that the ray-trace program reads group by group.
//
// The command walks the system to third order, asks for the file name and the collimator
// shape, runs the chromatic walk at 0.5 % and writes the file. The file is created new: an
// existing file is never touched, and a file that cannot be finished is not left behind.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "optics/walk.h"
#include "qx/coffile.h"
#include "qx/command.h"
#include "session/state.h"
#include "system/matrix.h"

namespace vorne {

// COFOUT [name]: asks what it lacks and writes the file.
void cmd_cofout(Vorne& v, const qx::CommandLine& line);

using qx::kCofAnswerLength;
using qx::kCofNameLength;
inline constexpr double kCofEnergySpread = 0.5;       // percent, the chromatic walk's spread
// The shadow-plane distance is a single-precision constant of the writer.
inline constexpr double kCofShadowDistance = static_cast<double>(0.1f);

// Everything the file holds, in SI units (metres and radians to the monomial's power).
struct CoefficientValues {
  std::string title;                    // 50 characters, trailing blanks kept
  std::array<double, 4> object{};       // x half extent, 0, y half extent, 0
  std::array<double, 4> aperture{};     // the beam half sizes at the collimator, 0 centres
  double collimator_distance = 0.0;     // the length of the first row after the beam
  char shape = 'C';                     // 'S' square, 'C' circular
  double shadow_distance = kCofShadowDistance;
  double total_length = 0.0;
  Mat4 first;                                         // system matrix
  std::array<std::array<double, 10>, 4> second{};     // outputs x, theta, y, phi; monomials x^2 ... phi^2
  std::array<std::array<double, 10>, 2> third{};      // x plane x MX, y plane x MY
  ChromaticTerms chromatic;                           // x/theta dE, y/phi dE, x/x dE, y/y dE
};

// The name rule, shared with the ray-trace program.
using qx::cof_file_name;

// The values from the table, the last walk (mode 3) and the last chromatic run.
CoefficientValues coefficient_values(Vorne& v, char shape);

// False when any value is infinite or not a number (such a file would poison every ray).
bool all_finite(const CoefficientValues& c);

// Records 1 to 22 of the file, each ending in '\n'.
std::string coefficient_records(const CoefficientValues& c);

}  // namespace vorne
