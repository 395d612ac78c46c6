// FISHK and CRAM: the thin-lens spherical aberration and its correction by octupoles.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_fishk(Vorne& v, const qx::CommandLine& line);
void cmd_cram(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
