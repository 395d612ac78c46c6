// The integrated third-order map in the reports: AB3/N (integrated beside formula values),
// AB3/L (the fringe length both use) and COFOUT/N (the integrated map in the coefficient
// file). The map itself is optics/integrated_map.h.
#pragma once

#include "qx/command.h"
#include "reports/cofout.h"

namespace vorne {

struct Vorne;

// AB3/L x: sets the fringe length to x mm (0, or nothing, is the hard-edge limit) and says so.
void ab3_fringe(Vorne& v, const qx::CommandLine& line);

// AB3/N [A]: the integrated image-side coefficients beside AB3's formula values and their
// difference in percent, then the chromatic X/THDM and Y/PHDM alike.
void ab3_integrated(Vorne& v, const qx::CommandLine& line);

// COFOUT/N: replaces the first-order matrix, the second-order map, the third-order and the
// chromatic terms of c by the integrated map's (after a mode-3 walk). False, with a message,
// when there is no integrated map: nothing may then be written.
bool integrated_coefficients(Vorne& v, CoefficientValues& c);

}  // namespace vorne
