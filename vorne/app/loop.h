// Start-up, the prompt loop and macro files of the design program.
#pragma once

#include <string>
#include <string_view>

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

inline constexpr std::string_view kMacroExtension = ".vcm";   // macro files

// Banner, empty system, terminal type 8 for the graphics layer, the start hint and the login
// macro "login.vcm" when it exists in the current directory.
void start_up(Vorne& v);

// Prompts, reads and runs commands until a command ends the program (v.finished) or the
// keyboard input ends (which ends the program as EXIT with no number does).
void command_loop(Vorne& v);

// The prompt for the next read: "vrn> ", "apr> " (idiag -6) or "sti> " (fitting objective
// above 1.0E-4 while idiag < -1); inside a macro its last blank becomes "_".
std::string choose_prompt(Vorne& v);

// Runs one line as if it had been read at the prompt (everything after the echo).
void run_line(Vorne& v, std::string_view raw);

// Opens a macro file at the next input level. On failure prints "Unable to open " and the
// name and returns false (a missing file, or all nine levels in use).
bool open_macro(Vorne& v, const std::string& name);

// Ends the current macro file as its end of file does: closes it, returns to the level below
// and stores the diagnostic level -2.
void end_macro(Vorne& v);

}  // namespace vorne
