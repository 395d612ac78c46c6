#include "qx/plotfile.h"

#include <array>
#include <cmath>

#include "qx/format.h"
#include "qx/text.h"
#include "qx/units.h"

namespace qx {

PlotFile::PlotFile() = default;
PlotFile::~PlotFile() = default;
PlotFile::PlotFile(PlotFile&&) noexcept = default;
PlotFile& PlotFile::operator=(PlotFile&&) noexcept = default;

std::string PlotFile::take_user_name(std::string_view extension) {
  if (qxlen(user_name) == 0) return {};
  std::string chosen(trim_right(user_name));
  user_name.clear();
  if (chosen.find('.') == std::string::npos) chosen += extension;
  return chosen;
}

std::string numbered_plot_name(int run, std::string_view extension) {
  return std::string("plt") + static_cast<char>('0' + run / 10 % 10) + static_cast<char>('0' + run % 10) +
         std::string(extension);
}

Rgb pen_rgb(double pen) {
  static constexpr std::array<Rgb, 8> kPens = {{{0, 0, 0},
                                                 {0.8, 0, 0},
                                                 {0, 0.6, 0},
                                                 {0, 0, 0.8},
                                                 {0, 0.6, 0.6},
                                                 {0.7, 0, 0.7},
                                                 {0.9, 0.5, 0},
                                                 {0.5, 0.5, 0.5}}};
  const long k = std::isfinite(pen) ? std::lround(pen) : 1;
  return kPens[static_cast<std::size_t>(((k - 1) % 8 + 8) % 8)];
}

void fit_letter_page(PlotFile& w, Output& out, const PlotStart& p) {
  double a = p.a, m = p.m;
  if (!(a > 1.0e-5) || !std::isfinite(a)) a = kLetterPage.root2;
  if (!std::isfinite(m)) m = 0.0;
  const PageFrame<double> f = page_frame(kLetterPage, a, m);
  const double x0 = p.x0, x1 = p.x1, y0 = p.y0, y1 = p.y1;
  double sx = 0.0, sy = 0.0;
  if (x1 - x0 == 0.0 || y1 - y0 == 0.0 || !std::isfinite(x1 - x0) || !std::isfinite(y1 - y0)) {
    out.list(" X or Y range is zero!");
  } else {
    sx = (f.x1 - f.x0) / (x1 - x0);
    sy = (f.y1 - f.y0) / (y1 - y0);
  }
  w.sx = sx * w.zoom;
  w.sy = sy * w.zoom;
  w.xorg = (f.x0 - x0 * sx) * w.zoom + w.xoff;
  w.yorg = (f.y0 - y0 * sy) * w.zoom + w.yoff;
  static const Format kWritten{"(1H ,'Plot written to: ',A)"};
  out.write(kWritten, w.name);
}

}  // namespace qx
