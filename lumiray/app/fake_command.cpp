// The FAKE command: its dialogue, the paraxial rays, the ray file and the energy
// distribution around one or more runs of the generator.
#include "app/fake_command.h"

#include <cmath>
#include <optional>

#include "generate/fake.h"
#include "io/lqio.h"
#include "qx/help.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kYTakesX = 1.0e-20;         // a Y value below this takes the X value
constexpr double kMinDivergence = 1.0e-5;    // the smallest maximum divergence (rad)
constexpr double kMicron = 1.0e-6;
constexpr double kMillimetre = 1.0e-3;
constexpr const char* kHistogramFile = "dist.fit";

// The answers of one run of the FAKE dialogue.
struct Answers {
  Sampling p;
  double max_divergence = 0.0;   // rad: the angle of the second paraxial ray is this / 1000
};

// Writes rays through the open W or A unit and keeps the set within its 200000 rays.
class FileSink : public RaySink {
 public:
  FileSink(Lumiray& s, char unit) : s_(s), unit_(unit) {}
  bool put(const Ray& r) override {
    static const qx::Format kFull{"(1H ,'Maximum number of rays exceeded, stop at ',I10)"};
    const std::unique_ptr<RayWriter>& w = unit_ == 'A' ? s_.rays.appender : s_.rays.writer;
    if (!w) return false;
    if (w->rays() + 1 > kMaxRays) {
      s_.out.write(kFull, w->rays() + 1);
      return false;
    }
    return lqio_write(s_.lqio(), unit_, r);
  }

 private:
  Lumiray& s_;
  char unit_;
};

// Seeds the generator from the time of day, unless the same time made the present state.
void make_seed(Lumiray& s) {
  static const qx::Format kTime{"(1H ,'The time is --',A,'--')"};
  static const qx::Format kFraction{"(1H ,'Fraction of day elapsed ',F7.5)"};
  const std::string time = qx::qxtime();
  const double fraction = seconds_of_day(time) / kSecondsPerDay;
  s.out.write(kTime, time);
  s.out.write(kFraction, fraction);
  if (s.fake.seeded && s.fake.seed_time == time) return;
  s.fake.lcg = Lcg48::state_from(qx::qxran(fraction * 2000.0 + 1.5));
  s.fake.seed_time = time;
  s.fake.seeded = true;
}

// Two values through QXREAD with defaults 0; a Y value below 1.0E-20 takes the X value.
bool ask_pair(Dialogue d, const qx::Format& prompt, double scale, double& x, double& y) {
  double a = 0.0, b = 0.0;
  if (!ask_numbers(d, [&] { d.out.write(prompt); }, a, b)) return false;
  x = std::fabs(a) * scale;
  y = std::fabs(b) * scale;
  if (y < kYTakesX) y = x;
  return true;
}

std::optional<SamplingMode> ask_mode(Dialogue d) {
  static const qx::Format kPrompt{
      "(1H ,'Random (1), Regular (2) or Divergence specified (3)',' mode (CR for 2) > ',$)"};
  static const qx::Format kBad{"(1H ,'?FAKE - The mode is 1, 2 or 3.')"};
  while (true) {
    const std::optional<char> c = ask_letter(d, kPrompt);
    if (!c) return std::nullopt;
    if (*c == ' ' || *c == '2') return SamplingMode::regular;
    if (*c == '1') return SamplingMode::random;
    if (*c == '3') return SamplingMode::divergence;
    d.out.write(kBad);
  }
}

// Random mode: the number of rays, read free form.
std::optional<long> ask_random_count(Dialogue d) {
  static const qx::Format kPrompt{"(1H ,'                                     Number of rays > ',$)"};
  static const qx::Format kBad{"(1H ,'?FAKE - Type a number of rays from 0 to ',I10,'.')"};
  while (true) {
    d.out.write(kPrompt);
    const std::optional<std::string> answer = read_answer(d);
    if (!answer) return std::nullopt;
    qx::StringInput one(*answer);
    double n = 0.0;
    if (qx::qxlen(*answer) > 0 && qx::read_reals(one, std::span<double>(&n, 1)) == qx::ReadStatus::ok) {
      if (const auto k = qx::int_part(n, 0, kMaxRays * 100LL)) return static_cast<long>(*k);
    }
    d.out.write(kBad, kMaxRays * 100);
  }
}

// Regular and divergence modes: object and aperture counts. Empty when the input ended or
// the user aborted with two zeros (abort is then true).
std::optional<std::pair<double, double>> ask_counts(Dialogue d, bool& abort) {
  static const qx::Format kAuto{"(1H ,'                   Number of rays (CR for non-auto) > ',$)"};
  static const qx::Format kEach{"(1H ,'Number of rays in object, aperture (CR to abort) > ',$)"};
  static const qx::Format kBad{"(1H ,'?FAKE - Counts are whole numbers from 0 to ',I10,'.')"};
  abort = false;
  const std::optional<double> n = ask_fixed(d, [&] { d.out.write(kAuto); });
  if (!n) return std::nullopt;
  if (*n > 0.0) return std::make_pair(std::sqrt(*n), std::sqrt(*n));
  while (true) {
    double a = 0.0, b = 0.0;
    if (!ask_numbers(d, [&] { d.out.write(kEach); }, a, b)) return std::nullopt;
    const auto no = qx::nearest_int(a, 0, kMaxRays * 100LL), na = qx::nearest_int(b, 0, kMaxRays * 100LL);
    if (!no || !na) {
      d.out.write(kBad, kMaxRays * 100);
      continue;
    }
    if (*no == 0 && *na == 0) {
      abort = true;
      return std::nullopt;
    }
    return std::make_pair(static_cast<double>(*no), static_cast<double>(*na));
  }
}

// Steps 3 to 12 of the dialogue. Empty when the command ends.
std::optional<Answers> ask_answers(Lumiray& s, Dialogue d, double collimator) {
  static const qx::Format kShape{"(1H ,'     Circular or Square apertures (CR for Circular) > ',$)"};

  Answers a;
  Sampling& p = a.p;
  p.collimator = collimator;
  const std::optional<SamplingMode> mode = ask_mode(d);
  if (!mode) return std::nullopt;
  p.mode = *mode;
  if (p.mode == SamplingMode::random) {
    const std::optional<long> n = ask_random_count(d);
    if (!n) return std::nullopt;
    p.random_rays = *n;
  } else {
    bool abort = false;
    const auto counts = ask_counts(d, abort);
    if (!counts) return std::nullopt;
    p.no = counts->first;
    p.na = counts->second;
  }

  const std::optional<char> shape = ask_letter(d, kShape);
  if (!shape) return std::nullopt;
  p.square = *shape == 'S';
  static const qx::Format kSquare{"(1H ,'                       < SQUARE apertures selected. >')"};
  static const qx::Format kCircular{"(1H ,'                     < CIRCULAR apertures selected. >')"};
  d.out.write(p.square ? kSquare : kCircular);
  if (!p.square) {
    // The same number of rays over a circle as over its square.
    p.no *= std::sqrt(4.0 / kPi);
    p.na *= std::sqrt(4.0 / kPi);
  }

  static const qx::Format kObject{"(1H ,'                   Object X and Y diameter (micron) > ',$)"};
  static const qx::Format kDivergence{"(1H ,'       Maximum object X and Y divergences (degrees) > ',$)"};
  static const qx::Format kAperture{"(1H ,'                     Aperture X and Y diameter (mm) > ',$)"};
  double obj_x = 0.0, obj_y = 0.0, ap_x = 0.0, ap_y = 0.0;
  if (p.mode == SamplingMode::divergence) {
    if (!ask_pair(d, kDivergence, kDegree, obj_x, obj_y)) return std::nullopt;
  } else if (!ask_pair(d, kObject, kMicron, obj_x, obj_y)) {
    return std::nullopt;
  }
  if (!ask_pair(d, kAperture, kMillimetre, ap_x, ap_y)) return std::nullopt;
  const bool y_without_x = (obj_x < kNoSize && obj_y >= kNoSize) || (ap_x < kNoSize && ap_y >= kNoSize);
  if (p.mode == SamplingMode::divergence && y_without_x) {
    static const qx::Format kNeedX{"(1H ,'?FAKE - A Y size needs an X size in divergence mode.')"};
    d.out.write(kNeedX);
    return std::nullopt;
  }
  static const qx::Format kMaxDiv{"(1H ,'          < Maximum divergence = ',1P,G12.5,' mrad.>')"};
  const double L = p.collimator;
  if (p.mode != SamplingMode::divergence) {
    a.max_divergence = std::max(ap_x, ap_y) / (2.0 * L);
    if (!(a.max_divergence > 0.0)) a.max_divergence = kMinDivergence;
    d.out.write(kMaxDiv, a.max_divergence * 1000.0);
  } else {
    a.max_divergence = std::max(obj_x, obj_y) / 2.0;   // the larger half divergence
  }

  static const qx::Format kOffsets{"(1H ,'                       Aperture offsets (x,y) in mm > ',$)"};
  double off_x = 0.0, off_y = 0.0;
  if (!ask_numbers(d, [&] { d.out.write(kOffsets); }, off_x, off_y)) return std::nullopt;
  p.th_off = off_x / (1000.0 * L);
  p.ph_off = off_y / (1000.0 * L);

  if (s.colour != 0) {
    static const qx::Format kColours{"(1H ,22X,'Number of colours (CR for ',I2,') > ',$)"};
    double n = s.fake.colours;
    if (!ask_number(d, [&] { d.out.write(kColours, s.fake.colours); }, n)) return std::nullopt;
    if (const auto k = qx::nearest_int(n, 1, 99)) s.fake.colours = static_cast<int>(*k);
  }

  static const qx::Format kSpread{"(1H ,'                Maximum beam energy half spread (%) > ',$)"};
  const std::optional<double> spread = ask_fixed(d, [&] { d.out.write(kSpread); });
  if (!spread) return std::nullopt;
  p.spread = std::fabs(*spread);

  static const qx::Format kPeak{"(1H ,20X,'In random mode it is possible to flux peak',/,"
                                "1H ,20X,'by setting the idicies for the random number',/,"
                                "1H ,20X,'generator to values greater than 0.01.')"};
  d.out.write(kPeak);
  while (true) {
    static const qx::Format kIndices{"(1H ,'             Indicies for object and aperture (o,a) > ',$)"};
    double ko = 0.0, ka = 0.0;
    if (!ask_numbers(d, [&] { d.out.write(kIndices); }, ko, ka)) return std::nullopt;
    if (ko >= 0.0 && ka >= 0.0) {
      p.ko = ko;
      p.ka = ka;
      break;
    }
    static const qx::Format kNegative{"(1H ,'?FAKE - Flux peaking indices are 0 or more.')"};
    d.out.write(kNegative);
  }
  static const qx::Format kIndicesSet{"(1H ,'Flux peaking indicies set to: Object ',F5.2,' Aperture ',F5.2)"};
  d.out.write(kIndicesSet, p.ko, p.ka);

  // A point object sends all rays through the aperture points, and a point aperture takes
  // all object points.
  if (obj_x < kNoSize) {
    p.na = p.na * p.na;
    p.no = 1.0;
  }
  if (ap_x < kNoSize) {
    p.no = p.no * p.no;
    p.na = 1.0;
  }
  p.hx = obj_x / 2.0;
  p.hy = obj_y / 2.0;
  p.ax = ap_x / 2.0;
  p.ay = ap_y / 2.0;
  if (p.mode == SamplingMode::divergence) {
    s.reg.i[1] = static_cast<int>(qx::nearest_int(p.no, 0, INT32_MAX).value_or(0));
    s.reg.i[2] = static_cast<int>(qx::nearest_int(p.na, 0, INT32_MAX).value_or(0));
  }
  return a;
}

void print_focal_positions(Lumiray& s) {
  static const qx::Format kCaption{"(1H ,'Caption: ',A)"};
  static const qx::Format kFocal{"(1H ,'Focal lengths (from end of system):',/,"
                                 "1H ,'X focal position = ',1P,G12.5,' m',/,"
                                 "1H ,'Y focal position = ',1P,G12.5,' m')"};
  s.out.write(kCaption, qx::trim_right(s.caption));
  if (const std::optional<FocalPositions> f = focpos(s.coef)) {
    s.fake.focus_x = f->f;
    s.fake.focus_y = f->g;
    s.fake.focus_known = true;
  }
  s.out.write(kFocal, s.fake.focus_x, s.fake.focus_y);
}

void write_histogram(Lumiray& s) {
  static const qx::Format kHead{"(1H ,'DE distribution',/,1H ,'DE',/,1H ,'Number',/,1H ,'12,0 0',/,1H ,'0',/,1H ,'0')"};
  static const qx::Format kBin{"(1H ,I3,',',I4,',0')"};
  static const qx::Format kWritten{"(1H ,'Energy distribution in dist.fit')"};
  static const qx::Format kFailed{"(1H ,'Unable to open ',A)"};
  auto f = qx::FileOutput::open(kHistogramFile, qx::FileOutput::Mode::atomic, 4);
  if (f) {
    f->write(kHead);
    for (int b = 1; b <= kHistogramBins; ++b) f->write(kBin, b, s.fake.histogram[static_cast<std::size_t>(b - 1)]);
  }
  if (!f || !f->commit()) {
    s.out.write(kFailed, kHistogramFile);
    return;
  }
  s.out.write(kWritten);
}

// The ray file of FAKE/N: the coefficient file's name up to its first "." with ".bin".
std::string ray_name_beside(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
  return (dot == std::string::npos ? name : name.substr(0, dot)) + ".bin";
}

}  // namespace

void fake_command(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kSolenoid{"(1H ,'Solenoid option active.')"};
  static const qx::Format kObtain{"(1H ,/,1H ,'<<< Obtain aberration coefficients',' and system parameters >>> ')"};
  static const qx::Format kNoCoefficients{"(1H ,'Error getting coefficients')"};

  s.fake.histogram.fill(0);
  std::string arg = line.cut ? std::string() : line.typed_arg;
  static const qx::Format kCut{"(1H ,'?FAKE - The line was cut at column 40; the file name is asked for.')"};
  if (line.cut) s.out.write(kCut);
  const bool solenoid = arg == "S" || arg == "s" || arg.rfind("S ", 0) == 0 || arg.rfind("s ", 0) == 0;
  if (solenoid) {
    const std::size_t rest = arg.find_first_not_of(' ', 1);
    arg = rest == std::string::npos ? std::string() : arg.substr(rest);
  }
  const char unit = line.option == 'A' ? 'A' : 'W';
  std::string cof_name = line.option == 'N' ? arg : std::string();
  std::string ray_name = line.option == 'N' && !arg.empty() ? ray_name_beside(arg) : arg;
  if (!ray_name.empty() && lqio_refuse_current_set(s.lqio(), ray_file_name(ray_name))) return;

  bool writing = false;      // the ray file is open
  bool any_spread = false;   // some run had an energy spread
  while (true) {
    if (solenoid) s.out.write(kSolenoid);
    make_seed(s);
    s.out.write(kObtain);
    const int got = cofrev(s.dialogue(), cof_name, line.option, s.coef);
    if (got == 1) s.out.write(kNoCoefficients);
    if (got != 0) break;
    s.cof_file = cof_name;
    if (!(std::fabs(s.coef.collimator_distance) >= kNoSize) || !std::isfinite(s.coef.collimator_distance)) {
      static const qx::Format kZeroDistance{"(1H ,'?FAKE - The collimator distance is zero; no rays can be aimed.')"};
      s.out.write(kZeroDistance);
      break;
    }
    std::optional<Answers> answers = ask_answers(s, s.dialogue(), s.coef.collimator_distance);
    if (!answers) break;
    answers->p.solenoid = solenoid;
    any_spread = any_spread || answers->p.spread > kSpreadOn;

    s.caption = s.coef.title;
    print_focal_positions(s);
    static const qx::Format kAppending{"(1H ,' Appending rays to file: ',A)"};
    if (!writing) {
      if (unit == 'A' && !ray_name.empty()) s.out.write(kAppending, ray_file_name(ray_name));
      if (lqio_open(s.lqio(), unit, ray_name) != 0) return;
      writing = true;
      ray_name = (unit == 'A' ? s.rays.appender : s.rays.writer)->path().string();
    }

    FileSink sink(s, unit);
    Lcg48 rng(s.fake.lcg);
    const Ray axial = raymap(s.coef, Ray{});
    const double slope = answers->max_divergence / 1000.0;
    const Ray paraxial = raymap(s.coef, Ray{0.0, slope, 0.0, slope, 0.0});
    long total = 0;
    if (sink.put(axial) && sink.put(paraxial))
      total = generate_rays(answers->p, s.coef, rng, s.fake.histogram, sink, s.out);
    static const qx::Format kTotal{"(1H ,I8,' rays generated total.')"};
    s.out.write(kTotal, total);

    static const qx::Format kAgain{"(1H ,'Return to top of this routine, or quit? (R/Q) > ',$)"};
    const std::optional<char> again = ask_letter(s.dialogue(), kAgain);
    if (!again || (*again != 'R' && *again != 'Y')) break;
  }
  if (!writing) return;
  lqio_close(s.lqio(), unit);
  lqio_open(s.lqio(), 'R', ray_name);
  if (any_spread) write_histogram(s);
}

}  // namespace lumiray
