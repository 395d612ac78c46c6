#include "qx/hpgl.h"

#include <algorithm>
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
constexpr double kFullAspect = 1.308642;          // (10070 - 1590) / (7290 - 810)
constexpr double kOriginX = 1590, kOriginY = 810;  // plot area in plotter units
constexpr double kFullX = 10070, kFullY = 7290;
constexpr double kRotatedHeight = 8100;            // page height when the x-axis is vertical
constexpr double kWidthStep = 0.15;                // pen width per unit of a negative pen code
constexpr double kPlotterUnitsPerMm = 1.0 / 0.025;

const Format kRecord{"(1H ,A)"};
const Format kEmpty{"(A)"};

void write_header(HpglWriter& w, char option) {
  if (option == 'H') {   // a printer that understands HP-GL/2: reset, enter HP-GL/2
    w.file->write(kRecord, "\x1b" "E");
    w.file->write(kRecord, "\x1b%0B");
    w.file->write(kRecord, "TR1");
    w.file->write(kRecord, "IN;");
  } else {   // a pen plotter: device control, then initialise
    w.file->write(kRecord, "\x1b.(\x1b.J\x1b.K\x1b.M:\x1b.@;3:\x1b.N:");
    w.file->write(kRecord, "IN;PU");
    w.file->write(kRecord, "PW1");
    w.file->write(kRecord, "VS18;");
  }
  static const Format kPw{"(1H ,'PW',F5.2,';')"};
  static const Format kSp{"(1H ,'SP',I2,';')"};
  w.file->write(kRecord, "SP1");
  w.file->write(kPw, w.width);
  w.file->write(kSp, w.pen);
  w.file->write(kRecord, "PU0,0;");
  w.items = 0;
}

// An item's coordinate: rounded, and kept inside its I5 field.
int item_coordinate(double v) {
  if (!std::isfinite(v)) v = 0.0;
  return static_cast<int>(std::floor(std::clamp(v, -9999.0, 99999.0) + 0.5));
}

void write_item(HpglWriter& w, const char* verb, int x, int y) {
  static const Format kPu{"(' PU',I5,',',I5,$)"};
  static const Format kPd{"(' PD',I5,',',I5,$)"};
  if (w.items == 5) {
    w.file->write(kEmpty, "");
    w.items = 0;
  }
  w.file->write(verb[1] == 'U' ? kPu : kPd, x, y);
  ++w.items;
}

}  // namespace

int next_hpgl_run(int previous, bool& ok) {
  ok = true;
  int run = previous + 1;
  if (file_exists(kHpglRunFile)) {
    ok = false;
    if (auto in = FileInput::open(kHpglRunFile, 74)) {
      std::string rec;
      if (read_record(*in, rec, 5) == ReadStatus::ok) {
        if (const auto v = read_fixed_int(rec)) {
          run = static_cast<int>(std::clamp<std::int64_t>(*v, 0, kHpglMaxRun)) + 1;
          ok = true;
        }
      }
    }
  } else {
    run = 1;
  }
  if (run > kHpglMaxRun || run < 1) run = 1;
  static const Format kRun{"(I5)"};
  auto out = FileOutput::open(kHpglRunFile, FileOutput::Mode::atomic, 74);
  if (out) {
    out->write(kRun, run);
    if (!out->commit()) ok = false;
  } else {
    ok = false;
  }
  return run;
}

int hpgl_begin(Session& s, char option, double a, double x0, double x1, double y0, double y1, int orientation) {
  HpglWriter& w = s.gfx.hpgl;
  option = (option == 'p' || option == 'P') ? 'P' : 'H';
  static const Format kStart{"(1H ,'Starting the generation of a HP-GL file: option ',A)"};
  s.out.write(kStart, std::string(1, option));

  if (!(a > 1.0e-5) || !std::isfinite(a)) a = kFullAspect;
  double xext = kFullX, yext = kFullY;
  if (a < kFullAspect) {
    xext = a * (kFullY - kOriginY) + kOriginX;
  } else {
    yext = (kFullX - kOriginX) / a + kOriginY;
  }
  if (y1 - y0 == 0.0 || yext - kOriginY == 0.0 || !std::isfinite(y1 - y0)) {
    static const Format kZeroY{"(1H ,'Zero range on y-axis!')"};
    s.out.write(kZeroY);
    return 1;
  }
  if (x1 - x0 == 0.0 || xext - kOriginX == 0.0 || !std::isfinite(x1 - x0)) {
    static const Format kZeroX{"(1H ,'Zero range on x-axis!')"};
    s.out.write(kZeroX);
    return 1;
  }
  w.sx = (xext - kOriginX) / (x1 - x0);
  w.sy = (yext - kOriginY) / (y1 - y0);
  w.xorg = kOriginX - x0 * w.sx;
  w.yorg = kOriginY - y0 * w.sy;

  const bool continuing = w.file && !s.gfx.auto_clear;
  if (!continuing) {
    if (w.file) hpgl_close(s);   // its closing records first: a new plot gets a new file
    std::string name = w.take_user_name(".hgl");
    if (name.empty()) {
      bool ok = true;
      w.run = next_hpgl_run(w.run, ok);
      if (!ok) {
        static const Format kRunError{"(1H ,'Error updating run number in hprun.hgl')"};
        s.out.write(kRunError);
      }
      name = std::string(1, option) + std::to_string(w.run) + ".hgl";
    }
    static const Format kOpening{"(1H ,'Opening HP-GL plot file: ',A)"};
    s.out.write(kOpening, name);
    w.file = FileOutput::open(name, FileOutput::Mode::replace, kFileUnit);
    if (!w.file) {
      static const Format kCannot{"(1H ,'Unable to open HP-GL plot file ',A)"};
      s.out.write(kCannot, name);
      return 1;
    }
    w.name = name;
    w.move_pending = false;
    write_header(w, option);
  }
  if (orientation == 1 || orientation == 2) {
    w.x_vertical = orientation == 2;
    w.orientation_chosen = true;
  } else if (!w.orientation_chosen) {
    w.x_vertical = option == 'H';
  }
  static const Format kHorizontal{"(1H ,'Making a plot with the x-axis horizontal.')"};
  static const Format kVertical{"(1H ,'Making a plot with the x-axis vertical.')"};
  s.out.write(w.x_vertical ? kVertical : kHorizontal);
  return 0;
}

void hpgl_point(Session& s, double x, double y, int action) {
  HpglWriter& w = s.gfx.hpgl;
  if (!w.file) return;
  const double px = x * w.sx * w.zoom + w.xorg;
  const double py = y * w.sy * w.zoom + w.yorg;
  double X, Y;
  if (w.x_vertical) {
    X = kRotatedHeight - py - w.yoff;
    Y = px + w.xoff;
  } else {
    X = px + w.xoff;
    Y = py + w.yoff;
  }
  const int ix = item_coordinate(X), iy = item_coordinate(Y);
  if (action == 3) {
    w.move_pending = true;
    w.pend_x = ix;
    w.pend_y = iy;
    return;
  }
  if (w.move_pending) write_item(w, "PU", w.pend_x, w.pend_y);
  w.move_pending = false;
  write_item(w, "PD", ix, iy);
}

int hpgl_pen(Session& s, int p) {
  HpglWriter& w = s.gfx.hpgl;
  if (p == 0) return w.pen;
  if (p < 0) {
    w.width = std::fabs(static_cast<double>(p) * kWidthStep);
  } else {
    w.pen = p;
  }
  if (w.file) {
    static const Format kSetting{"(1H ,'Setting pen width=',F5.2,' colour=',I2)"};
    static const Format kPw{"(1H ,'PW',F5.2,';')"};
    static const Format kSp{"(1H ,'SP',I2,';')"};
    s.out.write(kSetting, w.width, w.pen);
    if (w.items > 0) w.file->write(kEmpty, "");   // the pen records stand on lines of their own
    w.file->write(kPw, w.width);
    w.file->write(kSp, w.pen);
    w.items = 0;
  }
  return w.pen;
}

void hpgl_close(Session& s) {
  HpglWriter& w = s.gfx.hpgl;
  if (!w.file) return;
  w.file->write(kEmpty, "");
  w.file->write(kRecord, "\x1b%0A");
  w.file->write(kRecord, "\x1b" "E");
  const bool ok = w.file->commit();
  w.file.reset();
  static const Format kClosed{"(1H ,'HP-GL plot file closed: ',A)"};
  static const Format kDoneV{"(1H ,'Plot done with x-axis vertical')"};
  static const Format kDoneH{"(1H ,'Plot done with x-axis horizontal')"};
  s.out.write(kClosed, w.name);
  if (!ok) {
    static const Format kWriteError{"(1H ,'Error writing HP-GL plot file ',A)"};
    s.out.write(kWriteError, w.name);
  }
  s.out.write(w.x_vertical ? kDoneV : kDoneH);
  w.items = 0;
  w.move_pending = false;
  w.orientation_chosen = false;
}

namespace {

int hpgl_start(Session& s, const PlotStart& p) { return hpgl_begin(s, p.letter, p.a, p.x0, p.x1, p.y0, p.y1, p.k); }

}  // namespace

const PlotDevice& hpgl_device() {
  // Widths come in whole steps: LINE -w selects pen code INT(-w - 0.5).
  static const FileDevice kDevice({[](Session& s) -> PlotFile& { return s.gfx.hpgl; }, hpgl_start, hpgl_point,
                                   nullptr, hpgl_close, [](Session& s, int p) { hpgl_pen(s, p); },
                                   [](Session& s, double w) { hpgl_pen(s, static_cast<int>(-w - 0.5)); },
                                   kPlotterUnitsPerMm});
  return kDevice;
}

}  // namespace qx
