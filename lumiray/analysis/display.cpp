#include "analysis/display.h"

#include <span>
#include <cmath>

#include "qx/format.h"
#include "qx/plot.h"
#include "qx/text.h"

namespace lumiray {

namespace {

// Room around the box, in box widths: the caption block above, the scale bar below.
constexpr float kSideRoom = 0.05f;
constexpr float kTopRoom = 0.2f;
constexpr float kBottomRoom = 0.12f;
constexpr float kCaptionSize = 3.75f;   // three quarters of the library's text size
constexpr float kLabelSize = 3.0f;
constexpr double kLongestBar = 1.0e6;   // um
constexpr double kShortestBar = 1.0e-3;
constexpr double kBarToHalfWidth = 1.7;
constexpr float kHpglDot = 1.0e-3f;     // box widths: about a pen width on a full-page plot

void switch_message(Lumiray& s, bool on, const qx::Format& enabled, const qx::Format& disabled, bool& flag) {
  flag = on;
  s.out.write(on ? enabled : disabled);
}

}  // namespace

void display_switch(Lumiray& s, const qx::CommandLine& line, bool scale_allowed) {
  static const qx::Format kScaleOn{"(1H ,'Scale drawing enabled.')"};
  static const qx::Format kScaleOff{"(1H ,'Scale drawing disabled.')"};
  static const qx::Format kCaptionsOn{"(1H ,'Captions enabled.')"};
  static const qx::Format kCaptionsOff{"(1H ,'Captions disabled.')"};
  static const qx::Format kWindowOn{"(1H ,'Window mode enabled.')"};
  static const qx::Format kWindowOff{"(1H ,'Window mode disabled.')"};
  static const qx::Format kParaxialOn{"(1H ,'Paraxial rays plotted.')"};
  static const qx::Format kParaxialOff{"(1H ,'Paraxial rays not plotted.')"};
  static const qx::Format kUnknown{"(1H ,'Unknown option: ',A)"};
  const bool on = line.option == 'E';
  const char what = line.arg_letter();
  Display& d = s.display;
  switch (what) {
    case 'C':
      switch_message(s, on, kCaptionsOn, kCaptionsOff, d.captions);
      return;
    case 'W':
      switch_message(s, on, kWindowOn, kWindowOff, d.window);
      return;
    case 'P':
      switch_message(s, on, kParaxialOn, kParaxialOff, d.paraxial);
      return;
    case 'S':
      if (scale_allowed) {
        switch_message(s, on, kScaleOn, kScaleOff, d.scale);
        return;
      }
      break;
    default:
      break;
  }
  s.out.write(kUnknown, std::string(1, what));
}

char plot_device(Lumiray& s, char option, std::string_view own) {
  if (option != ' ' && own.find(option) != std::string_view::npos) return s.display.device;
  s.display.device = option == ' ' ? 'S' : option;
  return s.display.device;
}

bool begin_box_plot(Lumiray& s, char device, const PlotBox& box) {
  static const qx::Format kCannot{"(1H ,'Unable to plot at this time.')"};
  const float w = box.width();
  const float x0 = box.x0 - kSideRoom * w, x1 = box.x1 + kSideRoom * w;
  const float y0 = box.y0 - kBottomRoom * w, y1 = box.y1 + kTopRoom * w;
  const float aspect = (x1 - x0) / (y1 - y0);
  if (qx::qxplot(s.qx, s.input.current(), s.out, 0, aspect, device, x0, x1, y0, y1) != 0) {
    s.out.write(kCannot);
    return false;
  }
  qx::qxbox(s.qx, device, box.x0, box.x1, box.y0, box.y1);
  return true;
}

void draw_captions(Lumiray& s, char device, const PlotBox& box, std::string_view label) {
  const float w = box.width();
  qx::qxtext(s.qx, 0, device, box.x0, box.y1 + 0.12f * w, kCaptionSize, 0.0f, qx::trim_right(s.caption));
  qx::qxtext(s.qx, 0, device, box.x0, box.y1 + 0.04f * w, kLabelSize, 0.0f, label);
  const std::string_view name = qx::trim_right(s.data_file);
  const float right = qx::qxtext(s.qx, 1, device, 0.0f, 0.0f, kLabelSize, 0.0f, name);
  qx::qxtext(s.qx, 0, device, box.x1 - right, box.y1 + 0.04f * w, kLabelSize, 0.0f, name);
}

void draw_scale_bar_at(Lumiray& s, char device, const PlotBox& box, double half_width_um, float x0, float y,
                       float tick) {
  static const qx::Format kWhole{"(I7)"};
  static const qx::Format kFraction{"(F5.3)"};
  double d = kLongestBar;
  while (d > kShortestBar * 1.5 && d > kBarToHalfWidth * half_width_um) d /= 10.0;
  const float w = box.width();
  const float end = x0 + static_cast<float>(d);
  qx::qxdraw(s.qx, device, x0, y + tick, 3);
  qx::qxdraw(s.qx, device, x0, y - tick, 2);
  qx::qxdraw(s.qx, device, x0, y, 3);
  qx::qxdraw(s.qx, device, end, y, 2);
  qx::qxdraw(s.qx, device, end, y + tick, 3);
  qx::qxdraw(s.qx, device, end, y - tick, 2);
  const std::string value = d >= 1.0 ? plot_text(kWhole, {std::lround(d)}) : plot_text(kFraction, {d});
  const std::string label = value + " ^4l^3m^3";
  qx::qxtext(s.qx, 0, device, end + 0.02f * w, y - tick, kLabelSize, 0.0f, label);
}

void draw_scale_bar(Lumiray& s, char device, const PlotBox& box, double half_width_um) {
  const float w = box.width();
  draw_scale_bar_at(s, device, box, half_width_um, box.x0, box.y0 - 0.07f * w, 0.01f * w);
}

std::string plot_text(const qx::Format& layout, std::initializer_list<qx::FormatArg> args) {
  const std::string text = layout.render(std::span<const qx::FormatArg>(args.begin(), args.size()));
  const std::size_t first = text.find_first_not_of(' ');
  const std::size_t last = text.find_last_not_of(" \n");
  return first == std::string::npos || last == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

void draw_dot(Lumiray& s, char device, const PlotBox& box, float x, float y) {
  // A pen plotter leaves a dot at a stroke of no length, but HPGL viewers draw nothing there;
  // a stroke about as long as the pen is wide shows on both. The screen and PostScript (round
  // line caps) show the stroke of no length as a dot.
  const bool hpgl = device == 'H' || device == 'h' || device == 'P' || device == 'p';
  qx::qxdraw(s.qx, device, x, y, 3);
  qx::qxdraw(s.qx, device, hpgl ? x + kHpglDot * box.width() : x, y, 2);
}

}  // namespace lumiray
