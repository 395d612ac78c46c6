// MAP: the ray positions in a plane behind the system, plotted on a graphics device
// (LQMAP), and MAXIMA: the largest extent of the beam in a plane.
#pragma once

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

// MAP, MAP/E x, MAP/D x, MAP/R, MAP/I v, MAP/J v; any other option letter is the plot device.
void map_command(Lumiray& s, const qx::CommandLine& line);

// MAXIMA/k n: the largest |x|, |y| of rays 3..NTOT in the plane n um behind the X image
// plane (or the register An named as the argument), times 1.05, stored in register Ak (um).
void maxima_command(Lumiray& s, const qx::CommandLine& line);

}  // namespace lumiray
