#include "qx/tek.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "qx/dest.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/session.h"
#include "qx/units.h"

namespace qx {

namespace {

constexpr int kUS = 31, kGS = 29, kESC = 27, kFF = 12;

void write_buffer(Session& s) {
  TekState& t = s.gfx.tek;
  if (t.buffer.empty()) return;
  if (!s.dest.is_open()) {
    std::string star = "*";
    qxdest(s, star, s.gfx.terminal);
  }
  if (s.dest.is_open()) {
    std::fwrite(t.buffer.data(), 1, t.buffer.size(), s.dest.file);
    std::fflush(s.dest.file);
  }
  t.buffer.clear();
}

const TekVariant* variant(int type) {
  if (type < 1 || type > kTekTypes) return nullptr;   // type 0: no entry or exit sequences
  return &kTekVariants[type - 1];
}

// Only the user's own terminal counts: a DEST naming another terminal window keeps it.
bool destination_is_terminal(const Session& s) { return s.dest.name == s.gfx.terminal; }

// Where a segment leaves or enters the window: Liang-Barsky on the closed rectangle.
bool clip_segment(const ClipWindow& w, double& ax, double& ay, double& bx, double& by) {
  double t0 = 0.0, t1 = 1.0;
  const double dx = bx - ax, dy = by - ay;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax - w.x0, w.x1 - ax, ay - w.y0, w.y1 - ay};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0.0) {
      if (r > t1) return false;
      t0 = std::max(t0, r);
    } else {
      if (r < t0) return false;
      t1 = std::min(t1, r);
    }
  }
  const double x0 = ax + t0 * dx, y0 = ay + t0 * dy;
  bx = ax + t1 * dx;
  by = ay + t1 * dy;
  ax = x0;
  ay = y0;
  return true;
}

bool inside(const ClipWindow& w, int x, int y) { return x >= w.x0 && x <= w.x1 && y >= w.y0 && y <= w.y1; }

int to_address(double v) { return static_cast<int>(std::lround(v)); }

// The move of a pen code: US, a conditional flush, GS, the address.
void send_move(Session& s, int x, int y) {
  TekState& t = s.gfx.tek;
  qxmode(s, 1);
  tek_byte(s, kUS);
  tek_byte(s, -2);
  tek_byte(s, kGS);
  send_address(s, x, y);
  t.cur_x = x;
  t.cur_y = y;
}

// Style and colour of a draw, then the vector to (x, y) unless the action is 0.
void send_draw(Session& s, int x, int y, int action, int style, int colour) {
  TekState& t = s.gfx.tek;
  if (style > 6) style += 17;
  bool changed = false;
  if (style != t.style) {
    tek_byte(s, kESC);
    tek_byte(s, 96 + style);
    t.style = style;
    changed = true;
  }
  if (colour != t.colour) {
    tek_byte(s, kESC);
    tek_byte(s, '/');
    tek_byte(s, '0' + colour);
    tek_byte(s, 'd');
    t.colour = colour;
    changed = true;
  }
  if (action == 0) return;
  if (changed) {   // the escape sequences ended the vector: start it again where it was
    tek_byte(s, kGS);
    send_address(s, t.cur_x, t.cur_y);
  }
  send_address(s, x, y);
  t.cur_x = x;
  t.cur_y = y;
}

}  // namespace

void tek_byte(Session& s, int code) {
  TekState& t = s.gfx.tek;
  if (code >= 0) {
    if (code < 32) t.mem_valid = false;
    t.buffer.push_back(static_cast<char>(code & 0xff));
    if (t.buffer.size() >= kTekBufferSize) write_buffer(s);
  } else if (code == -1 || (code == -2 && t.buffer.size() >= kTekFlushLevel)) {
    write_buffer(s);
  }
}

void tek_bytes(Session& s, std::string_view bytes) {
  for (const char c : bytes) tek_byte(s, static_cast<unsigned char>(c));
}

void qxmode(Session& s, int m) {
  TekState& t = s.gfx.tek;
  const TekVariant* v = variant(t.type);
  if (m > 0) {
    const int want = m == 1 ? 1 : 2;
    if (t.mode == want) return;
    if (t.mode == 1) {
      tek_byte(s, kUS);
      t.mode = 2;
      return;
    }
    if (t.mode == 2) {
      tek_byte(s, kGS);
      t.mode = 1;
      return;
    }
    if (v != nullptr) tek_bytes(s, v->enter);
    t.mode = 2;
    if (want == 2) {
      tek_byte(s, -1);
    } else {
      tek_byte(s, kGS);
      t.mode = 1;
    }
    return;
  }
  if (t.mode == 0) return;
  if (t.mode == 1) tek_byte(s, kUS);
  if (v != nullptr) tek_bytes(s, v->leave);
  t.mode = 0;
  tek_byte(s, -1);
  // Only the user's own terminal is given back; a plot file stays open for the next plot.
  if (v != nullptr && v->reopen_tty && destination_is_terminal(s)) {
    std::string star = "*";
    qxdest(s, star, s.gfx.terminal);
  }
}

int qxterm(Session& s, Input& in, Output& out, int n) {
  TekState& t = s.gfx.tek;
  if (n >= 1 && n <= kTekTypes) {
    t.type = n;
    return n;
  }
  static const Format kHeading{"(1H ,'Select the TEK4010/4 terminal emulation:')"};
  static const Format kEntry{"(1H ,I2,1X,A)"};
  static const Format kPrompt{"(1H ,'> ',$)"};
  static const Format kSelected{"(1H ,'Terminal type ',I2,' selected.')"};
  int chosen = 1;
  for (;;) {
    out.write(kHeading);
    for (const TekVariant& v : kTekVariants) out.write(kEntry, v.type, v.name);
    out.write(kPrompt);
    std::string rec;
    if (read_record(in, rec, 12) != ReadStatus::ok) break;   // end of input: type 1
    const std::optional<double> value = read_fixed_real(rec);
    if (!value) continue;
    const std::optional<std::int64_t> k = int_part(*value + 0.5);
    chosen = (k && *k >= 1 && *k <= kTekTypes) ? static_cast<int>(*k) : 1;
    break;
  }
  t.type = chosen;
  out.write(kSelected, chosen);
  return chosen;
}

TekAddress tek_address(int x, int y) {
  x = std::clamp(x, 0, kScreenMax);
  y = std::clamp(y, 0, kScreenMax);
  return {32 + y / 32, 96 + y % 32, 32 + x / 32, 64 + x % 32};
}

void send_address(Session& s, int x, int y) {
  TekState& t = s.gfx.tek;
  const TekAddress a = tek_address(x, y);
  const bool hix_changed = !t.mem_valid || a.hix != t.mem_hix;
  if (!t.mem_valid || a.hiy != t.mem_hiy) tek_byte(s, a.hiy);
  if (!t.mem_valid || a.loy != t.mem_loy || hix_changed) tek_byte(s, a.loy);
  if (hix_changed) tek_byte(s, a.hix);
  tek_byte(s, a.lox);
  t.mem_hiy = a.hiy;
  t.mem_loy = a.loy;
  t.mem_hix = a.hix;
  t.mem_valid = true;
}

void screen_point(Session& s, int x, int y, int pen) {
  TekState& t = s.gfx.tek;
  if (pen < 0) {
    tek_byte(s, kUS);
    tek_byte(s, kESC);
    tek_byte(s, kFF);
    tek_byte(s, kGS);
    pen = pen == INT32_MIN ? INT32_MAX : -pen;
  }
  int action = pen % 10;
  const int style = (pen / 10) % 10;
  const int colour = (pen / 100) % 10;
  if (action == 1 && t.last_action != 0) action = t.last_action;
  if (t.mode == 0 || action == 3) qxmode(s, 1);

  if (action == 3) {
    t.pen_x = x;
    t.pen_y = y;
    t.pen_on_screen = inside(t.clip, x, y);
    if (t.pen_on_screen) send_move(s, x, y);
  } else if (action == 0) {
    send_draw(s, x, y, 0, style, colour);
  } else {
    // A vector is cut where it crosses the clipping window, so nothing outside is drawn and
    // the part inside keeps its true direction.
    double ax = t.pen_x, ay = t.pen_y, bx = x, by = y;
    if (clip_segment(t.clip, ax, ay, bx, by)) {
      const int sx0 = to_address(ax), sy0 = to_address(ay);
      if (!t.pen_on_screen || sx0 != t.cur_x || sy0 != t.cur_y) send_move(s, sx0, sy0);
      send_draw(s, to_address(bx), to_address(by), action, style, colour);
      t.pen_on_screen = to_address(bx) == x && to_address(by) == y;
    } else {
      t.pen_on_screen = false;
    }
    t.pen_x = x;
    t.pen_y = y;
  }
  t.last_action = action;
}

void relative_point(Session& s, int dx, int dy, int pen) {
  screen_point(s, s.gfx.tek.pen_x + dx, s.gfx.tek.pen_y + dy, pen);
}

void plot_to_screen(const ScreenTransform& t, float x, float y, int& sx, int& sy) {
  const float fx = ((x - t.x0) * t.sx + static_cast<float>(t.sx0)) * t.zoom + t.xoff;
  const float fy = (t.sx * (y - t.y0) * t.yfac + static_cast<float>(t.sy0)) * t.zoom + t.yoff;
  // Far-off points only need to stay far off: keep them inside int range.
  constexpr float kFar = 1.0e6f;
  sx = static_cast<int>(std::isnan(fx) ? -kFar : std::clamp(fx, -kFar, kFar));
  sy = static_cast<int>(std::isnan(fy) ? -kFar : std::clamp(fy, -kFar, kFar));
}

void plot_point(Session& s, float x, float y, int pen) {
  int sx = 0, sy = 0;
  plot_to_screen(s.gfx.tek.t, x, y, sx, sy);
  screen_point(s, sx, sy, pen);
}

void set_clip_window(Session& s, int x0, int x1, int y0, int y1) {
  s.gfx.tek.clip = {std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1)};
}

bool begin_screen_plot(Session& s, Input& in, Output& out, float x0, float x1, float y0, float y1) {
  ScreenTransform& t = s.gfx.tek.t;
  t.x0 = x0;
  t.x1 = x1;
  t.y0 = y0;
  t.y1 = y1;
  const float w = x1 - x0, h = y1 - y0;
  t.sx = w != 0.0f ? static_cast<float>(t.sx1 - t.sx0) / w : 0.0f;
  t.yfac = (h != 0.0f && t.sx != 0.0f) ? (static_cast<float>(t.sy1 - t.sy0) / h) / t.sx : 0.0f;
  if (!s.dest.is_open()) {
    std::string star = "*";
    qxdest(s, star, s.gfx.terminal);
    if (!s.dest.is_open()) return false;
  }
  if (s.gfx.tek.type == 0) qxterm(s, in, out, 0);
  qxmode(s, 2);
  return true;
}

void graphics_erase(Session& s) {
  qxmode(s, 1);
  if (s.gfx.tek.type == 7) tek_byte(s, kUS);
  tek_byte(s, kESC);
  tek_byte(s, kFF);
  qxmode(s, 0);
}

}  // namespace qx
