// Excitation coefficients: the ray displacements a power-supply error gives, per lens, per
// octupole and per coupling group. MASK fits them and EXCITE reports them.
#pragma once

#include <array>

#include "session/state.h"

namespace vorne {

// ---- Excitation coefficients ----------------------------------------------------------------
// Ray displacements for a power-supply error of `percent` %, per lens (first order, x and y
// times 1E3), per octupole (third order) and per coupling group (first order). The table and
// its group values are as they were afterwards.
struct ExcitationCoefficients {
  int lenses = 0;
  std::array<std::array<double, 2>, kRows> lens{};
  std::array<int, kRows> lens_row{};   // the row of each lens
  int octupoles = 0;
  std::array<std::array<double, 2>, kRows> octupole{};
  int groups = 0;
  std::array<std::array<double, 2>, kMaxGroups> group{};
};
ExcitationCoefficients excitation_coefficients(Vorne& v, double percent);

}  // namespace vorne
