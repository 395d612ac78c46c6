// Computations that the command loop, the commands and the data file need from the walk, the
// fitting and the reports, declared apart so that those callers see nothing more.
#pragma once

#include "app/state.h"

namespace vorne {

// The system walk (STIGMAT, walk.cpp) with the given order code. Whatever else it computes,
// it sets sys.izend to the System End row, sys.total_length and sys.lens_mid.
void system_walk(Vorne& v, int order);

// The fitting objective the prompt shows ("sti> " above 1.0E-4): the combined astigmatism, or
// with idiag = -6 the combined image-distance error. Runs the walk (walk.cpp).
double fitting_objective(Vorne& v);

// The variable list of the coupled lenses (LQRAY and ION build it before their message;
// fitting.cpp).
void build_variable_list(Vorne& v);

// The walk's part of the final-run listing, written to v.report() after the element lines:
// the mode-3 walk's reports, the geometric listing of all rows and the octupole correction
// (element_reports.cpp).
void final_run_reports(Vorne& v);

}  // namespace vorne
