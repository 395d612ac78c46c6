// The command table of the design program and the handlers it dispatches to.
//
// The table has 60 six-character slots in a fixed order (54 in use, 55-60 blank); a typed word
// selects the first entry it begins, so the order decides what an abbreviation means ("E" is
// EXIT, "EXC" is EXCITE). Every handler has the same shape and receives the program's state and
// the parsed command line; each is declared in the header of the file that defines it
// (fit/ptf.h, reports/system_reports.h ...). Adding a command's work means defining its
// handler; the table rows stay as they are.
#pragma once

#include <array>
#include <string_view>

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

using Handler = void (*)(Vorne&, const qx::CommandLine&);

struct Command {
  std::string_view word;   // as MENU shows it (at most 6 characters; blank slots are "")
  Handler run;             // nullptr for a blank slot
};

inline constexpr int kCommandSlots = 60;

// The table in its documented order.
const std::array<Command, kCommandSlots>& command_table();

// Index (0-based) of the command a word selects, first match in table order; -1 for none.
int find_command(std::string_view word);

// ---- The commands of the program itself; the others are declared beside their subject -------
void cmd_exit(Vorne& v, const qx::CommandLine& line);
void cmd_help(Vorne& v, const qx::CommandLine& line);
void cmd_cap(Vorne& v, const qx::CommandLine& line);
void cmd_diag(Vorne& v, const qx::CommandLine& line);
void cmd_lqray(Vorne& v, const qx::CommandLine& line);
void cmd_ion(Vorne& v, const qx::CommandLine& line);
void cmd_corr(Vorne& v, const qx::CommandLine& line);
void cmd_rotn(Vorne& v, const qx::CommandLine& line);
void cmd_disp(Vorne& v, const qx::CommandLine& line);
void cmd_macro(Vorne& v, const qx::CommandLine& line);   // @
void cmd_clear(Vorne& v, const qx::CommandLine& line);
void cmd_menu(Vorne& v, const qx::CommandLine& line);
void cmd_shell(Vorne& v, const qx::CommandLine& line);   // $
void cmd_nothing(Vorne& v, const qx::CommandLine& line); // XSCTN, IDLOUT: accepted, no action

}  // namespace vorne
