#include "qx/postscript.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/session.h"
#include "qx/text.h"
#include "qx/units.h"

namespace qx {

namespace {

constexpr int kFileUnit = 73;
constexpr int kItemsPerLine = 5;
constexpr double kPageX = kPageWidthMils, kPageY = kPageHeightMils;
constexpr double kMaxX = 11500, kMaxY = 9999;       // what the I5 and I4 fields hold
constexpr double kCmPerMil = 2.54 / 1000.0;

constexpr std::array<const char*, 18> kPrologue = {
    "%!",
    "%%",
    "%% Nimbo Postscript V1.1 (4/7/87)",
    "%%",
    "%% Scaling definitions for 8.5 by 11 inch paper at .001 inch",
    "%% resolution",
    "0.072 0.072 scale",
    "8500 0 translate 90 rotate",
    "%% Macro definitions",
    "/il { moveto } def",
    "/vl { lineto currentpoint stroke moveto } def",
    "/pt { moveto currentpoint currentpoint 1 0 360 arc",
    "stroke moveto } def",
    "/SLW { setlinewidth } def",
    "%% Default graphics rendition settings",
    "1 setlinejoin 1 setlinecap 1 SLW",
    "%% Beginning of first page",
    "newpath 0 0 moveto",
};

const Format kLine{"(A)"};

void write_line(PostScriptWriter& w) {
  if (w.items == 0) return;
  w.file->write(kLine, w.line);
  w.line.clear();
  w.items = 0;
}

void queue(PostScriptWriter& w, const std::string& rendered) {
  // A rendered item ends with its record's line end; items share one line.
  w.line.append(rendered, 0, rendered.size() - (rendered.empty() || rendered.back() != '\n' ? 0 : 1));
  if (++w.items == kItemsPerLine) write_line(w);
}

void queue_width(PostScriptWriter& w) {
  static const Format kSlw{"(I3,' SLW ')"};
  const double v = 5.0 * w.zoom * w.pen_width + 0.5;
  const int k = std::isfinite(v) ? static_cast<int>(std::clamp(v, 1.0, 99.0)) : 1;
  queue(w, kSlw.render({k}));
  w.last_width = w.pen_width;
}

void end_page(PostScriptWriter& w) {
  write_line(w);
  w.file->write(kLine, " showpage ");
  w.file->write(kLine, "\x04");
}

void widen_extents(PostScriptWriter& w, double x, double y) {
  w.ext_x0 = std::min(w.ext_x0, x);
  w.ext_x1 = std::max(w.ext_x1, x);
  w.ext_y0 = std::min(w.ext_y0, y);
  w.ext_y1 = std::max(w.ext_y1, y);
}

void reset_extents(PostScriptWriter& w) {
  w.ext_x0 = kPageX;
  w.ext_x1 = 0;
  w.ext_y0 = kPageY;
  w.ext_y1 = 0;
}

double centre_x(const PostScriptWriter& w) { return ((kPageX / 2 - (w.ext_x0 + w.ext_x1) / 2) + w.xoff) * kCmPerMil; }
double centre_y(const PostScriptWriter& w) { return ((kPageY / 2 - (w.ext_y0 + w.ext_y1) / 2) + w.yoff) * kCmPerMil; }

void report_ranges(Session& s) {
  const PostScriptWriter& w = s.gfx.ps;
  static const Format kXRange{"(' X range (cm): ',2F7.1)"};
  static const Format kYRange{"(' Y range (cm): ',2F7.1)"};
  s.out.write(kXRange, w.ext_x0 * kCmPerMil, w.ext_x1 * kCmPerMil);
  s.out.write(kYRange, w.ext_y0 * kCmPerMil, w.ext_y1 * kCmPerMil);
}

// Opens the next file (step 1 of a plot start): run number, name, prologue, line width.
bool open_file(Session& s) {
  PostScriptWriter& w = s.gfx.ps;
  static constexpr NumberedFile kPostScript{".ps", false, FileOutput::Mode::replace, "PostScript"};
  if (!open_numbered_file(w, s.out, kPostScript)) return false;
  for (const char* line : kPrologue) w.file->write(kLine, line);
  w.line.clear();
  w.items = 0;
  w.drawing = false;
  w.last_colour = 1.0;   // the page starts black, pen 1
  queue_width(w);
  reset_extents(w);
  return true;
}

}  // namespace

int next_ps_run(int previous) {
  int run = 1;
  if (auto in = FileInput::open(kPsRunFile, 74)) {
    int old = 0;
    const ListItem items[] = {ListItem(old)};
    if (read_list(*in, items) == ReadStatus::ok) run = old + 1;
  } else if (previous > 0) {
    run = previous + 1;   // the file went away or cannot be read: go on from the last number
  }
  if (run > kPsMaxRun || run < 1) run = 1;
  if (auto out = FileOutput::open(kPsRunFile, FileOutput::Mode::atomic, 74)) {
    out->list(run);
    out->commit();
  }
  return run;
}

bool open_numbered_file(PlotFile& w, Output& out, const NumberedFile& kind) {
  w.run = next_ps_run(w.run);
  std::string name = w.take_user_name(kind.extend_chosen ? kind.extension : "");
  if (name.empty()) name = numbered_plot_name(w.run, kind.extension);
  w.file = FileOutput::open(name, kind.mode, kFileUnit);
  if (!w.file) {
    static const Format kCannot{"(1H ,'Unable to open ',A,' plot file ',A)"};
    out.write(kCannot, kind.writer, name);
    return false;
  }
  w.name = name;
  return true;
}

int ps_begin(Session& s, const PlotStart& p) {
  PostScriptWriter& w = s.gfx.ps;
  if (!w.file) {
    if (!open_file(s)) return 1;
  } else {
    write_line(w);
    report_ranges(s);
    static const Format kPage{"(1H ,'Regular page X: 0-27.9  Y: 0-21.6')"};
    static const Format kCentre{"(' Center offsets: ',2F7.1)"};
    s.out.write(kPage);
    s.out.write(kCentre, centre_x(w), centre_y(w));
    reset_extents(w);
    if (s.gfx.auto_clear) {
      end_page(w);
      w.file->commit();
      w.file.reset();
      if (!open_file(s)) return 1;
      static const Format kNew{"(1H ,'New plot file ',A,' opened.')"};
      s.out.write(kNew, w.name);
    }
  }
  fit_letter_page(w, s.out, p);
  return 0;
}

void ps_point(Session& s, double x, double y, int action) {
  PostScriptWriter& w = s.gfx.ps;
  if (!w.file) return;
  double X = x * w.sx + w.xorg;
  double Y = y * w.sy + w.yorg;
  if (!std::isfinite(X)) X = 1.0;
  if (!std::isfinite(Y)) Y = 1.0;
  if (action == 3) {
    w.drawing = false;
    w.move_x = X;
    w.move_y = Y;
  } else if (action == 2) {
    // A line drawn from a move starts there: its start belongs to the drawn extents too.
    if (!w.drawing) widen_extents(w, w.move_x, w.move_y);
    w.drawing = true;
  }
  if (w.drawing) widen_extents(w, X, Y);
  const int ix = static_cast<int>(std::floor(std::clamp(X, 1.0, kMaxX) + 0.5));
  const int iy = static_cast<int>(std::floor(std::clamp(Y, 1.0, kMaxY) + 0.5));
  if (std::fabs(w.pen_width - w.last_width) > 0.01) queue_width(w);
  if (std::fabs(w.pen_number - w.last_colour) > 0.01) {
    static const Format kChanging{"(1H ,'Changing pen colour: new ',1P,G12.5,' old ',1P,G12.5)"};
    static const Format kColour{"(F4.2,' ',F4.2,' ',F4.2,' setrgbcolor')"};
    s.out.write(kChanging, w.pen_number, w.last_colour);
    write_line(w);
    const Rgb c = pen_rgb(w.pen_number);
    w.file->write(kColour, c.r, c.g, c.b);
    w.last_colour = w.pen_number;
  }
  static const Format kMove{"(I5,1X,I4,' il ')"};
  static const Format kDraw{"(I5,1X,I4,' vl ')"};
  queue(w, (action == 3 ? kMove : kDraw).render({ix, iy}));
}

void ps_flush(Session& s) {
  if (s.gfx.ps.file) write_line(s.gfx.ps);
}

void ps_close(Session& s) {
  PostScriptWriter& w = s.gfx.ps;
  if (!w.file) return;
  end_page(w);
  const bool ok = w.file->commit();
  w.file.reset();
  static const Format kClosed{"(1H ,'Plot output file ',A,' closed.')"};
  s.out.write(kClosed, qxlen(w.name) > 0 ? std::string(trim_right(w.name)) : std::string("????"));
  if (!ok) {
    static const Format kWriteError{"(1H ,'Error writing PostScript plot file ',A)"};
    s.out.write(kWriteError, w.name);
  }
  report_ranges(s);
  static const Format kPage{"(1H ,'Regular page X: 0-27.9  Y: 0-21.6 cm')"};
  static const Format kCentre{"(1H ,'Center offsets: ',F7.1,',',F7.1)"};
  s.out.write(kPage);
  s.out.write(kCentre, centre_x(w), centre_y(w));
}

const PlotDevice& postscript_device() {
  static const FileDevice kDevice({[](Session& s) -> PlotFile& { return s.gfx.ps; }, ps_begin, ps_point, ps_flush,
                                   ps_close, nullptr, nullptr, kMilsPerMm});
  return kDevice;
}

}  // namespace qx
