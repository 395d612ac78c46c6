// SORT (LQSORT): the rays in a plane counted into an N x N grid, written as a grid map
// (".agp"); SORT/P adds a percentage table (".lpt"), SORT/C writes a radial count or
// intensity file instead of the grid (".fit"), SORT/F adds an edge scan (".FIT").
#pragma once

#include <cstdint>
#include <vector>

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

inline constexpr int kMaxGrid = 90;
inline constexpr int kDefaultGrid = 25;
inline constexpr int kAnnuli = 1000;

// The square region of the grid in metres: lower corner (lo, lo), side `range`. Grid point i
// (1-based) sits at lo + (i - 1) range / (n - 1), so the edge cells are half as wide.
struct SortRegion {
  double lo = 0.0, range = 0.0;
  int n = kDefaultGrid;
  // The cell (1-based) of a coordinate: the nearest grid point; 0 when it falls outside.
  int cell(double v) const;
  double point(int i) const { return lo + (i - 1) * range / (n - 1); }
};

void sort_command(Lumiray& s, const qx::CommandLine& line);

}  // namespace lumiray
