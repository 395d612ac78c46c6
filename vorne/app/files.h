// DATA and SAVE: loading the system from its data file and saving it there.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_data(Vorne& v, const qx::CommandLine& line);
void cmd_save(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
