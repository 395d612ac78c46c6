// TRACE, the trajectory trace plot, and the pieces of it that tests drive. Its settings are
// kept with the program's state (session/settings.h).
//
//   trace.cpp        TRACE: qualifiers, the dialogue, the steps, "trace.dat", the collision test
//   trace_plot.cpp   the plot: frame, labels, element outlines, the two trajectories
#pragma once

#include <vector>

#include "qx/command.h"
#include "session/state.h"
#include "system/system.h"

namespace qx {
class Input;
class Output;
struct Session;
}

namespace vorne {

// TRACE[/letter] [n]: a qualifier letter sets a setting; R repeats the last trace; any other
// letter (or none) traces on that plot device.
void cmd_trace(Vorne& v, const qx::CommandLine& line);

// Bore radius (m) the pole-tip test uses for a lens row: column 4 for quadrupoles,
// sextupoles, octupoles, accelerating columns, solenoids and einzel lenses, column 3 for a
// gap lens; negative for kinds whose columns hold fields (dipoles, velocity selectors,
// cylinder lenses) and for rows that are no lens: they are not tested.
double bore_radius(const LensSystem& s, int row);

// One step of a trace, as it is drawn and saved.
struct TraceStep {
  double z = 0.0;    // m
  double x = 0.0;    // mm
  double y = 0.0;    // mm
};

// What the plot shows: the range, the extent, the steps to draw of each curve.
struct TracePlot {
  char device = ' ';
  double z1 = 0.0, z2 = 0.0;   // m
  double e1 = 0.0, e2 = 0.0;   // mm
  int font = -1;
  const std::vector<TraceStep>* steps = nullptr;
  int drawn = 0;               // steps drawn of both curves (up to the first hit)
};

// Starts the plot on p.device (QXPLOT): z1..z2 across, the extent up, with room for the
// labels below and left of the frame. Returns 0, or 1 when the device cannot start.
int start_trace_plot(qx::Session& qx, qx::Input& in, qx::Output& out, const TracePlot& p);
// Draws the frame, the labels, the element outlines of the table and the two trajectories
// on the plot that has been started, and ends the plot (trace_plot.cpp).
void draw_trace(qx::Session& qx, const LensSystem& s, const TracePlot& p);

}  // namespace vorne
