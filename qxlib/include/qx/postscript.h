// PostScript plot files: "pltNN.ps" (run number in "num.ps") or a user-chosen name, on
// landscape letter paper in units of 0.001 inch.
#pragma once

#include <memory>
#include <string>

namespace qx {

class FileOutput;
struct Session;

struct PostScriptWriter {
  std::unique_ptr<FileOutput> file;   // the open plot file, or none
  std::string name;                   // its name
  std::string user_name;              // DEFINE/Q name for the next file, blank for none
  int run = 0;                        // run number 1-99 of the last numbered file
  std::string line;                   // items waiting to be written (at most five)
  int items = 0;
  double width = 1.0, last_width = 1.0;   // line width (LINE -w) and the one in the file
  double colour = 1.0, last_colour = 1.0; // pen colour (the HPGL pen number) and the file's
  bool drawing = false;
  double move_x = 0.0, move_y = 0.0;  // the last move: where a following draw starts
  double ext_x0 = 11000, ext_x1 = 0, ext_y0 = 8500, ext_y1 = 0;   // drawn extents (mils)
  double zoom = 1.0;
  double xoff = 0.0, yoff = 0.0;      // milli-inches (mm * 100 / 2.54)
  double sx = 0.0, sy = 0.0;          // plot units to milli-inches
  double xorg = 0.0, yorg = 0.0;
  PostScriptWriter();
  ~PostScriptWriter();
  PostScriptWriter(PostScriptWriter&&) noexcept;
  PostScriptWriter& operator=(PostScriptWriter&&) noexcept;
};

inline constexpr const char* kPsRunFile = "num.ps";
inline constexpr int kPsMaxRun = 99;

// PostScript begin: opens a file or continues the open one, fits the plot window (x0..x1,
// y0..y1) of aspect ratio a (width over height) with margin factor m onto the page. Returns
// false when no file could be opened.
bool ps_begin(Session& s, double a, double m, double x0, double x1, double y0, double y1);
// action 2 draws to the point, 3 moves to it.
void ps_point(Session& s, double x, double y, int action);
// Writes a partly filled item line.
void ps_flush(Session& s);
// Ends the page and closes the file, if one is open.
void ps_close(Session& s);

// The next run number after the one in "num.ps" (1 when the file is missing or unreadable,
// 1 again after 99), written back to the file.
int next_ps_run(const PostScriptWriter& w);

}  // namespace qx
