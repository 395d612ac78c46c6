// The graphics layer as the command loops see it: the library's own commands and the few
// operations the programs call directly.
#pragma once

#include "qx/command.h"
#include "qx/session.h"
#include "qx/units.h"

namespace qx {

// QXCMD: runs the line when its word is one of the library's graphics commands (CLEAR, FONT,
// TERM, MENU, DEFINE, LINE, DEST, CLOSE, CFLAG, MARKS). Returns true when it was one
// (the Fortran routine's notmine = 0). in/out/echo are the caller's current units.
bool qxcmd(Session& s, Input& in, Output& out, bool echo, const CommandLine& line);

// QXCLR: clears the terminal screen in the given mode letter.
void qxclr(Session& s, Output& out, char mode);

// Closes any open plot files and flushes the graphics output (EXIT, CLOSE).
void close_plot_files(Session& s);

}  // namespace qx
