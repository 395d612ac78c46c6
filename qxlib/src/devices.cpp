// The plot device table, and the devices that write no file: the screen, none, not available.
#include <array>
#include <cctype>
#include <string>

#include "qx/device.h"
#include "qx/plot.h"
#include "qx/session.h"
#include "qx/tek.h"
#include "qx/units.h"

namespace qx {

namespace {

constexpr int kScreenTop = 767;   // the clipping window's top: the screen is 1024 by 768
constexpr double kScreenUnitsPerMm = 4.72;

// Tens digit of the screen pen code for a line style.
int style_digit(int style) {
  switch (style) {
    case 1:
    case 5:
      return 3;
    case 2:
    case 6:
      return 2;
    case 3:
      return 1;
    case 4:
      return 4;
    default:
      return 0;
  }
}

class ScreenDevice final : public PlotDevice {
 public:
  int begin(Session& s, Input& in, Output& out, const PlotStart& p) const override {
    const Frame f = screen_frame(p.a, p.m);
    set_clip_window(s, 0, kScreenMax, 0, kScreenTop);
    ScreenTransform& t = s.gfx.tek.t;
    t.sx0 = static_cast<int>(f.x0);
    t.sx1 = static_cast<int>(f.x1);
    t.sy0 = static_cast<int>(f.y0);
    t.sy1 = static_cast<int>(f.y1);
    if (!begin_screen_plot(s, in, out, p.x0, p.x1, p.y0, p.y1)) return 1;
    if (s.gfx.auto_clear) graphics_erase(s);
    return 0;
  }
  void move(Session& s, float x, float y) const override { point(s, x, y, 3); }
  void draw(Session& s, float x, float y) const override { point(s, x, y, 2); }
  void end(Session& s) const override { qxmode(s, 0); }
  void close(Session& s) const override {
    if (s.gfx.tek.mode != 0) qxmode(s, 0);
    tek_byte(s, -1);
  }
  void define_scale(Session& s, double zoom) const override { s.gfx.tek.t.zoom = static_cast<float>(zoom); }
  void define_offsets(Session& s, double dx, double dy) const override {
    s.gfx.tek.t.xoff = static_cast<float>(dx * kScreenUnitsPerMm);
    s.gfx.tek.t.yoff = static_cast<float>(dy * kScreenUnitsPerMm);
  }
  bool retraces_frame() const override { return true; }

 private:
  static void point(Session& s, float x, float y, int action) {
    plot_point(s, x, y, action + 10 * style_digit(s.gfx.plot.line_style));
  }
};

// U: a plot without a device; O: a device this installation does not have.
class NoDevice final : public PlotDevice {
 public:
  explicit NoDevice(bool say_unavailable) : say_(say_unavailable) {}
  int begin(Session&, Input&, Output& out, const PlotStart&) const override {
    if (say_) out.list("Not implemented at Tarnby.");
    return 0;
  }
  void move(Session&, float, float) const override {}
  void draw(Session&, float, float) const override {}

 private:
  bool say_;
};

// One row per device; the first row's device also answers to a blank letter.
constexpr std::array<PlotDeviceRow, 4> kDevices = {{
    {"S", screen_device},
    {"Q", postscript_device},
    {"HP", hpgl_device},
    {"V", svg_device},
}};

char upper_letter(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

}  // namespace

const PlotDevice& screen_device() {
  static const ScreenDevice kDevice;
  return kDevice;
}

PlotDeviceTable plot_device_table() { return {kDevices.data(), static_cast<int>(kDevices.size())}; }

const PlotDevice* plot_device(char letter) {
  const char u = letter == ' ' ? kDevices[0].letters[0] : upper_letter(letter);
  for (const PlotDeviceRow& row : kDevices) {
    if (u != '\0' && std::string_view(row.letters).find(u) != std::string_view::npos) return &row.device();
  }
  return nullptr;
}

const PlotDevice& plot_device_for(char letter) {
  static const NoDevice kNone(false);
  static const NoDevice kUnavailable(true);
  const char u = upper_letter(letter);
  if (u == 'U') return kNone;
  if (u == 'O') return kUnavailable;
  const PlotDevice* d = plot_device(u);
  return d != nullptr ? *d : screen_device();
}

std::string plot_device_letters() {
  std::string list;
  for (const PlotDeviceRow& row : kDevices) {
    for (const char* c = row.letters; *c != '\0'; ++c) {
      if (!list.empty()) list += ", ";
      list += *c;
    }
  }
  return list;
}

}  // namespace qx
