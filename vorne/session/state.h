// The design program's one state object. main() creates it and every command receives it by
// reference; nothing else in the program keeps state between commands.
//
// Every member has a default initialiser (the field-entry units and the fit settings among
// them), so a fresh Vorne is always a program just started.
#pragma once

#include <memory>
#include <string>

#include "optics/walk.h"
#include "qx/session.h"
#include "qx/units.h"
#include "session/settings.h"
#include "system/diagnostic_levels.h"
#include "system/system.h"

namespace vorne {

inline constexpr int kMacroLevels = 9;    // nested macro files above the keyboard

struct Vorne {
  // terminal: the user's terminal (unit 6); keyboard: standard input (unit 5).
  Vorne(qx::Output& terminal, std::unique_ptr<qx::Input> keyboard);
  Vorne(const Vorne&) = delete;
  Vorne& operator=(const Vorne&) = delete;

  qx::Output& term;           // the terminal: prompts, messages, answers' echoes
  qx::Session qx;             // the library's state (parser trace, graphics destination ...)
  qx::InputStack input;       // keyboard and up to kMacroLevels macro files
  LensSystem sys;             // the element table and everything that goes with it
  WalkResult walk;            // results of the last system walk
  bool warnings = false;      // warning switch: on after a fit; gates the MAG and FOCAL notes
  FieldUnits units;           // PTF: unit factors (start values) and the unit letter chosen
  FitMasks masks;             // MASK and AGP: the last masks and MASK's tolerance
  TraceSettings trace;        // TRACE: qualifier settings and what TRACE/R repeats

  int idiag = kTerminalLevel; // working diagnostic level (follows row 1, column 5)
  std::string help_file;      // help file name (at most 50 characters)
  std::string corr_name;      // output name set by CORR ("<argument>.lpt"), blank if none
  int excite_unit = 1;        // EXCITE/CHROM: field unit 1-5 of PTF's table (1 shows "%")
  double fringe = 0.0;        // AB3/L: fringe length (m) of AB3/N and COFOUT/N; 0 hard edge
  qx::Output* listing = nullptr;   // the final run's listing while it is open
  bool finished = false;      // set by the commands that end the program

  // Where reports go: the listing while the final run has it open, else the terminal.
  qx::Output& report() { return listing != nullptr ? *listing : term; }
  // Current command input and whether it is a macro (answers read there are echoed).
  qx::Input& in() { return input.current(); }
  bool echo() const { return input.in_macro(); }

  // Stores a diagnostic level in row 1, column 5 and makes it the working level (nearest
  // integer). Every change of the stored level goes through here, so both stay in step.
  void set_diagnostic(double level);
  // Refreshes the working level from row 1, column 5 (before every prompt).
  void refresh_diagnostic();
};

// "?VORNE- No system loaded." on the terminal and false when no system is loaded: the check
// of every command that needs a system.
bool require_system(Vorne& v);

// Default help file, where `make install` puts it.
#ifdef VORNE_HELP_PATH
inline constexpr const char* kDefaultHelpFile = VORNE_HELP_PATH;
#else
inline constexpr const char* kDefaultHelpFile = "/usr/local/lib/vorne.hlp";
#endif
// The help file of the source tree this program was built from, for a build not installed.
#ifdef VORNE_SOURCE_HELP
inline constexpr const char* kSourceHelpFile = VORNE_SOURCE_HELP;
#else
inline constexpr const char* kSourceHelpFile = "";
#endif

}  // namespace vorne
