// THIRD, AB3 and AB2: the third-order coefficients of the system and its lenses, and the
// second-order map.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_third(Vorne& v, const qx::CommandLine& line);
void cmd_ab3(Vorne& v, const qx::CommandLine& line);
void cmd_ab2(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
