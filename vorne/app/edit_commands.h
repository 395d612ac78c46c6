// ELEMEN, COUPLE, INSERT, REMOVE, SQUEEZ and EFFECT: the commands that look at and change the
// element table row by row. The table surgery they use is in system/editing.h.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

void cmd_elemen(Vorne& v, const qx::CommandLine& line);
void cmd_couple(Vorne& v, const qx::CommandLine& line);
void cmd_insert(Vorne& v, const qx::CommandLine& line);
void cmd_remove(Vorne& v, const qx::CommandLine& line);
void cmd_squeez(Vorne& v, const qx::CommandLine& line);
void cmd_effect(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
