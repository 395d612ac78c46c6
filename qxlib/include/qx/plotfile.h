// What the plot-file writers share: the open file and its names, DEFINE's scale and offsets,
// the plot-to-file transformation, and the page frame a plot window is fitted into.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "qx/device.h"

namespace qx {

class FileOutput;
class Output;
struct Session;

struct PlotFile {
  std::unique_ptr<FileOutput> file;   // the open plot file, or none
  std::string name;                   // its name
  std::string user_name;              // DEFINE's name for the next file, blank for none
  int run = 0;                        // run number of the last numbered file
  double pen_number = 1.0;            // LINE p: the pen (colour) of the following lines
  double pen_width = 1.0;             // LINE -w: their width w (5 w milli-inches on paper)
  double zoom = 1.0;                  // DEFINE's scale
  double xoff = 0.0, yoff = 0.0;      // DEFINE's offsets, in the file's units
  double sx = 1.0, sy = 1.0;          // plot units to file units
  double xorg = 0.0, yorg = 0.0;
  PlotFile();
  ~PlotFile();
  PlotFile(PlotFile&&) noexcept;
  PlotFile& operator=(PlotFile&&) noexcept;
  // The chosen name, trimmed, with extension added when it holds no "."; it serves one
  // file, after which numbered names resume. Empty when no name was chosen.
  std::string take_user_name(std::string_view extension = "");
};

// What a plot-file writer does, as functions of the session: one row per file device.
struct FileWriterOps {
  PlotFile& (*writer)(Session&);
  int (*begin)(Session&, const PlotStart&);              // 0, or 1 when no plot can start
  void (*point)(Session&, double x, double y, int action);   // 3 moves, 2 draws
  void (*end)(Session&);                                 // what is held back is written
  void (*close)(Session&);
  void (*pen)(Session&, int);                            // LINE p (none: pen_number)
  void (*width)(Session&, double);                       // LINE -w (none: pen_width)
  double units_per_mm;                                   // of DEFINE's offsets
};

// A plot-file device: the writer's operations, and DEFINE's name, scale and offsets.
class FileDevice final : public PlotDevice {
 public:
  explicit FileDevice(const FileWriterOps& ops) : ops_(ops) {}
  int begin(Session& s, Input&, Output&, const PlotStart& p) const override { return ops_.begin(s, p); }
  void move(Session& s, float x, float y) const override { ops_.point(s, x, y, 3); }
  void draw(Session& s, float x, float y) const override { ops_.point(s, x, y, 2); }
  void end(Session& s) const override {
    if (ops_.end != nullptr) ops_.end(s);
  }
  void close(Session& s) const override { ops_.close(s); }
  void define_name(Session& s, const std::string& name) const override { ops_.writer(s).user_name = name; }
  void define_scale(Session& s, double zoom) const override { ops_.writer(s).zoom = zoom; }
  void define_offsets(Session& s, double dx, double dy) const override {
    ops_.writer(s).xoff = dx * ops_.units_per_mm;
    ops_.writer(s).yoff = dy * ops_.units_per_mm;
  }
  void pen(Session& s, int p) const override {
    if (ops_.pen != nullptr) ops_.pen(s, p);
    else ops_.writer(s).pen_number = p;
  }
  void width(Session& s, double w) const override {
    if (ops_.width != nullptr) ops_.width(s, w);
    else ops_.writer(s).pen_width = w;
  }

 private:
  FileWriterOps ops_;
};

inline constexpr double kMilsPerMm = 100.0 / 2.54;

// "pltNN" and the extension: the name of numbered plot file run (1-99).
std::string numbered_plot_name(int run, std::string_view extension);

// Pen colours by pen number (pen 1 black, then red, green, blue, ... in a cycle of eight).
struct Rgb {
  double r, g, b;
};
Rgb pen_rgb(double pen);

// A plot frame on a page or screen, in its device units.
template <typename T>
struct PageFrame {
  T x0, x1, y0, y1;
};

// How a device's frame sits: the left margin is (3m + 1) quarters of margin_x, the bottom
// margin m times margin_y; a frame at least root2 wide per unit of height reaches right,
// a narrower one is as high as a root2 frame. T is the precision the device's addresses
// were always computed in.
template <typename T>
struct PageGeometry {
  T margin_x, margin_y, right, root2;
};

template <typename T>
PageFrame<T> page_frame(const PageGeometry<T>& g, T a, T m) {
  PageFrame<T> f{};
  f.x0 = (T(3) * m + T(1)) * g.margin_x / T(4);
  f.y0 = g.margin_y * m;
  if (a >= g.root2) {
    f.x1 = g.right;
    f.y1 = (g.right - f.x0) / a + f.y0;
  } else {
    f.y1 = (g.right - f.x0) / g.root2 + f.y0;
    f.x1 = (f.y1 - f.y0) * a + f.x0;
  }
  return f;
}

// Landscape letter paper in milli-inches, the page of the PostScript and SVG files.
inline constexpr double kPageWidthMils = 11000, kPageHeightMils = 8500;
inline constexpr PageGeometry<double> kLetterPage{1250, 1250, 10250, 1.4142135};

// Fits the plot window onto its frame on the letter page (aspect ratio and margin factor
// of the plot; sqrt 2 and 0 when not given) with DEFINE's zoom and offsets, and says "Plot
// written to: " the file. A zero or undefined range says " X or Y range is zero!" first and
// leaves zero factors (all points at the frame's corner).
void fit_letter_page(PlotFile& w, Output& out, const PlotStart& p);

}  // namespace qx
