// Commands the table offers but the program does not carry out yet (the trajectory trace and
// the astigmatism scan): each says so and changes nothing.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_trace(Vorne& v, const qx::CommandLine& line);
void cmd_spec(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
