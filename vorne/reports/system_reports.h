// SMAT, SYSTEM, RUSS and VECTOR: the first-order system and a beam vector through it.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_smat(Vorne& v, const qx::CommandLine& line);
void cmd_system(Vorne& v, const qx::CommandLine& line);
void cmd_russ(Vorne& v, const qx::CommandLine& line);
void cmd_vector(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
