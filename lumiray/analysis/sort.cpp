#include "analysis/sort.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kMargin = 0.025;           // the data square is widened by 2.5 % each side
constexpr double kDefaultStep = 1.0e-6;     // m, radial step
constexpr double kSortPi = 3.1415927;
constexpr std::size_t kNameAnswer = 30;     // a name typed at the prompt (A30)
constexpr long kFirstRay = 3;

using Grid = std::vector<std::int32_t>;     // n x n counts, column i fastest

const qx::Format kOutputIn{"(1H ,20X,'Output in file ',A)"};
const qx::Format kOutputFile{"(1H ,'Output in file ',A)"};

// The output name: the argument, the current data file or an answer, cut at the first "."
// with ".agp"; a directory prefix closed by ")" is dropped. Empty when the command ends.
std::optional<std::string> sort_base(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kAsk{"(1H ,'Output filename > ',$)"};
  std::string name = line.cut ? std::string() : std::string(qx::trim_right(line.typed_arg));
  if (name.empty()) name = std::string(qx::trim_right(s.data_file));
  if (name.empty()) {
    const std::optional<std::string> answer = ask_file_name(s.dialogue(), kAsk, kNameAnswer);
    if (!answer || answer->empty()) return std::nullopt;
    name = *answer;
  }
  std::string base = base_name(name);
  if (const std::size_t close = base.find(')'); close != std::string::npos) base = base.substr(close + 1);
  return base;
}

int ask_grid_size(Lumiray& s) {
  static const qx::Format kAsk{"(1H ,'Size of grid (NxN) (CR for N=25) > ',$)"};
  static const qx::Format kTooBig{"(1H ,'Index too big, grid set to ',I2,'x',I2,/)"};
  static const qx::Format kTooSmall{"(1H ,'%LQSORT - A grid has at least 2x2 points; grid set to 2x2.')"};
  const std::optional<double> answer = ask_fixed(s.dialogue(), [&] { s.out.write(kAsk); });
  if (!answer) return 0;
  if (*answer == 0.0) return kDefaultGrid;
  const std::optional<std::int64_t> n = qx::nearest_int(*answer, INT32_MIN, INT32_MAX);
  if (!n || *n > kMaxGrid) {
    s.out.write(kTooBig, kMaxGrid, kMaxGrid);
    return kMaxGrid;
  }
  // The grid spacing divides by n - 1.
  if (*n < 2) {
    s.out.write(kTooSmall);
    return 2;
  }
  return static_cast<int>(*n);
}

// The range prompt: an empty answer keeps the data square; a typed non-zero range C (um)
// gives the square of side C centred on the axis. False at the end of the input.
bool ask_range(Lumiray& s, SortRegion& region) {
  static const qx::Format kAsk{"(1H ,'Range = ',1P,G13.5,'micron, required range (micron) > ',$)"};
  static const qx::Format kBad{"(1H ,'?LQSORT - The range is a number of micrometres.')"};
  while (true) {
    s.out.write(kAsk, region.range * kMicrometresPerMetre);
    const std::optional<std::string> answer = read_answer(s.dialogue());
    if (!answer) return false;
    if (qx::qxlen(*answer) == 0) return true;
    qx::StringInput one(*answer);
    double c = 0.0;
    if (qx::read_reals(one, std::span<double>(&c, 1)) == qx::ReadStatus::ok && std::isfinite(c)) {
      if (c != 0.0) {
        region.range = std::fabs(c) / kMicrometresPerMetre;
        region.lo = -region.range / 2.0;
      }
      return true;
    }
    s.out.write(kBad);
  }
}

// The data square at z: from ray 1 and rays 3..NTOT, widened by 5 %. Empty when the command
// ends (zero range or a short file).
std::optional<SortRegion> data_region(Lumiray& s, RaySource& rays, double z) {
  static const qx::Format kX{"(1H ,'Xmax = ',1P,G13.5,' X min = ',1P,G13.5)"};
  static const qx::Format kY{"(1H ,'Ymax = ',1P,G13.5,' Y min = ',1P,G13.5)"};
  static const qx::Format kZero{"(1H ,'?LQSORT - Zero range.')"};
  Ray first;
  if (!rays.get(1, first)) return std::nullopt;
  Extents start;
  start.add(at_plane(first, z));
  const std::optional<Extents> e = extents_at(rays, z, kFirstRay, start);
  if (!e) return std::nullopt;
  s.out.write(kX, e->xmax, e->xmin);
  s.out.write(kY, e->ymax, e->ymin);
  if (e->xrange() * e->yrange() == 0.0) {
    s.out.write(kZero);
    return std::nullopt;
  }
  SortRegion r;
  r.lo = std::min(e->xmin, e->ymin);
  r.range = std::max(e->xmax, e->ymax) - r.lo;
  r.lo -= kMargin * r.range;
  r.range *= 1.0 + 2.0 * kMargin;
  // Rays spread near the end of the double range would put infinite grid points (um) in the file.
  if (!std::isfinite(r.lo * kMicrometresPerMetre) || !std::isfinite((r.lo + r.range) * kMicrometresPerMetre)) {
    static const qx::Format kTooWide{"(1H ,'?LQSORT - The rays spread too far to sort.')"};
    s.out.write(kTooWide);
    return std::nullopt;
  }
  return r;
}

// Counts every ray 1..NTOT into the grid; returns the largest cell count.
std::optional<std::int32_t> bin_rays(Lumiray& s, RaySource& rays, double z, const SortRegion& r, Grid& grid) {
  static const qx::Format kOutside{"(1H ,I10,' rays fell outside the grid.')"};
  std::int32_t cmax = 0;
  long outside = 0;
  const bool whole = each_ray(rays, 1, [&](long, const Ray& ray) {
    const Point p = at_plane(ray, z);
    const int i = r.cell(p.x), j = r.cell(p.y);
    if (i == 0 || j == 0) {
      ++outside;
      return true;
    }
    std::int32_t& c = grid[static_cast<std::size_t>((j - 1) * r.n + (i - 1))];
    cmax = std::max(cmax, ++c);
    return true;
  });
  if (!whole) return std::nullopt;
  if (outside > 0) s.out.write(kOutside, outside);
  return cmax;
}

// The truncation value, cmax by default. Empty at the end of the input.
std::optional<std::int32_t> ask_truncation(Lumiray& s, std::int32_t cmax) {
  static const qx::Format kAsk{"(1H ,'Maximum intensity is ',A,' counts, truncation value > ',$)"};
  static const qx::Format kBad{"(1H ,'?LQSORT - The truncation value is a count from 0 to ',I10,'.')"};
  static const qx::Format kTruncating{"(1H ,'Truncating map to ',A,' counts')"};
  while (true) {
    double t = cmax;
    if (!ask_number(s.dialogue(), [&] { s.out.write(kAsk, count_field(cmax, 6)); }, t)) return std::nullopt;
    if (const std::optional<std::int64_t> n = qx::nearest_int(t, 0, INT32_MAX)) {
      s.out.write(kTruncating, count_field(*n, 6));
      return static_cast<std::int32_t>(*n);
    }
    s.out.write(kBad, INT32_MAX);
  }
}

bool write_grid(Lumiray& s, qx::FileOutput& f, const SortRegion& r, const Grid& grid, std::int32_t t) {
  static const qx::Format kPoint{"(1H ,1P,G12.5,',',1P,G12.5,',',A)"};
  static const qx::Format kCannot{"(1H ,'?LQSORT - Unable to write ',A)"};
  write_plot_header(f, s.caption, "X (^gg^rm)", "Y (^gg^rm)");
  for (int j = 1; j <= r.n; ++j)
    for (int i = 1; i <= r.n; ++i) {
      const std::int32_t c = grid[static_cast<std::size_t>((j - 1) * r.n + (i - 1))];
      f.write(kPoint, r.point(i) * kMicrometresPerMetre, r.point(j) * kMicrometresPerMetre, count_field(std::min(c, t), 5));
    }
  if (f.commit()) return true;
  s.out.write(kCannot, f.path().string());
  return false;
}

// A secondary file of SORT, named and announced; it must be new.
std::unique_ptr<qx::FileOutput> open_secondary(Lumiray& s, const std::string& base, std::string_view extension) {
  const std::string name = secondary_name(base, extension);
  s.out.write(kOutputFile, name);
  return open_plot_file(s, name, qx::FileOutput::Mode::create_new, "?LQSORT");
}

// A percentage in four columns: F4.0 from 99.95, F4.1 from 9.995, else F4.2.
std::string percent_field(double p) {
  if (p >= 99.95) return qx::edit_f(p, 4, 0);
  if (p >= 9.995) return qx::edit_f(p, 4, 1);
  return qx::edit_f(p, 4, 2);
}

void write_percentages(Lumiray& s, const std::string& base, const SortRegion& r, const Grid& grid,
                       std::int32_t cmax, double z) {
  static const qx::Format kWriting{"(1H ,'Writing a percentage file.')"};
  static const qx::Format kAsk{"(1H ,'Percent of Total or Maximum > ',$)"};
  static const qx::Format kNoCounts{"(1H ,'?LQSORT - No counts to take a percentage of; no file written.')"};
  s.out.write(kWriting);
  const std::optional<char> which = ask_letter(s.dialogue(), kAsk);
  if (!which) return;
  const bool maximum = *which == 'M';
  const std::int64_t q = maximum ? cmax : s.ntot;
  if (q <= 0) {   // every ray fell outside the grid
    s.out.write(kNoCounts);
    return;
  }
  const std::unique_ptr<qx::FileOutput> f = open_secondary(s, base, ".lpt");
  if (!f) return;
  static const qx::Format kRow{"(1H ,A)"};
  std::string row = count_field(q, 4) + "- ";
  for (int i = 1; i <= r.n; ++i) row += qx::edit_i(i, 4) + " ";
  f->write(kRow, row);
  for (int j = 1; j <= r.n; ++j) {
    row = qx::edit_i(j, 4) + "- ";
    for (int i = 1; i <= r.n; ++i)
      row += percent_field(100.0 * grid[static_cast<std::size_t>((j - 1) * r.n + (i - 1))] / q) + " ";
    f->write(kRow, row);
  }
  static const qx::Format kTrailer{"(1H ,/,1H ,'Data expressed as a percentage of ',A,' counts.',/,1H ,A,/,"
                                   "1H ,'Image distance = ',1P,G13.5,' micron. ',' Sort region = ',1P,G13.5,"
                                   "' square microns.',/,1H )"};
  f->write(kTrailer, count_field(q, 10),
           maximum ? "This is the highest count in a channel." : "This is the total number of counts.",
           z * kMicrometresPerMetre, r.range * kMicrometresPerMetre);
  f->commit();
}

void write_radial(Lumiray& s, RaySource& rays, const std::string& base, double z) {
  static const qx::Format kWriting{"(1H ,'Writing a count file.')"};
  static const qx::Format kStep{"(1H ,'Step size along radius (def=1micron), micron > ',$)"};
  s.out.write(kWriting);
  const std::optional<double> answer = ask_fixed(s.dialogue(), [&] { s.out.write(kStep); });
  if (!answer) return;
  const double step = *answer == 0.0 ? kDefaultStep : std::fabs(*answer) / kMicrometresPerMetre;
  // The outer radius of the last annulus, squared for its area, must stay a number.
  if (!std::isfinite(kAnnuli * *answer * kAnnuli * *answer)) {
    static const qx::Format kTooLong{"(1H ,'?LQSORT - The step is too long.')"};
    s.out.write(kTooLong);
    return;
  }
  const std::unique_ptr<qx::FileOutput> f = open_secondary(s, base, ".fit");
  if (!f) return;
  static const qx::Format kOut{"(1H ,'Radius out of range, I = ',A,' r = ',1P,G13.5)"};
  std::vector<std::int32_t> annulus(kAnnuli, 0);
  const bool whole = each_ray(rays, 1, [&](long, const Ray& ray) {
    const Point p = at_plane(ray, z);
    const double r = std::sqrt(p.x * p.x + p.y * p.y);
    const double k = std::floor(r / step + 1.0);
    if (k <= kAnnuli)
      ++annulus[static_cast<std::size_t>(k) - 1];
    else
      s.out.write(kOut, k < 1.0e15 ? count_field(static_cast<std::int64_t>(k), 10) : qx::edit_e(k, 10, 3), r);
    return true;
  });
  if (!whole) return;   // the file is not committed: nothing half made is left
  static const qx::Format kAsk{"(1H ,'Intensity or Counts along Y ? (Def. I) > ',$)"};
  const std::optional<char> kind = ask_letter(s.dialogue(), kAsk);
  if (!kind) return;
  const bool counts = *kind == 'C';
  if (counts)
    write_plot_header(*f, "Counts as a function of radius", "Radius (^Gg^Rm)", "Counts", "12,1");
  else
    write_plot_header(*f, "Intensity as a function of radius.", "Radius (^Gg^Rm)", "Intensity (Counts/^Gg^Rm^U2^R)",
                      "12,1");
  static const qx::Format kCount{"(1H ,1P,G13.5,',',A,',',1P,G13.5)"};
  static const qx::Format kIntensity{"(1H ,1P,G13.5,',',1P,G13.5,',',1P,G13.5)"};
  static const qx::Format kBadArea{"(1H ,'Bad area at annulus ',I5)"};
  const double um = step * kMicrometresPerMetre;
  for (int k = 1; k <= kAnnuli; ++k) {
    const std::int32_t n = annulus[static_cast<std::size_t>(k - 1)];
    if (n == 0) continue;
    const double mid = (k - 0.5) * um;
    if (counts) {
      f->write(kCount, mid, count_field(n, 5), std::sqrt(static_cast<double>(n)));
      continue;
    }
    const double ri = (k - 1) * um, ro = k * um;
    const double area = kSortPi * (ro * ro - ri * ri);
    if (!(area > 0.0)) {
      s.out.write(kBadArea, k);
      continue;
    }
    f->write(kIntensity, mid, n / area, std::sqrt(static_cast<double>(n)) / area);
  }
  f->commit();
}

void write_edge_scan(Lumiray& s, const std::string& base, const SortRegion& r, const Grid& grid) {
  static const qx::Format kWriting{"(1H ,'Writing an edge scan file.')"};
  static const qx::Format kRecord{"(1H ,I2,',',A,',',1P,G13.5)"};
  s.out.write(kWriting);
  const std::unique_ptr<qx::FileOutput> f = open_secondary(s, base, ".FIT");
  if (!f) return;
  write_plot_header(*f, "Edge scan " + base, "Channel", "Number of counts", "12,1");
  std::int64_t cumulative = 0;
  for (int i = 1; i <= r.n; ++i) {
    for (int j = 1; j <= r.n; ++j) cumulative += grid[static_cast<std::size_t>((j - 1) * r.n + (i - 1))];
    f->write(kRecord, i, count_field(cumulative, 9), std::sqrt(static_cast<double>(cumulative)));
  }
  f->commit();
}

}  // namespace

int SortRegion::cell(double v) const {
  const double u = (n - 1) * (v - lo) / range;
  // NINT(u) + 1 within 1..n: u from -0.5 (exclusive) to n - 0.5 (exclusive).
  if (!(u > -0.5) || !(u < n - 0.5)) return 0;
  return static_cast<int>(std::floor(u + 0.5)) + 1;
}

void sort_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kHead{"(1H ,78('-'),/,1H ,20X,'Ray sorting options',/,1H ,78('-'))"};
  static const qx::Format kRange{"(1H ,'Using a maximum range of ',1P,G12.5,' micron',/,"
                                 "1H ,'Rmin ',1P,G12.5,' micron.')"};
  const char option = line.option;
  s.out.write(kHead);
  DataSet rays(s);
  if (!rays.ready("?LQSORT")) return;
  const std::optional<std::string> base = sort_base(s, line);
  if (!base) return;
  const std::string agp = *base + ".agp";
  s.out.write(kOutputIn, agp);

  SortRegion region;
  std::unique_ptr<qx::FileOutput> map;
  if (option != 'C') {
    map = open_plot_file(s, agp, qx::FileOutput::Mode::atomic, "?LQSORT", 2);
    if (!map) return;
    region.n = ask_grid_size(s);
    if (region.n == 0) return;
  }
  const ImagePlanes planes = image_planes(rays, ParaxialTest::each_slope, s.out);
  const std::optional<double> z = ask_image_distance(s, planes);
  if (!z) return;
  if (option == 'C') {
    write_radial(s, rays, *base, *z);
    return;
  }
  std::optional<SortRegion> data = data_region(s, rays, *z);
  if (!data) return;
  data->n = region.n;
  region = *data;
  if (!ask_range(s, region)) return;
  s.out.write(kRange, region.range * kMicrometresPerMetre, region.lo * kMicrometresPerMetre);
  Grid grid(static_cast<std::size_t>(region.n * region.n), 0);
  const std::optional<std::int32_t> cmax = bin_rays(s, rays, *z, region, grid);
  if (!cmax) return;
  const std::optional<std::int32_t> t = ask_truncation(s, *cmax);
  if (!t) return;
  if (!write_grid(s, *map, region, grid, *t)) return;
  if (option == 'P') write_percentages(s, *base, region, grid, *cmax, *z);
  if (option == 'F') write_edge_scan(s, *base, region, grid);
}

}  // namespace lumiray
