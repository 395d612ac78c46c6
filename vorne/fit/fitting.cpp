// P, PTF, S and STIG, MASK and AGP: the commands that set lens excitations and search for
// good ones with STEPIT.
#include "fit/fitting.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/dialogue.h"
#include "system/editing.h"
#include "app/hooks.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/stepit.h"
#include "qx/text.h"
#include "app/state.h"
#include "optics/walk.h"

namespace vorne {

namespace {

constexpr std::array<std::string_view, kFieldUnits> kUnitNames = {
    "Tesla", "Gauss", "kG   ", "Mcbox", "Lqctl", "kV   ", "Volts",
    "MeV  ", "Beta ", "AmpTn", "Tesla", "Theta", "Fd Gr"};

// Unit indices by role.
constexpr int kTesla = 1;
constexpr int kKilovolts = 6;
constexpr int kVolts = 7;
constexpr int kStrength = 9;
constexpr int kAmpereTurns = 10;
constexpr int kPhase = 12;
constexpr int kGradient = 13;

constexpr double kSmallRadius = 1.0E-10;     // a bore radius below this gives no gradient
constexpr double kFixedLayoutLow = 0.001;    // PTF shows F11.5 for magnitudes in [0.001, 1E4)
constexpr double kFixedLayoutHigh = 1.0E4;
constexpr double kStigTolerance = 1.0E-10;   // STIG's default smallest step
constexpr double kMaskTolerance = 1.0E-6;    // MASK's default smallest step
constexpr double kMicrometres = 1.0E6;       // image-distance errors are fitted in micrometres
constexpr int kTraceFirst = 10;              // STIG traces its first 10 evaluations ...
constexpr int kTraceEvery = 10;              // ... and every 10th after that
constexpr int kMaskTraceEvery = 5;           // MASK traces evaluations 2, 7, 12, ...
constexpr int kMaskTraceAt = 2;
constexpr double kFitPerturbation = 0.005;   // percent, for MASK's chromatic and excitation terms
constexpr int kMaxLink = 9;                  // links are typed as I2: -9..9 show
constexpr int kMaxKind = 99;
constexpr int kMatrixTerms = 8;              // class 1: terms per plane
constexpr int kThirdOrderTerms = 10;
constexpr int kSecondOrderTerms = 10;
constexpr int kChromaticTerms = 2;
constexpr int kClasses = 9;
constexpr int kMaxGrid = 1000;               // AGP: at most this many steps per axis
constexpr std::size_t kGridFileField = 30;   // AGP's file name is read as A30
constexpr int kPointsNote = 100;             // AGP: a note every 100 points

// Coefficient classes.
enum CoefficientClass : int {
  kFirstOrderMatrix = 1,
  kChromatic = 2,
  kLensExcitation = 3,
  kGroupExcitation = 4,
  kOctupoleExcitation = 5,
  kSecondOrder = 6,
  kThirdOrderTotal = 7,
  kThirdOrderQuad = 8,
  kThirdOrderOctu = 9,
};

const qx::Format kNoGroups{"(1H ,'No variable first order elements.')"};

// The walks of a fit run with the warning switch off: the notes of MAG and FOCAL would
// otherwise repeat at every trial point between the fit's own trace lines.
class QuietWalks {
 public:
  explicit QuietWalks(Vorne& v) : v_(v), was_(v.warnings) { v.warnings = false; }
  ~QuietWalks() { v_.warnings = was_; }
  QuietWalks(const QuietWalks&) = delete;
  QuietWalks& operator=(const QuietWalks&) = delete;

 private:
  Vorne& v_;
  bool was_;
};

// One number answer: empty keeps the value (and says so through `empty`).
qx::Answer read_number(Vorne& v, double& value, double& second, bool& empty) {
  std::string rec;
  empty = false;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return qx::Answer::end;
  empty = qx::qxlen(rec) == 0;
  return qx::qxrdst(rec, v.term, v.echo(), value, second);
}

// ---- PTF --------------------------------------------------------------------------------------

// What PTF shows for one lens: the unit, its factor and whether the value is a square root.
struct Shown {
  int unit = kTesla;
  bool root = false;
};

bool is_multipole(int type) { return type == kQuadrupole || type == kSextupole || type == kOctupole; }

// Order of a multipole's field in the bore radius: 1 quadrupole, 2 sextupole, 3 octupole.
int multipole_order(int type) { return type == kQuadrupole ? 1 : type == kSextupole ? 2 : 3; }

// Sets the per-lens factors 9, 10, 12, 13 for the lens at row r and chooses its unit.
Shown choose_unit(Vorne& v, int r, const TypeCode& t) {
  FieldUnits& u = v.units;
  const LensSystem& s = v.sys;
  const double len = s.p(r, 2);
  const double a = s.p(r, 4);
  const double charge = s.p(1, 2) * kElementaryCharge;
  const double momentum = particle_momentum(s);
  const double energy_ev = s.p(1, 4) * 1.0E6;
  const char letter = u.letter;

  u(kAmpereTurns) = a / kMagneticConstant;
  // The field gradient: field over the bore radius to the multipole's order.
  u(kGradient) = std::fabs(a) > kSmallRadius ? 1.0 / a : 1.0;
  Shown shown;
  if (t.polarity > 0) {
    switch (letter) {
      case 'T': shown.unit = 1; break;
      case 'G': shown.unit = 2; break;
      case 'K': shown.unit = 3; break;
      case 'M': shown.unit = 4; break;
      case 'O': shown.unit = 5; break;
      case 'A': shown.unit = kAmpereTurns; break;
      case 'F': shown.unit = kGradient; break;
      default: shown.unit = kTesla; break;
    }
    if (t.type == kSolenoid) {
      u(kStrength) = charge / (2.0 * momentum);
    } else if (t.type == kDipole || t.type == kElectrostaticDipole) {
      u(kStrength) = charge / momentum;
      u(kGradient) = 1.0;
    } else if (is_multipole(t.type)) {
      const int n = multipole_order(t.type);
      u(kStrength) = charge / (std::pow(a, n) * momentum);
      u(kAmpereTurns) = a / ((n + 1) * kMagneticConstant);
      u(kGradient) = 1.0 / std::pow(a, n);
    } else {
      u(kStrength) = 1.0;   // no strength formula: the field itself
    }
  } else {
    shown.unit = letter == 'V' ? kVolts : kKilovolts;
    if (t.type == kElectrostaticDipole) {
      u(kStrength) = u(kAmpereTurns) = u(kGradient) = 1.0;
    } else if (t.type == kQuadrupole) {
      u(kStrength) = 1.0 / (a * a * energy_ev);
      u(kGradient) = 1.0 / a;
    } else if (t.type == kSextupole) {
      u(kStrength) = 1.0 / (a * a * a * energy_ev);
      u(kGradient) = 1.0 / (a * a);
    } else if (t.type == kOctupole) {
      u(kStrength) = -2.0 / (a * a * a * a * energy_ev);
      u(kGradient) = 1.0 / (a * a * a);
    } else {
      u(kStrength) = 1.0;
    }
  }
  if (letter == 'B') shown.unit = kStrength;
  if (letter == 'H') {
    shown.unit = kPhase;
    const int power = is_multipole(t.type) ? 2 * multipole_order(t.type) : 0;
    u(kPhase) = u(kStrength) * std::pow(len, power);
  }
  shown.root = (letter == 'B' || letter == 'H') && is_multipole(t.type);
  return shown;
}

// One lens at PTF's prompt. False when input ended.
bool ptf_lens(Vorne& v, int r, int count) {
  static const qx::Format kAskG{"(1H ,I2,1X,A,1X,A,A,1X,A,1X,I2,' field = ',1P,G11.4,1X,A,' > ',$)"};
  static const qx::Format kAskF{"(1H ,I2,1X,A,1X,A,A,1X,A,1X,I2,' field = ',F11.5,1X,A,' > ',$)"};
  static const qx::Format kNotApplicable{"(1H ,'?PTF- This unit does not apply to this lens; field unchanged.')"};
  LensSystem& s = v.sys;
  const TypeCode t = s.type_at(r);
  const Shown shown = choose_unit(v, r, t);
  const double factor = v.units(shown.unit);
  const double raw = s.p(r, 3) * factor;
  const double value = shown.root ? std::copysign(std::sqrt(std::fabs(raw)), raw) : raw;
  const std::string_view label = t.coupling == 0 ? "Constant" : "Variable";
  const bool fixed = std::fabs(raw) >= kFixedLayoutLow && std::fabs(raw) < kFixedLayoutHigh;
  for (;;) {
    v.term.write(fixed ? kAskF : kAskG, r, label, supra_name(t.supra), polarity_name(t.polarity),
                 element_name(t.type), count, value, unit_name(shown.unit));
    double typed = value;
    double unused = 0.0;
    bool empty = false;
    const qx::Answer a = read_number(v, typed, unused, empty);
    if (a == qx::Answer::end) return false;
    if (a == qx::Answer::rejected) continue;
    // RETURN leaves the field exactly as it was (no round trip through the unit).
    if (empty) return true;
    if (factor == 0.0 || !std::isfinite(factor)) {
      v.term.write(kNotApplicable);
      return true;
    }
    s.p(r, 3) = shown.root ? typed * std::fabs(typed) / factor : typed / factor;
    return true;
  }
}

// ---- S and STIG -------------------------------------------------------------------------------

// The two terms the fit drives to zero after a first-order walk: (x|th) and (y|ph), or at
// diagnostic level -6 the distances from the last lens's image positions to the system end.
std::array<double, 2> stig_terms(Vorne& v) {
  if (v.idiag == -6) {
    const int last = last_active_lens(v.sys);
    if (last == 0) return {0.0, 0.0};
    return {v.sys.total_length - v.sys.p(last, 6), v.sys.total_length - v.sys.p(last, 7)};
  }
  return {v.walk.s(1, 2), v.walk.s(3, 4)};
}

void set_group_values(LensSystem& s, std::span<const double> x) {
  for (int g = 1; g <= s.nv; ++g) s.group_value(g) = x[static_cast<std::size_t>(g - 1)];
}

void run_stig(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kInitialImage{
      "(1H ,'Initial combined image distance error = ',1P,G13.5,/,/,"
      "1H ,'(N)   X-Y error   - FIELDS (',I2,')............')"};
  static const qx::Format kInitialAstig{
      "(1H ,'Initial combined astigmatism = ',1P,G13.5,/,/,1H ,'(N)  Comb. Astg.  - FIELDS (',I2,')............')"};
  static const qx::Format kTrace{"(1H ,I3,' ',1P,G13.5,'  ',20(1P,G13.5,' '))"};
  static const qx::Format kAfter{
      "(1H ,/,1H ,2X,'After minimisation  (X/TH) = ',1P,G12.5,' m/rad',/,1H ,22X,'(Y/PH) = ',1P,G12.5,' m/rad')"};
  static const qx::Format kAfterImage{
      "(1H ,/,1H ,2X,'After minimisation     C01 = ',1P,G12.5,' m/rad',/,1H ,22X,'   C01 = ',1P,G12.5,' m/rad')"};
  LensSystem& s = v.sys;
  if (s.nv == 0) {
    v.term.write(kNoGroups);
    return;
  }
  if (v.idiag > 0) v.set_diagnostic(-1.0);   // the walks of the fit print nothing
  const double tolerance = line.number > 0.0 ? line.number : kStigTolerance;
  const int plane = line.option == 'X' ? 1 : line.option == 'Y' ? 2 : 0;
  s.p(1, 6) = plane;

  const double initial = squared_objective(v);
  if (v.idiag == -6) {
    // The fit works in micrometres; its start value is shown in the same unit as its trace.
    v.term.write(kInitialImage, kMicrometres * std::sqrt(initial), s.nv);
  } else {
    v.term.write(kInitialAstig, std::sqrt(initial), s.nv);
  }

  qx::StepitSettings settings;
  settings.nv = s.nv;
  for (int g = 1; g <= s.nv; ++g) {
    settings.x[static_cast<std::size_t>(g - 1)] = s.group_value(g);
    settings.delmin[static_cast<std::size_t>(g - 1)] = tolerance;
  }
  settings.ntrace = -1;
  settings.matrx = 0;
  long count = 0;
  const int nv = s.nv;
  const auto objective = [&](std::span<const double> x, int) {
    set_group_values(s, x);
    apply_groups(s);
    system_walk(v, 1, false);
    std::array<double, 2> d = stig_terms(v);
    if (plane == 2) d[0] = 0.0;
    if (plane == 1) d[1] = 0.0;
    double value = std::sqrt(d[0] * d[0] + d[1] * d[1]);
    if (v.idiag == -6) value *= kMicrometres;
    ++count;
    if (count <= kTraceFirst || count % kTraceEvery == 0) {
      std::vector<qx::FormatArg> args{static_cast<long>(count), value};
      for (int g = 0; g < nv; ++g) args.emplace_back(x[static_cast<std::size_t>(g)]);
      v.term.put(kTrace.render(args));
    }
    return value;
  };
  qx::StepitResult result;
  {
    const QuietWalks quiet(v);
    result = qx::stepit(settings, objective, v.term);
  }

  s.p(1, 6) = 0.0;
  v.warnings = true;
  set_group_values(s, std::span<const double>(result.x.data(), static_cast<std::size_t>(nv)));
  apply_groups(s);
  system_walk(v, 3);
  if (line.option == 'I') {
    const Magnification m = mag(v, s.izend);
    v.term.write(kAfterImage, v.walk.s(1, 2) * m.mx, v.walk.s(3, 4) * m.my);
  } else {
    v.term.write(kAfter, v.walk.s(1, 2), v.walk.s(3, 4));
  }
}

// ---- Masks ------------------------------------------------------------------------------------

int abs_sum(const MaskRow& r) { return std::abs(r[0]) + std::abs(r[1]) + std::abs(r[2]) + std::abs(r[3]); }

// Number of rows before the one that ends the mask.
int mask_length(const Mask& m) {
  int n = 0;
  while (n < kMaskRows && m[static_cast<std::size_t>(n)][0] != 0) ++n;
  return n;
}

bool valid_variable_row(const LensSystem& s, const MaskRow& r) {
  const int kind = r[0], row = r[1], column = r[2], link = r[3];
  if (kind < 1 || kind > kMaxKind || kind == 3 || kind == 4) return false;
  if (row < 1 || row > s.izend) return false;
  if (link == 0 || std::abs(link) > kMaxLink) return false;
  if (kind == 2) return column == 1;            // the rotation of the row
  return column >= 2 && column <= kColumns;     // never the packed type code
}

// How many coefficients a class offers in the current system.
int class_size(const LensSystem& s, int cls) {
  int n = 0;
  switch (cls) {
    case kFirstOrderMatrix: return kMatrixTerms;
    case kChromatic: return kChromaticTerms;
    case kLensExcitation:
    case kOctupoleExcitation:
      for (int iz = kFirstElementRow; iz <= s.izend; ++iz) {
        const TypeCode t = s.type_at(iz);
        if (t.polarity == 0 || t.type == kDipole) continue;
        if ((t.type == kOctupole) == (cls == kOctupoleExcitation)) ++n;
      }
      return n;
    case kGroupExcitation: {
      LensSystem copy = s;
      qx::StringOutput quiet;
      return collect_groups(copy, quiet);
    }
    case kSecondOrder: return kSecondOrderTerms;
    default: return kThirdOrderTerms;
  }
}

bool valid_coefficient_row(const LensSystem& s, const MaskRow& r) {
  const int cls = r[0], plane = r[1], c1 = r[2], c2 = r[3];
  if (cls < 1 || cls > kClasses || plane < 1 || plane > 2) return false;
  const int size = class_size(s, cls);
  if (c1 < 1 || c1 > size) return false;
  return c2 == 0 || (c2 >= 1 && c2 <= size);
}

// Reads a mask row by row. False when input ended (the rows given so far stay).
bool read_mask(Vorne& v, Mask& mask, bool coefficients) {
  static const qx::Format kAsk{"(1H ,2X,4(I2,2X),2X,' > ',$)"};
  static const qx::Format kBadVariable{
      "(1H ,'?MASK- Not a variable: kind 1, 2 (rotation, column 1) or 5 and up, row 1 to ',I2,"
      "', column 2 to 12, link -9 to 9 and not 0.')"};
  static const qx::Format kBadCoefficient{
      "(1H ,'?MASK- Not a coefficient: class 1 to 9, plane 1 or 2, numbers the class has.')"};
  static const qx::Format kFinal{"(1H ,20X,4(3X,I2))"};
  for (MaskRow& row : mask) {
    for (;;) {
      v.term.write(kAsk, row[0], row[1], row[2], row[3]);
      std::array<int, 4> typed{};
      const qx::ReadStatus st = qx::read_ints(v.in(), typed);
      if (st == qx::ReadStatus::eof) return false;
      if (st == qx::ReadStatus::error) {
        if (v.echo()) v.term.list("?");
        continue;
      }
      if (v.echo()) v.term.list(typed[0], typed[1], typed[2], typed[3]);
      MaskRow merged = row;
      for (std::size_t j = 0; j < 4; ++j)
        if (typed[j] != 0) merged[j] = typed[j];
      if (abs_sum(typed) == 1) merged[0] = 0;
      if (merged[0] != 0) {
        const bool ok = coefficients ? valid_coefficient_row(v.sys, merged) : valid_variable_row(v.sys, merged);
        if (!ok) {
          if (coefficients)
            v.term.write(kBadCoefficient);
          else
            v.term.write(kBadVariable, v.sys.izend);
          continue;
        }
      }
      row = merged;
      break;
    }
    if (row[0] == 0) break;
  }
  for (int i = 0; i < mask_length(mask); ++i) {
    const MaskRow& r = mask[static_cast<std::size_t>(i)];
    v.term.write(kFinal, r[0], r[1], r[2], r[3]);
  }
  return true;
}

// The variable list and count of a variable mask, without loading values.
int count_variables(const Mask& m) {
  std::array<int, kMaskRows> seen{};
  int n = 0;
  for (int i = 0; i < mask_length(m); ++i) {
    const int link = std::abs(m[static_cast<std::size_t>(i)][3]);
    if (std::find(seen.begin(), seen.begin() + n, link) == seen.begin() + n) seen[static_cast<std::size_t>(n++)] = link;
  }
  return n;
}

double& entry_value(LensSystem& s, const FitVariables::Entry& e) {
  return e.kind == 2 ? s.rotation(e.row) : s.p(e.row, e.column);
}

bool needs(const Mask& coefficients, std::initializer_list<int> classes) {
  for (int i = 0; i < mask_length(coefficients); ++i)
    for (const int c : classes)
      if (coefficients[static_cast<std::size_t>(i)][0] == c) return true;
  return false;
}

double coefficient(const Vorne& v, const ExcitationCoefficients& e, int cls, int plane, int c) {
  const WalkResult& w = v.walk;
  const std::size_t p = static_cast<std::size_t>(plane - 1);
  const std::size_t k = static_cast<std::size_t>(c - 1);
  switch (cls) {
    case kFirstOrderMatrix: {
      // Plane 1: (x|x) (x|th) (th|x) (th|th), then the coupling terms (x|y) (x|ph) (th|y)
      // (th|ph); plane 2 the same with the planes exchanged.
      const int own = plane == 1 ? 0 : 2;
      const int other = plane == 1 ? 2 : 0;
      const int i = own + 1 + static_cast<int>(k % 4) / 2;
      const int j = (k < 4 ? own : other) + 1 + static_cast<int>(k % 2);
      return w.s(i, j);
    }
    case kChromatic:
      if (plane == 1) return c == 1 ? w.chromatic.xt : w.chromatic.xx;
      return c == 1 ? w.chromatic.yp : w.chromatic.yy;
    case kLensExcitation: return k < static_cast<std::size_t>(e.lenses) ? e.lens[k][p] : 0.0;
    case kGroupExcitation: return k < static_cast<std::size_t>(e.groups) ? e.group[k][p] : 0.0;
    case kOctupoleExcitation: return k < static_cast<std::size_t>(e.octupoles) ? e.octupole[k][p] : 0.0;
    case kSecondOrder: return w.s2(plane == 1 ? 1 : 3, 4 + c);
    case kThirdOrderTotal: return w.total(plane, c);
    case kThirdOrderQuad: return w.quad(plane, c);
    default: return w.octu(plane, c);
  }
}

// The walk the coefficient mask needs: third order for the third-order classes, the
// second-order map for class 6, first order otherwise.
int walk_mode(const Mask& coefficients) {
  const bool third = needs(coefficients, {kOctupoleExcitation, kThirdOrderTotal, kThirdOrderQuad, kThirdOrderOctu});
  const bool second = needs(coefficients, {kSecondOrder});
  if (third) return second ? 3 : -3;
  return second ? 2 : 1;
}

// MASK's objective with its counter and trace, for STEPIT.
struct MaskRun {
  Vorne& v;
  const FitMasks& masks;
  const FitVariables& vars;
  long count = 0;

  double operator()(std::span<const double> x) {
    static const qx::Format kTrace{"(1H ,I5,'  ',5(1P,G13.5,' '))"};
    const double value = mask_objective(v, masks, vars, x);
    ++count;
    if (count % kMaskTraceEvery == kMaskTraceAt) {
      std::vector<qx::FormatArg> args{count};
      for (int i = 0; i < vars.nv; ++i) args.emplace_back(x[static_cast<std::size_t>(i)]);
      args.emplace_back(value);
      v.term.put(kTrace.render(args));
    }
    return value;
  }
};

std::span<const double> start_values(const FitVariables& vars) {
  return std::span<const double>(vars.start.data(), static_cast<std::size_t>(vars.nv));
}

// Puts the variables back to their loaded values and refreshes the walk's results.
void restore_variables(Vorne& v, const FitVariables& vars) {
  apply_variables(v.sys, vars, start_values(vars));
  system_walk(v, 1, false);
}

// Asks for the range of one variable until two different numbers are given. False on end.
bool read_range(Vorne& v, int k, double centre, double& low, double& high) {
  static const qx::Format kAsk{
      "(1H ,'Central value of variable ',I1,' is ',1P,G13.5,/,1H ,'Minimun and maximum values > ',$)"};
  static const qx::Format kEqual{"(1H ,'?AGP- Minimum and maximum must differ.')"};
  for (;;) {
    v.term.write(kAsk, k, centre);
    low = high = centre;
    bool empty = false;
    const qx::Answer a = read_number(v, low, high, empty);
    if (a == qx::Answer::end) return false;
    if (a != qx::Answer::accepted) continue;
    if (low == high) {
      v.term.write(kEqual);
      continue;
    }
    return true;
  }
}

// The grid of AGP: steps per axis as typed (the step is the range over it) and the whole
// number of them (points per axis one more).
struct Grid {
  double n = 0.0;
  double m = 0.0;
  int steps_x = 0;
  int steps_y = 0;
};

// Asks for the grid size. False on end.
bool read_grid(Vorne& v, Grid& grid) {
  static const qx::Format kAsk{"(1H ,'Size of grid (NxM) > ',$)"};
  static const qx::Format kTooLarge{"(1H ,'?AGP- At most ',I4,' steps per axis.')"};
  constexpr double kDefaultGrid = 30.0;
  for (;;) {
    v.term.write(kAsk);
    double a = 0.0;
    double b = 0.0;
    bool empty = false;
    const qx::Answer ans = read_number(v, a, b, empty);
    if (ans == qx::Answer::end) return false;
    if (ans != qx::Answer::accepted) continue;
    if (a <= 0.0) a = kDefaultGrid;
    if (b <= 0.0) b = a;
    const std::optional<std::int64_t> na = qx::int_part(a, 0, kMaxGrid);
    const std::optional<std::int64_t> nb = qx::int_part(b, 0, kMaxGrid);
    if (!na || !nb) {
      v.term.write(kTooLarge, kMaxGrid);
      continue;
    }
    grid = Grid{a, b, static_cast<int>(*na), static_cast<int>(*nb)};
    return true;
  }
}

// MASK from the start value on: the initial sum, and unless only evaluating, the fit and
// the final sum at the best point (which is left applied).
void run_mask_fit(Vorne& v, bool evaluate_only) {
  static const qx::Format kInitial{"(1H ,'Initial quadrature summed coeff = ',1P,G13.5,/,/)"};
  static const qx::Format kHeading{"(1H ,'(N)  CHISQ        - Variables.........')"};
  static const qx::Format kFinal{"(1H ,'  Final quadrature summed coeff = ',1P,G13.5)"};
  const FitMasks& masks = v.masks;
  const FitVariables vars = load_variables(v.sys, masks.variables);
  v.term.write(kInitial, mask_objective(v, masks, vars, start_values(vars)));
  if (vars.nv < 1 || evaluate_only) return;
  v.term.write(kHeading);
  qx::StepitSettings settings;
  settings.nv = vars.nv;
  for (int i = 0; i < vars.nv; ++i) {
    settings.x[static_cast<std::size_t>(i)] = vars.start[static_cast<std::size_t>(i)];
    settings.delmin[static_cast<std::size_t>(i)] = masks.tolerance;
  }
  settings.ntrace = -1;
  settings.matrx = 0;
  MaskRun run{v, masks, vars};
  const qx::StepitResult result =
      qx::stepit(settings, [&run](std::span<const double> x, int) { return run(x); }, v.term);
  const std::span<const double> best(result.x.data(), static_cast<std::size_t>(vars.nv));
  v.term.write(kFinal, mask_objective(v, masks, vars, best));
}

}  // namespace

std::string_view unit_name(int k) {
  if (k < 1 || k > kFieldUnits) return "     ";
  return kUnitNames[static_cast<std::size_t>(k - 1)];
}

// ---- Variables ----------------------------------------------------------------------------------

FitVariables load_variables(const LensSystem& s, const Mask& variables) {
  FitVariables vars;
  std::array<int, kMaskRows> links{};
  std::array<int, kMaskRows> leading_sign{};
  for (int i = 0; i < mask_length(variables); ++i) {
    const MaskRow& r = variables[static_cast<std::size_t>(i)];
    FitVariables::Entry e;
    e.kind = r[0];
    e.row = r[1];
    e.column = r[2];
    const int link = std::abs(r[3]);
    const int sign = r[3] < 0 ? -1 : 1;
    const auto end = links.begin() + vars.nv;
    const auto found = std::find(links.begin(), end, link);
    e.base = e.kind == 2 ? s.rotation(e.row) : s.p(e.row, e.column);
    if (found == end) {
      e.variable = vars.nv;
      links[static_cast<std::size_t>(vars.nv)] = link;
      leading_sign[static_cast<std::size_t>(vars.nv)] = sign;
      vars.start[static_cast<std::size_t>(vars.nv)] = e.base;
      ++vars.nv;
      e.sign = 1;
    } else {
      e.variable = static_cast<int>(found - links.begin());
      e.sign = sign * leading_sign[static_cast<std::size_t>(e.variable)];
    }
    vars.entries[static_cast<std::size_t>(vars.entry_count++)] = e;
  }
  return vars;
}

void apply_variables(LensSystem& s, const FitVariables& vars, std::span<const double> x) {
  std::array<bool, kMaskRows> led{};
  for (int i = 0; i < vars.entry_count; ++i) {
    const FitVariables::Entry& e = vars.entries[static_cast<std::size_t>(i)];
    const std::size_t k = static_cast<std::size_t>(e.variable);
    if (!led[k]) {
      entry_value(s, e) = x[k];
      led[k] = true;
    } else {
      entry_value(s, e) = e.base + e.sign * (x[k] - vars.start[k]);
    }
  }
}

// ---- Excitation coefficients ------------------------------------------------------------------

ExcitationCoefficients excitation_coefficients(Vorne& v, double percent) {
  LensSystem& s = v.sys;
  if (percent == 0.0) percent = 0.5;
  qx::StringOutput quiet;   // sign notes are for COUPLE and the fits' start, not every step
  collect_groups(s, quiet);
  const double angle = 1.0 / percent;
  const double raise = 1.0 + percent / 100.0;
  const double third = angle * angle * angle * 1.0E5 * percent / 100.0;
  ExcitationCoefficients e;
  for (int iz = kFirstElementRow; iz <= s.izend; ++iz) {
    const TypeCode t = s.type_at(iz);
    if (t.polarity == 0 || t.type == kDipole) continue;
    const double field = s.p(iz, 3);
    auto trace = [&](int order, double theta, double phi) {
      s.p(iz, 3) = raise * field;
      system_walk(v, order, false);
      Vec4 ray;
      ray(2) = theta;
      ray(4) = phi;
      ray_transform(v, order, ray, v.walk.s);
      s.p(iz, 3) = field;
      return ray;
    };
    if (t.type == kOctupole) {
      const std::size_t k = static_cast<std::size_t>(e.octupoles++);
      e.octupole[k][0] = trace(3, angle, 0.0)(1) / third;
      e.octupole[k][1] = trace(3, 0.0, angle)(3) / third;
    } else {
      const Vec4 ray = trace(1, angle, angle);
      const std::size_t k = static_cast<std::size_t>(e.lenses++);
      e.lens[k] = {ray(1) * 1.0E3, ray(3) * 1.0E3};
      e.lens_row[k] = iz;
    }
  }
  e.groups = s.nv;
  for (int g = 1; g <= s.nv; ++g) {
    const double value = s.group_value(g);
    s.group_value(g) = raise * value;
    apply_groups(s);
    system_walk(v, 1, false);
    Vec4 ray;
    ray(2) = ray(4) = angle;
    ray_transform(v, 1, ray, v.walk.s);
    s.group_value(g) = value;
    e.group[static_cast<std::size_t>(g - 1)] = {ray(1) * 1.0E3, ray(3) * 1.0E3};
  }
  apply_groups(s);
  return e;
}

// ---- MASK objective -----------------------------------------------------------------------------

double mask_objective(Vorne& v, const FitMasks& masks, const FitVariables& vars, std::span<const double> x) {
  apply_variables(v.sys, vars, x);
  const Mask& cm = masks.coefficients;
  ExcitationCoefficients e;
  if (needs(cm, {kLensExcitation, kGroupExcitation, kOctupoleExcitation}))
    e = excitation_coefficients(v, kFitPerturbation);
  if (needs(cm, {kChromatic})) {
    // The run's own walks would trace at a positive level, at every trial point.
    const int level = v.idiag;
    v.idiag = std::min(level, 0);
    chromatic_run(v, kFitPerturbation);
    v.idiag = level;
  }
  system_walk(v, walk_mode(cm), false);
  double sum = 0.0;
  for (int i = 0; i < mask_length(cm); ++i) {
    const MaskRow& r = cm[static_cast<std::size_t>(i)];
    for (const int c : {r[2], r[3]}) {
      if (c == 0) continue;
      const double value = coefficient(v, e, r[0], r[1], c);
      sum += value * value;
    }
  }
  return std::sqrt(sum);
}

// ---- Commands ------------------------------------------------------------------------------------

// The variables of the coupled lenses are the coupling groups.
void build_variable_list(Vorne& v) { collect_groups(v.sys, v.term); }

void cmd_p(Vorne& v, const qx::CommandLine&) {
  static const qx::Format kAsk{"(1H ,'Lenses with coupling code ',I2,' have fields ',1P,G12.5,' new > ',$)"};
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  if (collect_groups(s, v.term) < 1) {
    v.term.write(kNoGroups);
    return;
  }
  bool answered = false;
  for (int g = 1; g <= s.nv; ++g) {
    for (;;) {
      v.term.write(kAsk, g, s.group_value(g));
      double value = s.group_value(g);
      double unused = 0.0;
      bool empty = false;
      const qx::Answer a = read_number(v, value, unused, empty);
      if (a == qx::Answer::end) {
        if (answered) apply_groups(s);   // the answers already given stay
        return;
      }
      if (a == qx::Answer::rejected) continue;
      if (!empty) {
        s.group_value(g) = value;
        answered = true;
      }
      break;
    }
  }
  apply_groups(s);
}

void cmd_ptf(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  const char letter = line.arg_letter();
  if (letter != ' ') v.units.letter = letter;
  std::array<int, 21> counter{};
  LensSystem& s = v.sys;
  for (int r = kFirstElementRow; r <= s.izend; ++r) {
    const TypeCode t = s.type_at(r);
    if (t.polarity == 0) continue;
    const int count = ++counter[static_cast<std::size_t>(std::clamp(t.type, 0, 20))];
    if (!ptf_lens(v, r, count)) return;
  }
}

void cmd_s(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kAstig{
      "(1H ,7X,'Astigmatism    (X/TH) = ',1P,G13.5,' m/rad',/,1H ,22X,'(Y/PH) = ',1P,G13.5,' m/rad')"};
  static const qx::Format kAstigImage{
      "(1H ,7X,'Astigmatism       C10 = ',1P,G13.5,' m/rad',/,1H ,22X,'   C01 = ',1P,G13.5,' m/rad')"};
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  system_walk(v, 1);
  collect_groups(s, v.term);
  if (line.option == 'I') {
    const Magnification m = mag(v, s.izend);
    v.term.write(kAstigImage, v.walk.s(1, 2) * m.mx, v.walk.s(3, 4) * m.my);
  } else {
    v.term.write(kAstig, v.walk.s(1, 2), v.walk.s(3, 4));
  }
  if (line.word().size() > 1 && line.word()[1] == 'T') run_stig(v, line);
}

void cmd_mask(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kEnterVariables{"(1H ,'Enter the variable mask')"};
  static const qx::Format kCount{"(1H ,20X,'No. of variables = ',I2,/,/,1H ,'Enter the coefficient mask')"};
  if (!require_system(v)) return;
  FitMasks& masks = v.masks;
  if (line.option != 'F') {
    v.term.write(kEnterVariables);
    if (!read_mask(v, masks.variables, false)) return;
    v.term.write(kCount, count_variables(masks.variables));
    if (!read_mask(v, masks.coefficients, true)) return;
    masks.tolerance = line.number > 0.0 ? line.number : kMaskTolerance;
  }
  {
    const QuietWalks quiet(v);
    run_mask_fit(v, line.arg_letter() == 'V');
  }
  v.warnings = true;
}

void cmd_agp(Vorne& v, const qx::CommandLine&) {
  static const qx::Format kConstruct{"(1H ,'Construct an AGP file')"};
  static const qx::Format kEnterVariables{"(1H ,'Enter the variable mask')"};
  static const qx::Format kOnlyTwo{"(1H ,' This command works only for 2 variables,',/,1H ,' No. of variables = ',I2)"};
  static const qx::Format kEnterCoefficients{"(1H ,'Enter the coefficient mask')"};
  static const qx::Format kAskName{"(1H ,'Filename for output > ',$)"};
  static const qx::Format kUnable{"(1H ,'Unable to open ',A)"};
  static const qx::Format kHeader{"(1H ,A,/,1H ,'X',/,1H ,'Y')"};
  static const qx::Format kPoint{"(1H ,2(1P,G13.5,' , '),1P,G13.5)"};
  static const qx::Format kProgress{"(1H ,I5,' points generated.')"};
  static const qx::Format kTotal{"(1H ,/,/,1H ,I5,' points generated total.',/,/)"};
  if (!require_system(v)) return;
  FitMasks& masks = v.masks;
  v.term.write(kConstruct);
  v.term.write(kEnterVariables);
  if (!read_mask(v, masks.variables, false)) return;
  const int nv = count_variables(masks.variables);
  v.term.write(kOnlyTwo, nv);
  if (nv != 2) return;
  v.term.write(kEnterCoefficients);
  if (!read_mask(v, masks.coefficients, true)) return;
  const FitVariables vars = load_variables(v.sys, masks.variables);

  std::array<double, 2> low{}, high{};
  for (int k = 0; k < 2; ++k) {
    const std::size_t i = static_cast<std::size_t>(k);
    if (!read_range(v, k + 1, vars.start[i], low[i], high[i])) return;
  }
  Grid grid;
  if (!read_grid(v, grid)) return;
  v.term.write(kAskName);
  std::string name;
  if (read_text_answer(v, kGridFileField, name) != qx::Answer::accepted || name.empty()) return;
  std::unique_ptr<qx::FileOutput> file = qx::FileOutput::open(name, qx::FileOutput::Mode::create_new, 2);
  if (!file) {
    v.term.write(kUnable, name);
    return;
  }

  file->write(kHeader, v.sys.title);
  // Grid points at min + i x step: no sums that drift, and the last point is the maximum.
  const double dx = (high[0] - low[0]) / grid.n;
  const double dy = (high[1] - low[1]) / grid.m;
  MaskRun run{v, masks, vars};
  const QuietWalks quiet(v);
  long points = 0;
  for (int j = 0; j <= grid.steps_y; ++j) {
    for (int i = 0; i <= grid.steps_x; ++i) {
      const std::array<double, 2> x{low[0] + i * dx, low[1] + j * dy};
      const double value = run(x);
      file->write(kPoint, x[0], x[1], value);
      if (++points % kPointsNote == 0) v.term.write(kProgress, points);
    }
  }
  const bool written = file->commit();
  file.reset();
  if (!written) v.term.write(kUnable, name);
  v.term.write(kTotal, points);
  restore_variables(v, vars);
}

}  // namespace vorne
