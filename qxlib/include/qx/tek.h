// The graphics-terminal layer: byte output to the destination (unit 49) with its buffer,
// the terminal types and their mode switches, the 10-bit screen addresses with their byte-
// saving rules, pen codes, the plot-to-screen transformation and screen clearing.
#pragma once

#include <string>
#include <string_view>

namespace qx {

struct Session;
class Input;
class Output;

// One row of the terminal-type table.
struct TekVariant {
  int type;                  // 1-10
  std::string_view name;     // as the menu shows it
  std::string_view enter;    // from text mode into graphics
  std::string_view leave;    // from graphics back to text
  bool reopen_tty;           // leaving graphics closes and reopens the terminal destination
};

inline constexpr int kTekTypes = 10;
// Entry and exit strings; hex escapes are split before a following hex digit.
inline constexpr TekVariant kTekVariants[kTekTypes] = {
    {1, "Tektronix 4010/4014", "", "", false},
    {2, "GraphOn GO235, or Selanar on a VT100", "\x1b" "1\x1b*", "\x1bO\x1b" "2", false},
    {3, "Falco 550, window 1 is alpha", "\x1b[<2a", "\x1b[<1a", false},
    {4, "Falco 550, window 3 is alpha", "\x1b[<2a", "\x1b[<3a", false},
    {5, "Pericom, first variant", "\x1b:\x1d", "\x18", false},
    {6, "Pericom, second variant", "\x1b\\\x1d", "\x1b\\\x18", false},
    {7, "V500", "\r", "\x18\n\x17", false},
    {8, "xterm", "\x1b[?38h", "\x1b\x03", true},
    {9, "as 8 but without open/close", "\x1b[?38h", "\x1b\x03", false},
    {10, "NCSA Telnet (Macintosh) 4014 emulation, not recommended", "\x1b\x0c", "", false},
};

inline constexpr int kScreenMax = 1023;          // addresses are 0-1023 in x and y
inline constexpr std::size_t kTekBufferSize = 120;   // bytes held before they are written
inline constexpr std::size_t kTekFlushLevel = 40;    // byte code -2 writes from this many on

// Plot-to-screen transformation (single precision: addresses truncate toward zero, so the
// arithmetic is kept in the precision the addresses were always computed in).
struct ScreenTransform {
  float x0 = 0.0f, x1 = 20.0f, y0 = 0.0f, y1 = 15.0f;   // plot window
  int sx0 = 0, sx1 = kScreenMax, sy0 = 0, sy1 = 767;     // screen window
  float sx = 51.15f;    // screen units per plot unit
  float yfac = 1.0f;    // extra factor for y
  float zoom = 1.0f;    // DEFINE's scale for the next plot
  float xoff = 0.0f, yoff = 0.0f;   // screen-unit offsets (mm * 4.72)
};

struct ClipWindow {
  int x0 = 0, x1 = kScreenMax, y0 = 0, y1 = 767;
};

// State of the terminal layer; one per session.
struct TekState {
  int type = 0;            // terminal type 1-10, 0 while unset
  int previous_type = 0;   // for TERM/R
  int mode = 0;            // 0 text, 1 graph mode drawing vectors, 2 graph mode alpha sub-mode
  std::string buffer;      // bytes waiting for unit 49
  int mem_hiy = 0, mem_loy = 0, mem_hix = 0;   // last address bytes sent
  bool mem_valid = false;  // whether those may be left out
  int style = 0;           // current line style (after the +17 shift)
  int colour = 0;          // current colour digit
  int last_action = 0;     // 0 before the first point
  int cur_x = 0, cur_y = 0;      // the terminal's current point
  int pen_x = 0, pen_y = 0;      // where the caller's pen is (may lie outside the window)
  bool pen_on_screen = true;     // the terminal's current point is the caller's pen
  ScreenTransform t;
  ClipWindow clip;
};

// Byte output: 0-255 appends a byte (a control character 0-31 first invalidates the address
// memory); -1 writes what waits; -2 writes only when at least 40 bytes wait. A full buffer
// (120 bytes) is written. The destination is opened on first use.
void tek_byte(Session& s, int code);
void tek_bytes(Session& s, std::string_view bytes);

// QXMODE: m = 1 graph vector mode, m >= 2 graph mode alpha sub-mode, m <= 0 text mode.
void qxmode(Session& s, int m);

// QXTERM: selects type n when 1-10; otherwise shows the menu on out and reads the answer
// (F12.0) from in, repeating while the read fails; end of input selects type 1. Returns the
// type in effect.
int qxterm(Session& s, Input& in, Output& out, int n);

// The four address bytes of a point, clamped to 0-1023: HiY, LoY, HiX, LoX.
struct TekAddress {
  int hiy, loy, hix, lox;
};
TekAddress tek_address(int x, int y);
// Sends an address with the byte-saving rules.
void send_address(Session& s, int x, int y);

// A point in screen addresses with a pen code (units: action 1 repeat, 2 draw, 3 move,
// 0 style/colour only; tens: line style; hundreds: colour; negative: erase first). Segments
// are clipped to the clipping window.
void screen_point(Session& s, int x, int y, int pen);
// The same relative to the last point.
void relative_point(Session& s, int dx, int dy, int pen);
// The same in plot coordinates, through the transformation.
void plot_point(Session& s, float x, float y, int pen);
// The screen address of a plot point (truncated toward zero).
void plot_to_screen(const ScreenTransform& t, float x, float y, int& sx, int& sy);

// Sets the clipping window in screen addresses.
void set_clip_window(Session& s, int x0, int x1, int y0, int y1);
// Begin plot: sets the plot window onto the screen window, opens the destination when it is
// not open, asks for a terminal type when none is chosen, enters graph mode. False when the
// destination cannot be opened.
bool begin_screen_plot(Session& s, Input& in, Output& out, float x0, float x1, float y0, float y1);

// CLEAR/G: erases the graphics screen.
void graphics_erase(Session& s);

}  // namespace qx
