// SVG plot files: "pltNN.svg", numbered together with the PostScript files (the run number in
// "num.ps", so a number never names two different plots), or the name DEFINE/V chose. The
// page is the PostScript page (landscape letter in milli-inches) shown upright, scalable
// through its viewBox, on a white background, with a title naming the plot. Lines are drawn
// as the other writers draw them; a segment already drawn (a map's dots falling on the same
// milli-inch) is not drawn again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "qx/plotfile.h"

namespace qx {

struct Session;

struct SvgWriter : PlotFile {
  std::string path;                  // data of the path element being written
  int path_x = 0, path_y = 0;        // where that path's pen is
  int pen_x = 0, pen_y = 0;          // where the next draw starts (device units, y down)
  double path_width = -1.0, path_colour = -1.0;   // the path element's
  std::unordered_set<std::uint64_t> drawn;   // segments in this file, to draw each once
  SvgWriter() = default;
  SvgWriter(SvgWriter&&) noexcept = default;
  SvgWriter& operator=(SvgWriter&&) noexcept = default;
  ~SvgWriter();   // a file still open is finished, so a plot is never lost
};

inline constexpr std::string_view kSvgExtension = ".svg";

// Begins a plot: a new file unless auto-clear is off and one is open; the window fitted onto
// the page frame as on the PostScript page. The plot's title (blank: the file's name) names
// a new file.
// Returns 0, or 1 when no file could be opened.
int svg_begin(Session& s, const PlotStart& p);
// action 3 moves to the point, any other draws to it.
void svg_point(Session& s, double x, double y, int action);
// Finishes and closes the open file, if any, and says so.
void svg_close(Session& s);

}  // namespace qx
