// Plot composition: beginning a plot on a device (graphics terminal, PostScript file, HPGL
// file), lines, frames, stroke-font text, axes and a straight-line fit. All plot coordinates
// are single precision, as the screen addresses derived from them always were.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "qx/device.h"
#include "qx/hpgl.h"
#include "qx/plotfile.h"
#include "qx/postscript.h"
#include "qx/svg.h"
#include "qx/tek.h"

namespace qx {

class Input;
class Output;
struct Session;

inline constexpr float kSqrt2 = 1.4142135f;

// Settings of the axes (QXAXES options).
struct AxesOptions {
  float tick = 1.0f;        // K: major tick length in label heights
  float minor = 2.0f;       // G: minor subdivisions per major interval
  int x_decimals = -1;      // I: decimals of the horizontal labels (negative: automatic)
  int y_decimals = -1;      // J: the same for the vertical labels
  bool log_x = false;       // X: logarithmic horizontal axis (decades)
  bool upper = true;        // U: ticks again along the upper edge
  bool right = true;        // R: vertical ticks again along the right edge
  bool fives = true;        // 5: five minor intervals when the step ends in 2.5
  bool x_labels = true;     // V: labels on the horizontal axis
  bool y_labels = true;     // W: labels on the vertical axis
  bool grid = false;        // L: major ticks run across the window
};

// The plot in progress and the text settings.
struct PlotState {
  char device = 'U';                 // S, Q, H, P, V, U none, O not available
  const PlotDevice* current = nullptr;   // its device, chosen when the plot begins
  float x0 = 0, x1 = 20, y0 = 0, y1 = 15;   // plot window
  float width = 20, height = 15;     // its widths
  float label_margin = -1.0f;        // x0 - 0.05 * width: vertical labels end there
  float aspect = kSqrt2;             // a: frame width over height
  float margin = 0.0f;               // m: margin factor of the page frame
  float last_x = 0, last_y = 0;      // last point of QXDRAW
  int last_action = 3;
  int line_style = 0;                // 0-6
  int default_font = 0;              // FONT command, 0-8
  float char_size = 0.0225f;         // character cell against the window's width and height
  std::string title;                 // names the next plot in the files that keep a title
};

// Everything the graphics layer keeps: one instance in the session.
struct Graphics {
  TekState tek;
  HpglWriter hpgl;
  PostScriptWriter ps;
  SvgWriter svg;
  PlotState plot;
  AxesOptions axes;
  bool auto_clear = true;   // CFLAG: a new screen, page or file for each plot
  bool marks = true;        // MARKS: plot markers are drawn
  char clear_letter = ' ';  // the mode QXCLR remembers
  // The device "*" and every fallback of the destination mean (tests name a stand-in file).
  std::string terminal = "/dev/tty";
};

// QXPLOT: begins a plot on the device of the letter (plot_device_for: blank or S screen, Q PostScript,
// H or P HPGL, V SVG, U none, O not available). k is handed to the HPGL writer (0 orientation by option, 1 x-axis
// horizontal, 2 vertical). Returns 0, or 1 when the plot cannot be started.
int qxplot(Session& s, Input& in, Output& out, int k, float a, char device, float x0, float x1, float y0,
           float y1);
// QXDRAW: action 3 moves (held back until the next draw), 2 draws.
void qxdraw(Session& s, char device, float x, float y, int action);
// QXBOX: remembers the window and, unless store_only, draws its frame.
void qxbox(Session& s, char device, float x1, float x2, float y1, float y2, bool store_only = false);
// Ends the plot: the terminal back to text mode, the PostScript item line written.
void qxend(Session& s, char device);
// Line style 0-6 of the following lines on the screen (1, 5 dotted ... 0 solid).
void set_line_style(Session& s, int style);
// The title of the next plot (an SVG file's title); the plot's begin uses it up.
void set_plot_title(Session& s, std::string_view title);
// Margin factor of the frames of the following plots.
void set_margin_factor(Session& s, float m);
// Character cell against the window (default 0.0225).
void set_char_size(Session& s, float fraction);
// Draws plot marker 1-16 centred on a point when markers are switched on (MARKS).
void plot_marker(Session& s, char device, float x, float y, int symbol, float size = 5.0f);

// The screen frame of QXPLOT for aspect ratio a and margin factor m: x0, x1, y0, y1 before
// they are truncated to the screen window.
using Frame = PageFrame<float>;
Frame screen_frame(float a, float m);

// QXTEXT: draws text (mode 0) with its control codes, or only measures it (mode 1).
// Returns the largest x (plot units) the text reaches.
float qxtext(Session& s, int mode, char device, float x, float y, float size, float angle, std::string_view text);

// QXAXES option: letter, integer value, real value.
void qxaxes_option(Session& s, char letter, int ivalue, float rvalue);
// QXAXES draw: ticks and labels of the current window with about nx and ny major ticks.
void qxaxes(Session& s, char device, int nx, int ny, float size);

// Major step of an axis (the step search), and whether its last factor was 2.5.
struct AxisStep {
  float step;
  bool last_factor_25;
};
AxisStep axis_step(float range, int n);
// Decimals of the labels of an axis of the given range (the automatic rule).
int auto_decimals(float range);
// The 10-character label of a tick value with d decimals (d < 0 automatic for range).
std::string axis_label(float value, int decimals);
// The label of a logarithmic decade: "10", the superscript control, the exponent.
std::string decade_label(float decade);

// QXFIT: least-squares straight line through n points, with its messages on out.
struct LineFit {
  float slope = 0, intercept = 0, slope_error = 0, intercept_error = 0, chi_square = 0;
};
LineFit qxfit(Output& out, std::span<const float> x, std::span<const float> y);

}  // namespace qx
