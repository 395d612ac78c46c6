#include "analysis/deltae.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>

#include "analysis/plotdata.h"
#include "analysis/ray_tools.h"
#include "io/lqio.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kMicron = 1.0e-6;
constexpr double kMilli = 1.0e-3;

// Smallest and largest value of one coordinate.
struct Extent {
  double lo = 0.0, hi = 0.0;
  void take(double v, bool first) {
    lo = first ? v : std::min(lo, v);
    hi = first ? v : std::max(hi, v);
  }
};

}  // namespace

int delta_bin(double d, double dmin, double spread) {
  if (!std::isfinite(d)) return 0;
  const std::optional<std::int64_t> k = qx::int_part((d - dmin) * (kDeltaBins - 1) / spread + 1.5, 1, kDeltaBins);
  return k ? static_cast<int>(*k) : (d < dmin ? 1 : kDeltaBins);
}

void deltae_command(Lumiray& s, const std::string& typed) {
  static const qx::Format kHead{"(1H ,78('-'),/,1H ,/,1H ,20X,'DELTA E sorting options',/,1H ,/,1H ,78('-'),/,"
                                "1H ,/,1H )"};
  s.out.write(kHead);
  DataSet rays(s);
  if (!has_rays(s, rays, "?DELTAE", 1)) return;
  static const qx::Format kAsk{"(1H ,11X,'Filename for output > ',$)"};
  const std::optional<std::string> asked = name_or_ask(s, typed, kAsk);
  if (!asked) return;
  std::string name = *asked;
  name = output_name(name, ".fit");
  const std::unique_ptr<qx::FileOutput> file = open_plot_file(s, name, qx::FileOutput::Mode::atomic, "?DELTAE");
  if (!file) return;
  static const qx::Format kFile{"(1H ,'DE histogram file is: ',A)"};
  s.out.write(kFile, name);

  Extent x, y, th, ph, d;
  const bool whole = each_ray(rays, 1, [&](long i, const Ray& r) {
    x.take(r.x / kMicron, i == 1);
    y.take(r.y / kMicron, i == 1);
    th.take(r.th / kMilli, i == 1);
    ph.take(r.ph / kMilli, i == 1);
    d.take(r.d, i == 1);
    return true;
  });
  if (!whole) return;
  const long seen = rays.count();
  static const qx::Format kRanges{
      "(1H ,'X-axis spread range: ',1P,G12.5,' to ',1P,G12.5,'micron',/,"
      "1H ,'Y-axis spread range: ',1P,G12.5,' to ',1P,G12.5,'micron',/,"
      "1H ,'X-div. spread range: ',1P,G12.5,' to ',1P,G12.5,'milliradians',/,"
      "1H ,'Y-div. spread range: ',1P,G12.5,' to ',1P,G12.5,'milliradians',/,"
      "1H ,'      Delta E range: ',1P,G12.5,' to ',1P,G12.5,'?','?')"};
  s.out.write(kRanges, x.lo, x.hi, y.lo, y.hi, th.lo, th.hi, ph.lo, ph.hi, d.lo, d.hi);
  const double spread = d.hi - d.lo;
  static const qx::Format kZero{"(1H ,'%DELTAE - The energy deviations span no finite width: no histogram is written.')"};
  // One energy for every ray leaves no width to divide into bins.
  if (!(spread > 0.0) || !std::isfinite(spread)) {
    s.out.write(kZero);
    return;
  }

  // The rearranged set beside the current one: "DE" before the data file's own name.
  const std::filesystem::path current(s.data_file);
  const std::string rearranged = (current.parent_path() / ("DE" + current.filename().string())).string();
  static const qx::Format kSameName{"(1H ,'?DELTAE - ',A,' names the rearranged ray file; choose another name.')"};
  // One name for both files would leave only one of them.
  if (std::filesystem::path(name).lexically_normal() == std::filesystem::path(rearranged).lexically_normal()) {
    s.out.write(kSameName, name);
    return;
  }
  if (lqio_open(s.lqio(), 'W', rearranged) != 0) return;
  static const qx::Format kRearranged{"(1H ,'Rearranged file alpha/DE is: ',A)"};
  s.out.write(kRearranged, rearranged);
  std::array<long, kDeltaBins + 1> counts{};
  const bool written = each_ray(rays, 1, [&](long, const Ray& r) {
    ++counts[static_cast<std::size_t>(delta_bin(r.d, d.lo, spread))];
    return lqio_write(s.lqio(), 'W', Ray{std::sqrt(r.th * r.th + r.ph * r.ph), 0.0, r.d, 0.0, 0.0});
  });
  if (!written) {
    s.rays.writer.reset();
    return;
  }
  static const qx::Format kAlpha{"(1H ,'Alpha vs. DE in file: ',A)"};
  s.out.write(kAlpha, rearranged);
  write_plot_header(*file, s.caption, "DE (%)", "Counts/Total (%)", "5,0");
  static const qx::Format kPoint{"(1H ,1P,G12.5,',',1P,G12.5,',0')"};
  // Each bin is written at its centre.
  for (int k = 1; k <= kDeltaBins; ++k)
    file->write(kPoint, d.lo + (k - 1) * spread / (kDeltaBins - 1),
                100.0 * static_cast<double>(counts[static_cast<std::size_t>(k)]) / static_cast<double>(seen));
  static const qx::Format kCannotWrite{"(1H ,'?DELTAE - Unable to write ',A)"};
  if (!file->commit()) s.out.write(kCannotWrite, name);
  lqio_open(s.lqio(), 'E', "");
}

}  // namespace lumiray
