#include "analysis/profile.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/plane.h"
#include "analysis/plotdata.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kNoRange = 1.0e-20;
constexpr std::size_t kNameAnswer = 30;

double quantity(const Ray& r, char letter) {
  if (letter == 'X') return r.x;
  if (letter == 'Y') return r.y;
  return r.d;
}

std::optional<char> ask_option(Lumiray& s) {
  static const qx::Format kOptions{"(1H ,'X      Intensity as a function of X',/,"
                                   "1H ,'Y      Intensity as a function of Y',/,"
                                   "1H ,'E      Intensity as a function of E')"};
  static const qx::Format kAsk{"(1H ,'Option > ',$)"};
  s.out.write(kOptions);
  return ask_letter(s.dialogue(), kAsk);
}

// The channel count: 20 below 1, at most 999. Empty at the end of the input.
std::optional<int> ask_channels(Lumiray& s, char letter) {
  static const qx::Format kAsk{"(1H ,'Number of channels along ',A,'-axis (CR for 20) > ',$)"};
  static const qx::Format kTooMany{"(1H ,'%LQPROFILE - At most ',I3,' channels; ',I3,' used.')"};
  const std::optional<double> answer = ask_fixed(s.dialogue(), [&] { s.out.write(kAsk, std::string(1, letter)); });
  if (!answer) return std::nullopt;
  const std::optional<std::int64_t> n = qx::int_part(*answer, INT32_MIN, INT32_MAX);
  if (!n || *n > kMaxChannels) {
    s.out.write(kTooMany, kMaxChannels, kMaxChannels);
    return kMaxChannels;
  }
  return *n < 1 ? kDefaultChannels : static_cast<int>(*n);
}

}  // namespace

int profile_channel(double v, double lo, double hi, int n) {
  const double c = n * (v - lo) / (hi - lo) + 1.5;
  if (!(c >= INT32_MIN && c <= INT32_MAX)) return c > 0 ? INT32_MAX : INT32_MIN;
  return static_cast<int>(c);
}

void profile_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kHead{"(1H ,78('-'),/,1H ,20X,'Profile sorting options',/,1H ,78('-'))"};
  static const qx::Format kRange{"(1H ,A,'-range from ',1P,G13.5,' to ',1P,G13.5)"};
  s.out.write(kHead);
  DataSet rays(s);
  if (!rays.ready("?LQPROFILE")) return;
  char letter = line.option;
  if (letter == ' ') {
    const std::optional<char> c = ask_option(s);
    if (!c || *c == ' ') return;
    letter = *c;
  }

  Extents range;
  if (!each_ray(rays, 1, [&](long, const Ray& r) {
        const double v = quantity(r, letter);
        range.add(Point{v, v});
        return true;
      }))
    return;
  const std::string which(1, letter);
  s.out.write(kRange, which, range.xmin, range.xmax);
  if (range.empty || !(range.xrange() >= kNoRange)) {
    static const qx::Format kZero{"(1H ,' Zero range!')"};
    s.out.write(kZero);
    return;
  }
  // A range beyond that of a double would put infinite channel positions in the file.
  if (!std::isfinite(range.xrange())) {
    static const qx::Format kTooWide{"(1H ,'?LQPROFILE - The range is too wide to histogram.')"};
    s.out.write(kTooWide);
    return;
  }
  const double lo = range.xmin, hi = range.xmax;

  static const qx::Format kNames{"(1H ,'Plot name : ',A,' Default filename : ',A)"};
  std::string name = line.cut ? std::string() : std::string(qx::trim_right(line.typed_arg));
  if (name.empty()) name = std::string(qx::trim_right(s.data_file));
  s.out.write(kNames, std::string(qx::trim_right(s.data_file)), name);
  if (name.empty()) {
    static const qx::Format kAskName{"(1H ,'Output filename > ',$)"};
    const std::optional<std::string> answer = ask_file_name(s.dialogue(), kAskName, kNameAnswer);
    if (!answer || answer->empty()) return;
    name = *answer;
  }
  // Lower case as the plotting programs expect; a directory keeps its own spelling.
  std::string file = base_name(name);
  const std::size_t slash = file.rfind('/');
  std::string own = file.substr(slash == std::string::npos ? 0 : slash + 1) + which + ".fit";
  qx::qxlowr(own);
  file = file.substr(0, slash == std::string::npos ? 0 : slash + 1) + own;
  static const qx::Format kOutput{"(1H ,'Output in file ',A)"};
  s.out.write(kOutput, file);
  const std::unique_ptr<qx::FileOutput> f =
      open_plot_file(s, file, qx::FileOutput::Mode::atomic, "?LQPROFILE");
  if (!f) return;
  const std::optional<int> n = ask_channels(s, letter);
  if (!n) return;

  static const qx::Format kBadIndex{"(1H ,'Bad index at ',I6,' r = ',1P,G13.5,' index = ',I10)"};
  std::vector<std::int32_t> channel(kProfileChannels, 0);
  int first = kProfileChannels, last = 1;
  if (!each_ray(rays, 1, [&](long i, const Ray& r) {
        const double v = quantity(r, letter);
        int c = profile_channel(v, lo, hi, *n);
        if (c < 1) {
          s.out.write(kBadIndex, i, v, c);
          c = 1;
        }
        c = std::min(c, kProfileChannels);   // cannot happen with at most 999 channels
        ++channel[static_cast<std::size_t>(c - 1)];
        first = std::min(first, c);
        last = std::max(last, c);
        return true;
      }))
    return;

  const bool energy = letter != 'X' && letter != 'Y';
  write_plot_header(*f, which + "-profile for " + std::string(qx::trim_right(s.data_file)),
                    which + " - axis (difference from centre range) " + (energy ? "(%)" : "(^2l^cm)"), "Counts",
                    "12,0");
  // Positions in um; the energy deviation stays in percent as stored.
  static const qx::Format kPoint{"(1H ,1P,G12.5,',',A,',',1P,G12.5)"};
  const double scale = energy ? 1.0 : kMicrometresPerMetre;
  const double centre = (lo + hi) / 2.0;
  for (int c = first; c <= last; ++c) {
    const std::int32_t k = channel[static_cast<std::size_t>(c - 1)];
    const double at = ((c - 1) * ((hi - lo) / *n) + (lo - centre)) * scale;
    // Near the end of the double range a position can overflow; the file is then not kept.
    if (!std::isfinite(at)) {
      static const qx::Format kTooWide{"(1H ,'?LQPROFILE - The range is too wide to histogram.')"};
      s.out.write(kTooWide);
      return;
    }
    f->write(kPoint, at, count_field(k, 5), std::sqrt(static_cast<double>(k)));
  }
  f->commit();
}

}  // namespace lumiray
