// PostScript plot files: "pltNN.ps" (run number in "num.ps") or a user-chosen name, on
// landscape letter paper in units of 0.001 inch. The SVG files share the run numbers.
#pragma once

#include <string>
#include <string_view>

#include "qx/plotfile.h"
#include "qx/units.h"

namespace qx {

struct Session;

struct PostScriptWriter : PlotFile {
  std::string line;                   // items waiting to be written (at most five)
  int items = 0;
  double last_width = 1.0, last_colour = 1.0;   // the pen width and colour in the file
  bool drawing = false;
  double move_x = 0.0, move_y = 0.0;  // the last move: where a following draw starts
  double ext_x0 = 11000, ext_x1 = 0, ext_y0 = 8500, ext_y1 = 0;   // drawn extents (mils)
};

inline constexpr const char* kPsRunFile = "num.ps";
inline constexpr int kPsMaxRun = 99;

// PostScript begin: opens a file or continues the open one, fits the plot window of aspect
// ratio a (width over height) with margin factor m onto the page. Returns 0, or 1 when no
// file could be opened.
int ps_begin(Session& s, const PlotStart& p);
// action 2 draws to the point, 3 moves to it.
void ps_point(Session& s, double x, double y, int action);
// Writes a partly filled item line.
void ps_flush(Session& s);
// Ends the page and closes the file, if one is open.
void ps_close(Session& s);

// The next run number after the one in "num.ps" (1 when the file is missing or unreadable,
// 1 again after 99), written back to the file. previous, the writer's last number, serves
// when the file went away.
int next_ps_run(int previous);

// The files numbered by "num.ps": their extension, whether a chosen name without "." gets it
// too, how an existing file is replaced, and the writer's name for messages.
struct NumberedFile {
  std::string_view extension;
  bool extend_chosen;
  FileOutput::Mode mode;
  std::string_view writer;
};
// Opens the next file: the run number advances; the chosen name serves once, otherwise
// "pltNN" and the extension. False, with "Unable to open <writer> plot file <name>", when it
// cannot be opened.
bool open_numbered_file(PlotFile& w, Output& out, const NumberedFile& kind);

}  // namespace qx
