// The command table of the design program and the handlers it dispatches to.
//
// The table has 60 six-character slots in a fixed order (54 in use, 55-60 blank); a typed word
// selects the first entry it begins, so the order decides what an abbreviation means ("E" is
// EXIT, "EXC" is EXCITE). Every handler has the same shape and receives the program's state and
// the parsed command line. Adding a command's work means defining its handler; the table rows
// stay as they are.
#pragma once

#include <array>
#include <string_view>

#include "qx/command.h"
#include "app/state.h"

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

// ---- Handled by the command loop itself (commands.cpp) ----------------------------------------
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

// ---- System data file (datafile.cpp) ----------------------------------------------------------
void cmd_data(Vorne& v, const qx::CommandLine& line);
void cmd_save(Vorne& v, const qx::CommandLine& line);

// ---- Defined beside their subject ------------------------------------------------------------------
// Element review and editing
void cmd_elemen(Vorne& v, const qx::CommandLine& line);
void cmd_couple(Vorne& v, const qx::CommandLine& line);
void cmd_insert(Vorne& v, const qx::CommandLine& line);
void cmd_remove(Vorne& v, const qx::CommandLine& line);
void cmd_squeez(Vorne& v, const qx::CommandLine& line);
void cmd_effect(Vorne& v, const qx::CommandLine& line);
// Variables, field entry and fitting
void cmd_p(Vorne& v, const qx::CommandLine& line);
void cmd_ptf(Vorne& v, const qx::CommandLine& line);
void cmd_s(Vorne& v, const qx::CommandLine& line);      // S and STIG (STIG fits)
void cmd_mask(Vorne& v, const qx::CommandLine& line);
void cmd_agp(Vorne& v, const qx::CommandLine& line);
// Trajectory trace and astigmatism scan: not built yet; pending.cpp accepts them and does nothing.
void cmd_trace(Vorne& v, const qx::CommandLine& line);
void cmd_spec(Vorne& v, const qx::CommandLine& line);
// Result reports
void cmd_third(Vorne& v, const qx::CommandLine& line);
void cmd_ab3(Vorne& v, const qx::CommandLine& line);
void cmd_smat(Vorne& v, const qx::CommandLine& line);
void cmd_system(Vorne& v, const qx::CommandLine& line);
void cmd_russ(Vorne& v, const qx::CommandLine& line);
void cmd_excite(Vorne& v, const qx::CommandLine& line);   // EXCITE and CHROM
void cmd_vector(Vorne& v, const qx::CommandLine& line);
void cmd_ab2(Vorne& v, const qx::CommandLine& line);
void cmd_cram(Vorne& v, const qx::CommandLine& line);
// Element reports: QUAD OCTU SOLEN ACCEL DIP EINZ VS GAP CYL SEXT (type from the word)
void cmd_element_report(Vorne& v, const qx::CommandLine& line);
// Corrections, second-order and sensitivity reports, coefficient file
void cmd_fishk(Vorne& v, const qx::CommandLine& line);
void cmd_parasi(Vorne& v, const qx::CommandLine& line);
void cmd_cofout(Vorne& v, const qx::CommandLine& line);
// The rotational and displacement aberration reports (ROTN and DISP without Z, A or /I).
void rotation_report(Vorne& v, const qx::CommandLine& line);
void displacement_report(Vorne& v, const qx::CommandLine& line);

}  // namespace vorne
