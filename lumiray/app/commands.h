// The command loop of lumiray: start-up, prompt, macros, the command table.
#pragma once

#include <string_view>

#include "qx/command.h"
#include "session/state.h"

namespace lumiray {

// Registers from lqsort.reg, delays from lqsort.del, the banner and the login macro.
void start_up(Lumiray& s);

// Prompts, reads and runs command lines until EXIT or the end of the keyboard input.
void run(Lumiray& s);

// Runs one raw input line as the loop does (tests, and the loop itself).
void run_line(Lumiray& s, std::string_view raw);

// EXIT: closes the ray files and the plot files; the loop then ends.
void exit_program(Lumiray& s);

}  // namespace lumiray
