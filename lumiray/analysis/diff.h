// DIFF (LQDIFF): differential brightness, the counts per unit area in annuli about the
// axis at a chosen plane, written as a plot-data file.
#pragma once

#include <string>
#include <vector>

#include "session/state.h"

namespace lumiray {

// Ring of a ray at radius r (m) among n rings of width range/n: ring k holds
// [(k-1)d, kd). 0 when the ray lies outside the range.
int brightness_ring(double r, double range, int n);

// The DIFF command; name is the output name as typed (may be blank).
void diff_command(Lumiray& s, const std::string& name);

}  // namespace lumiray
