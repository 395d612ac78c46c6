// FIND: from a measured grid shadow pattern (its period, width and a polynomial fitted to
// it) and the coefficient file, the grid's angle and the aberration coefficients.
#pragma once

#include <optional>
#include <string>

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

// The grid angle a (rad) from the arccos of |(D + Zs)/D| g/Ps, with D the distance of the
// crossover from the end of the system (M(1,2)/M(2,2)), Zs the shadow distance, g the grid
// period and Ps the shadow period (all m). Empty when no angle fits.
std::optional<double> grid_angle(double d, double zs, double g, double ps);

// The coefficient (x/th^i) in m/rad^i from the fitted polynomial coefficient c (mm/mm^i).
// m22 is M(2,2), a the grid angle.
double shadow_coefficient(int i, double c, double d, double zs, double g, double ps, double m22, double a);

// The FIND command; name is the coefficient file name as typed (may be blank).
void find_command(Lumiray& s, const qx::CommandLine& line, const std::string& name);

}  // namespace lumiray
