#include "system/system.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "qx/format.h"
#include "qx/numeric.h"
#include "qx/units.h"

namespace vorne {

namespace {

constexpr double kCodeLimit = 100.0;   // two digits before the point

constexpr std::array<std::string_view, kLastNamedType> kTypeNames = {
    "Beam data ", "Dipole    ", "Drift     ", "Quadrupole", "Collimator", "Sextupole ", "V. Selec. ",
    "Octupole  ", "System End", "Accelerate", "Solenoid  ", "Particle  ", "Gap Lens  ", "?         ",
    "Einzellens", "?         ", "Cyl lens  ", "?         ", "?         ", "?         "};
constexpr std::string_view kUnknownName = "?         ";

constexpr std::array<std::string_view, 5> kParticleHeadings = {" Type code", "    Charge", "Mass (amu)",
                                                               "Energy MeV", "Diagnostic"};
constexpr std::array<std::string_view, 6> kBeamHeadings = {" Type code", " X-1/2 ext", " X-1/2 div",
                                                           " Y-1/2 ext", " Y-1/2 div", "En-1/2 spr"};
constexpr std::array<std::string_view, 4> kDipoleHeadings = {"Type code ", "Length (m)", "BX yoz (T)",
                                                             "BY xoz (T)"};
constexpr std::array<std::string_view, 4> kElectricDipoleHeadings = {"Type code ", "Length (m)", "Ex (V/m)  ",
                                                                     "Ey (V/m)  "};
constexpr std::array<std::string_view, 2> kDriftHeadings = {" Type code", "Length (m)"};
constexpr std::array<std::string_view, 4> kLensHeadings = {" Type code", "Length (m)", " Field T,V",
                                                           "Radius (m)"};
constexpr std::array<std::string_view, 4> kCollimatorHeadings = {"Type code ", "      Zero", "    Offset",
                                                                 "     Width"};
constexpr std::array<std::string_view, 4> kSelectorHeadings = {"Type code ", "Length (m)", "   B-Field",
                                                               "   E-Field"};
constexpr std::array<std::string_view, 1> kEndHeadings = {" Type code"};
constexpr std::array<std::string_view, 3> kGapHeadings = {"Type code ", "Length (m)", "    Radius"};
constexpr std::array<std::string_view, 4> kEinzelHeadings = {"Type code ", "Length (m)", "     V2/V1",
                                                             "    Radius"};
constexpr std::array<std::string_view, 4> kCylinderHeadings = {"Type code ", "Length (m)", "       Gap",
                                                               "     Field"};
constexpr std::array<std::string_view, 8> kResultHeadings = {"Z-center", "Z:X-image", "Z:Y-image", "ALPHA",
                                                             "X-mag",    "Y-mag",     "X-focal",   "Y-focal"};

// 1-based row check shared by every accessor.
std::size_t row_index(int iz) {
  if (iz < 1 || iz > kRows) throw std::out_of_range("element row " + std::to_string(iz));
  return static_cast<std::size_t>(iz - 1);
}

}  // namespace

// ---- Type codes --------------------------------------------------------------------------------

bool valid_type_code(double itype) { return std::isfinite(itype) && itype >= 0.0 && itype < kCodeLimit; }

namespace {

// The code in whole hundredths: the offset makes a code written with two decimals read as
// itself despite binary rounding; anything finer than hundredths is cut off.
int hundredths(double itype) { return static_cast<int>(100.0 * itype + 1.0E-4); }

}  // namespace

int code_class(double itype) { return valid_type_code(itype) ? hundredths(itype) / 100 : -1; }

double code_as_read(double itype) { return valid_type_code(itype) ? hundredths(itype) / 100.0 : itype; }

TypeCode unpack(double itype) {
  TypeCode t;
  if (!valid_type_code(itype)) {
    t.bad_code = true;
    return t;
  }
  int x = hundredths(itype);
  const int d5 = x % 10;
  x /= 10;
  const int d4 = x % 10;
  x /= 10;
  const int d3 = x % 10;
  x /= 10;
  const int d2 = x % 10;

  t.illegal = d4 != 0 && d5 != 0;
  t.coupling = d5 != 0 ? -d5 : d4;
  t.type = d3;
  if (d2 == 1 && d3 != kQuadrupole && d3 != kSextupole && d3 != kOctupole) t.type = d3 + 10;

  t.polarity = 1;
  if (d2 == 1 || d2 == 3 || t.type == kVelocitySelector) t.polarity = -1;
  if (t.type == kSolenoid) t.polarity = 1;
  // A collimator is no lens: it never joins a coupling group, whatever its digits.
  if (t.type == kParticle || t.type == kBeam || t.type == kDrift || t.type == kSystemEnd ||
      t.type == kCollimator)
    t.polarity = 0;
  t.supra = d2 >= 2 ? 1 : 0;
  return t;
}

TypeCode unpack(double itype, qx::Output& out) {
  static const qx::Format kIllegal{"(1H ,'%UNPACK - Illegal coupling codes. DTYPE = ',F7.2)"};
  const TypeCode t = unpack(itype);
  if (t.illegal) out.write(kIllegal, itype);
  return t;
}

// ---- Names -------------------------------------------------------------------------------------

std::string_view type_name(int type) {
  if (type < 1 || type > kLastNamedType) return kUnknownName;
  return kTypeNames[static_cast<std::size_t>(type - 1)];
}

bool is_unnamed_type(int type) { return type >= 1 && type <= kLastNamedType && type_name(type) == kUnknownName; }

std::string_view element_name(int type) {
  return type == kElectrostaticDipole ? type_name(kDipole) : type_name(type);
}

std::string_view polarity_name(int polarity) {
  if (polarity < 0) return "Elec";
  if (polarity > 0) return "Magn";
  return "    ";
}

std::string_view supra_name(int supra) { return supra != 0 ? "Supra-" : "      "; }

std::span<const std::string_view> column_headings(int type) {
  switch (type) {
    case kParticle: return kParticleHeadings;
    case kBeam: return kBeamHeadings;
    case kDipole: return kDipoleHeadings;
    case kElectrostaticDipole: return kElectricDipoleHeadings;
    case kDrift: return kDriftHeadings;
    case kQuadrupole:
    case kSextupole:
    case kOctupole:
    case kAccelerator:
    case kSolenoid: return kLensHeadings;
    case kCollimator: return kCollimatorHeadings;
    case kVelocitySelector: return kSelectorHeadings;
    case kSystemEnd: return kEndHeadings;
    case kGapLens: return kGapHeadings;
    case kEinzelLens: return kEinzelHeadings;
    case kCylinderLens: return kCylinderHeadings;
    default: return {};
  }
}

std::span<const std::string_view> result_headings() { return kResultHeadings; }

// ---- LensSystem --------------------------------------------------------------------------------

LensSystem::LensSystem() = default;

double& LensSystem::p(int iz, int col) {
  if (col < 1 || col > kColumns) throw std::out_of_range("element column " + std::to_string(col));
  return table_[row_index(iz) * kColumns + static_cast<std::size_t>(col - 1)];
}

double LensSystem::p(int iz, int col) const { return const_cast<LensSystem*>(this)->p(iz, col); }

double& LensSystem::rotation(int iz) { return rotation_[row_index(iz)]; }
double LensSystem::rotation(int iz) const { return rotation_[row_index(iz)]; }
double& LensSystem::dx(int iz) { return dx_[row_index(iz)]; }
double LensSystem::dx(int iz) const { return dx_[row_index(iz)]; }
double& LensSystem::dy(int iz) { return dy_[row_index(iz)]; }
double LensSystem::dy(int iz) const { return dy_[row_index(iz)]; }
int& LensSystem::link(int iz) { return link_[row_index(iz)]; }
int LensSystem::link(int iz) const { return link_[row_index(iz)]; }

double& LensSystem::group_value(int g) {
  if (g < 1 || g > kMaxGroups) throw std::out_of_range("group " + std::to_string(g));
  return group_[static_cast<std::size_t>(g - 1)];
}

double LensSystem::group_value(int g) const { return const_cast<LensSystem*>(this)->group_value(g); }

void LensSystem::clear_table() {
  table_.fill(0.0);
  rotation_.fill(0.0);
  dx_.fill(0.0);
  dy_.fill(0.0);
  link_.fill(0);
  group_.fill(0.0);
  izend = 0;
  nv = 0;
  total_length = 0.0;
  lens_mid = 0.0;
}

void LensSystem::clear_offsets() {
  rotation_.fill(0.0);
  dx_.fill(0.0);
  dy_.fill(0.0);
}

int find_system_end(const LensSystem& s) {
  for (int iz = kFirstElementRow; iz <= kRows; ++iz) {
    if (code_class(s.p(iz, 1)) == kSystemEnd) return iz;
  }
  return 0;
}

// ---- Coupling groups ---------------------------------------------------------------------------

int collect_groups(LensSystem& s, qx::Output& out) {
  static const qx::Format kBadSign{"(1H ,'?COUPLE- Incorrect sign coupling at IZ = ',I2)"};
  for (int iz = 1; iz <= kRows; ++iz) s.link(iz) = 0;
  for (int g = 1; g <= kMaxGroups; ++g) s.group_value(g) = 0.0;
  s.nv = 0;

  const int last = std::min(s.izend, kRows);
  for (int iz = kFirstElementRow; iz <= last; ++iz) {
    const TypeCode t = unpack(s.p(iz, 1), out);
    if (t.polarity == 0) continue;
    const double field = s.p(iz, 3);
    if (t.coupling * field < 0.0) out.write(kBadSign, iz);
    if (t.coupling == 0) continue;   // a constant lens
    const int sign = t.coupling < 0 ? -1 : 1;

    // Only lenses are searched: a drift or collimator with coupling digits must not make a
    // later lens of that code look like a member of a group that has no value.
    int found = 0;
    for (int earlier = kFirstElementRow; earlier < iz; ++earlier) {
      const TypeCode e = unpack(s.p(earlier, 1));
      if (e.polarity != 0 && std::abs(e.coupling) == std::abs(t.coupling)) {
        found = earlier;
        break;
      }
    }
    if (found != 0) {
      s.link(iz) = std::abs(s.link(found)) * sign;
    } else if (s.nv < kMaxGroups) {
      s.nv += 1;
      s.group_value(s.nv) = std::fabs(field);
      s.link(iz) = s.nv * sign;
    }
  }
  return s.nv;
}

void apply_groups(LensSystem& s) {
  const int last = std::min(s.izend, kRows);
  for (int iz = 1; iz <= last; ++iz) {
    const int g = s.link(iz);
    if (g == 0 || s.type_at(iz).polarity == 0) continue;
    const double value = s.group_value(std::abs(g));
    s.p(iz, 3) = g < 0 ? -value : value;
  }
}

// ---- Particle ----------------------------------------------------------------------------------

double particle_momentum(double t_mev, double mass_amu) {
  const double t_ev = t_mev * kElectronVoltsPerMeV;
  const double m = mass_amu * kAtomicMassUnit;
  return kElementaryCharge * std::sqrt(t_ev * (t_ev / (kSpeedOfLight * kSpeedOfLight) + 2.0 * m / kElementaryCharge));
}

double particle_momentum(const LensSystem& s) { return particle_momentum(s.p(1, 4), s.p(1, 3)); }

double particle_momentum(const Particle& p) { return particle_momentum(p.energy, p.mass); }

Particle particle_of(const LensSystem& s) { return {s.p(1, 2), s.p(1, 3), s.p(1, 4)}; }

}  // namespace vorne
