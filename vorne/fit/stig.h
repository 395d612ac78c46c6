// S and STIG: the astigmatism of the system, and its fit by the coupling groups with STEPIT.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// S and STIG (STIG fits).
void cmd_s(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
