// P and PTF: the values of the coupling groups, and each lens's field in the unit PTF's
// letter chooses.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_p(Vorne& v, const qx::CommandLine& line);
void cmd_ptf(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
