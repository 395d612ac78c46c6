// The user registers A0..A9 and I0..I9, their file "lqsort.reg", and the macro-loop
// commands that use them.
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace lumiray {

inline constexpr const char* kRegisterFile = "lqsort.reg";

// REGLD: loads the registers from lqsort.reg when it exists. All twenty values are taken
// only when both records read. Returns true when they were loaded.
bool load_registers(Lumiray& s);

void reg_command(Lumiray& s, const qx::CommandLine& line);     // REG
void aload_command(Lumiray& s, const qx::CommandLine& line);   // ALOAD
void iload_command(Lumiray& s, const qx::CommandLine& line);   // ILOAD
void incr_command(Lumiray& s, const qx::CommandLine& line);    // INCR
void regsav_command(Lumiray& s, const qx::CommandLine& line);  // REGSAV
void regld_command(Lumiray& s, const qx::CommandLine& line);   // REGLD
void stop_command(Lumiray& s, const qx::CommandLine& line);    // STOP

}  // namespace lumiray
