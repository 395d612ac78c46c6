// PLOT: any two of x, theta, y, phi and the energy deviation of the rays against each other
// at a chosen plane, on the graphics device or a plot file.
#pragma once

#include "session/state.h"
#include "qx/command.h"

namespace lumiray {

// A plotted quantity of a ray at the plane z: X and Y in micrometres, T and P in mrad, E in
// percent as stored. letter is one of X, T, Y, P, E.
double phase_value(const Ray& r, double z, char letter);

// The PLOT command.
void plot_command(Lumiray& s, const qx::CommandLine& line);

}  // namespace lumiray
