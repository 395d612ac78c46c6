// Plot devices: where the moves and draws of a plot go. Each device (the graphics terminal,
// the PostScript, HPGL and SVG files) is one object behind this interface; a plot picks its
// device by letter once, when it begins. Adding a device is its own file and one row of the
// table in devices.cpp (with its writer's state in Graphics).
#pragma once

#include <string>

namespace qx {

class Input;
class Output;
struct Session;

// What a plot starts with.
struct PlotStart {
  char letter;             // the device letter, upper case (HPGL tells H from P by it)
  int k;                   // HPGL orientation: 0 by the letter, 1 x-axis horizontal, 2 vertical
  float a;                 // aspect ratio, frame width over height
  float m;                 // margin factor of the page frame
  float x0, x1, y0, y1;    // plot window
};

// A device keeps its state in the session (Graphics), so one object serves every session.
// Text has no operation of its own: the stroke font is drawn with move and draw on every
// device, so that a plot looks the same on all of them.
class PlotDevice {
 public:
  virtual ~PlotDevice() = default;
  // Starts a plot: 0, or 1 (with its message) when it cannot be started.
  virtual int begin(Session& s, Input& in, Output& out, const PlotStart& p) const = 0;
  virtual void move(Session& s, float x, float y) const = 0;
  virtual void draw(Session& s, float x, float y) const = 0;
  // The plot is complete: what is held back is written, the terminal back in text mode.
  virtual void end(Session&) const {}
  // CLOSE and EXIT: an open file is finished and closed.
  virtual void close(Session&) const {}
  // DEFINE: the name of the next file (empty: numbered names again), the scale of the next
  // plot, and its offsets in millimetres.
  virtual void define_name(Session&, const std::string&) const {}
  virtual void define_scale(Session&, double) const {}
  virtual void define_offsets(Session&, double, double) const {}
  // LINE: pen (colour) number p >= 1; line width w (LINE -w).
  virtual void pen(Session&, int) const {}
  virtual void width(Session&, double) const {}
  // The screen's frame goes once more up its left edge.
  virtual bool retraces_frame() const { return false; }
};

// The device a plot-device option letter names (either case): S or blank the screen, Q
// PostScript, H or P HPGL, V SVG; nullptr for any other letter. The program commands pick
// their device through it.
const PlotDevice* plot_device(char letter);

// The device QXPLOT uses for a letter: the above, U none, O not available (says so), and the
// screen for any other letter.
const PlotDevice& plot_device_for(char letter);

// Each device once, in table order (CLOSE, DEFINE/*, LINE).
template <typename F>
void for_each_plot_device(F&& f);

// The letters of the devices, "S, Q, H, P, V" (for messages).
std::string plot_device_letters();

// The table behind the lookups.
struct PlotDeviceRow {
  const char* letters;   // upper case; the first row's device also answers to blank
  const PlotDevice& (*device)();
};
struct PlotDeviceTable {
  const PlotDeviceRow* rows;
  int size;
};
PlotDeviceTable plot_device_table();

template <typename F>
void for_each_plot_device(F&& f) {
  const PlotDeviceTable t = plot_device_table();
  for (int i = 0; i < t.size; ++i) f(t.rows[i].device());
}

// The devices, each defined in its writer's file.
const PlotDevice& screen_device();
const PlotDevice& postscript_device();
const PlotDevice& hpgl_device();
const PlotDevice& svg_device();

}  // namespace qx
