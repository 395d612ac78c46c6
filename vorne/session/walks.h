// The walk and the first-order properties run on the program's state: each builds the walk's
// settings from the state (diagnostic level, warning switch, terminal and listing) and runs
// the computation of optics/walk.h, which takes its inputs explicitly.
#pragma once

#include "optics/walk.h"
#include "session/state.h"

namespace vorne {

// The settings of a walk of order code `order` on v's state.
WalkSettings walk_settings(const Vorne& v, int order = 1, bool trace = true);

// STIGMAT on v.sys into v.walk. With trace, a diagnostic level above the traces' range is set
// to 1 first; without, a positive level traces nothing (a walk that only refreshes the results
// a report shows). Nothing happens when no system is loaded.
void system_walk(Vorne& v, int order, bool trace = true);

// MAG and FOCAL of v.sys up to row iz (notes on the terminal when the warning switch is on).
Magnification mag(Vorne& v, int iz);
FocalLengths focal(Vorne& v, int iz);

// A first-order walk, then the fitting objective the prompt shows ("sti> " above 1.0E-4).
double squared_objective(Vorne& v);

// The ray transform with the results of the last walks.
void ray_transform(Vorne& v, int m, Vec4& x, const Mat4& a);

// The chromatic run: its two rays' terms go to v.walk.chromatic; the table and the rest of
// the walk's results are as they were.
void chromatic_run(Vorne& v, double de);

}  // namespace vorne
