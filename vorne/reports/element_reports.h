// The element reports (QUAD, OCTU, SOLEN, ACCEL, DIP, EINZ, VS, GAP, CYL, SEXT) and the walk's
// part of the final run.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// QUAD OCTU SOLEN ACCEL DIP EINZ VS GAP CYL SEXT (the element type from the word).
void cmd_element_report(Vorne& v, const qx::CommandLine& line);

// The walk's part of the final-run listing, written to v.report() after the element lines:
// the mode-3 walk's reports, the geometric listing of all rows and the octupole correction.
void final_run_reports(Vorne& v);

}  // namespace vorne
