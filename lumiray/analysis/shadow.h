// SHADOW (LQGRID): the current ray set through a fine grid of bars and holes at a chosen
// plane; the rays that get through form a new ray set, the shadow pattern's raw material.
#pragma once

#include <string>

#include "session/state.h"

namespace lumiray {

// A square grid: period and bar width in metres, rotation in degrees, and what sits on the
// axis (a hole or a bar).
struct Grid {
  double period = 12.7e-6;
  double bar = 6.35e-6;
  double rotation = 0.0;
  bool bar_at_origin = false;
};

// True when the point (x, y) of the grid plane (m) lies in a hole of the grid.
bool grid_passes(const Grid& g, double x, double y);

// The SHADOW command; name is the output file name as typed (may be blank).
void shadow_command(Lumiray& s, const std::string& name);

}  // namespace lumiray
