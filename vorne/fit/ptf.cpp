#include "fit/ptf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "fit/fitting.h"
#include "qx/format.h"

namespace vorne {

namespace {

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
  const double energy_ev = s.p(1, 4) * kElectronVoltsPerMeV;
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

}  // namespace

void cmd_p(Vorne& v, const qx::CommandLine&) {
  static const qx::Format kAsk{"(1H ,'Lenses with coupling code ',I2,' have fields ',1P,G12.5,' new > ',$)"};
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  if (collect_groups(s, v.term) < 1) {
    say_no_groups(v);
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
  std::array<int, kLastNamedType + 1> counter{};
  LensSystem& s = v.sys;
  for (int r = kFirstElementRow; r <= s.izend; ++r) {
    const TypeCode t = s.type_at(r);
    if (t.polarity == 0) continue;
    const int count = ++counter[static_cast<std::size_t>(std::clamp(t.type, 0, kLastNamedType))];
    if (!ptf_lens(v, r, count)) return;
  }
}

}  // namespace vorne
