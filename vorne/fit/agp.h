// AGP: the MASK objective of two variables on a grid, written to a file for plotting.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_agp(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
