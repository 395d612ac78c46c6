// HPGL plot files: numbered files "H<n>.hgl" / "P<n>.hgl" (run number in "hpnum.hgl") or a
// user-chosen name, for printers that understand HP-GL/2 (option H) or pen plotters (P).
#pragma once

#include "qx/plotfile.h"

namespace qx {

struct Session;

struct HpglWriter : PlotFile {
  bool x_vertical = false;            // orientation of the x-axis on the page
  bool orientation_chosen = false;    // set by the caller; otherwise the option decides
  int items = 0;                      // move/draw items on the current line (0-5)
  bool move_pending = false;          // the last action was a move not yet written
  int pend_x = 0, pend_y = 0;         // that move
  double width = 0.15;                // pen width (mm)
  int pen = 1;                        // pen number
};

inline constexpr const char* kHpglRunFile = "hpnum.hgl";
inline constexpr int kHpglMaxRun = 99999;

// HPGL begin: option letter H or P (either case), aspect ratio a (width over height; 1.0E-5
// or less means the full area), plot window. orientation: 0 by the option, 1 x-axis
// horizontal, 2 x-axis vertical. Returns 1 (with its message) for a zero range or a file that
// cannot be opened, 0 otherwise.
int hpgl_begin(Session& s, char option, double a, double x0, double x1, double y0, double y1,
               int orientation = 0);
// A move (action 3) or a draw (any other action) to a plot point.
void hpgl_point(Session& s, double x, double y, int action);
// p > 0 selects pen p, p < 0 sets the width |p * 0.15|; returns the pen number in effect.
int hpgl_pen(Session& s, int p);
// Ends and closes the open file, if any.
void hpgl_close(Session& s);

// The next run number after the one in the run file (created holding 1 when missing; after
// a read or write failure the one after previous);
// writes it back. ok is false when the file could not be read or written.
int next_hpgl_run(int previous, bool& ok);

}  // namespace qx
