// FISHK's thin-lens spherical aberration and CRAMER's octupole correction.
#include "optics/corrections.h"

#include <cmath>
#include <vector>

#include "elements/elements.h"
#include "optics/third_order.h"
#include "qx/format.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr double kAstigmatismLimit = 10.0;  // micrometres
constexpr double kToMicronPerMilliradian = 0.001;
constexpr double kPartialLimit = static_cast<double>(1.0E-4f);
constexpr double kFifth = static_cast<double>(0.2f);

double over(double x, double d) { return d == 0.0 ? 0.0 : x / d; }
double sq(double x) { return x * x; }

// A thin lens's power 1/f; a cleared focal length (0, no lens) has none.
double power(double f) { return f == 0.0 ? 0.0 : 1.0 / f; }

// The quadrupoles FISHK works with: superimposed rows have no focal lengths of their own.
std::vector<int> fishk_quadrupoles(const LensSystem& s) {
  std::vector<int> rows;
  for (int iz = kFirstElementRow; iz <= std::min(s.izend, kRows); ++iz) {
    const TypeCode t = s.type_at(iz);
    if (t.type == kQuadrupole && t.supra == 0) rows.push_back(iz);
  }
  return rows;
}

struct ThinQuad {
  double z = 0.0;  // centre
  double len = 0.0;
  double field = 0.0;
  double px = 0.0;  // powers 1/fx, 1/fy
  double py = 0.0;
  QuadFactors c;
};

ThinQuad thin_quad(const LensSystem& s, int iz, bool approximate) {
  ThinQuad q;
  q.z = s.p(iz, 5);
  q.len = s.p(iz, 2);
  q.field = s.p(iz, 3);
  q.px = power(s.p(iz, 11));
  q.py = power(s.p(iz, 12));
  if (approximate) {
    const double k = s.p(iz, 8);
    q.px = fortran_sign(k * k * q.len, q.field);
    q.py = -q.px;
  }
  q.c = quad_factors(code_class(s.p(iz, 1)) == kElectricVariant + kQuadrupole ? -1.0 : 0.0);
  return q;
}

// Ray heights per unit object angle at the quadrupole centres.
void heights(const std::vector<ThinQuad>& q, std::vector<double>& hx, std::vector<double>& hy) {
  const std::size_t n = q.size();
  hx.assign(n, 0.0);
  hy.assign(n, 0.0);
  const double z1 = q[0].z;
  hx[0] = hy[0] = z1;
  if (n < 2) return;
  const double d12 = q[1].z - q[0].z;
  hx[1] = z1 + d12 - z1 * d12 * q[0].px;
  hy[1] = z1 + d12 - z1 * d12 * q[0].py;
  if (n < 3) return;
  const double d23 = q[2].z - q[1].z;
  auto third = [&](double p1, double p2) {
    return z1 + d12 + d23 - (d12 + d23) * z1 * p1 - (z1 + d12) * d23 * p2 + z1 * d12 * d23 * p1 * p2;
  };
  hx[2] = third(q[0].px, q[1].px);
  hy[2] = third(q[0].py, q[1].py);
  if (n < 4) return;
  // The antisymmetric-quadruplet heights: x through quadrupole 2's focal length, y through
  // quadrupole 3's.
  // fx1 fx2 / fx2^2 = fx1 / fx2 and z1 d12 / fx2^2, written with the powers.
  hx[3] = z1 + (over(q[1].px, q[0].px) - z1 * d12 * sq(q[1].px)) * d23;
  hy[3] = z1 + (over(q[2].py, q[0].py) - z1 * d12 * sq(q[2].py)) * d23;
}

double antisymmetry(const std::vector<ThinQuad>& q) {
  const double d = 100.0 * std::fabs(sq(q[1].field) - sq(q[2].field)) +
                   100.0 * std::fabs(sq(q[0].field) - sq(q[3].field)) + std::fabs((q[1].z - q[0].z) - q[3].z + q[2].z) +
                   std::fabs(q[0].len - q[3].len) + std::fabs(q[1].len - q[2].len);
  return (1.0 - d) * 100.0;
}

}  // namespace

// ---- FISHK ---------------------------------------------------------------------------------------

FishkResult fishk_coefficients(const LensSystem& s, const WalkSettings& settings) {
  FishkResult r;
  const std::vector<int> rows = fishk_quadrupoles(s);
  r.quads = static_cast<int>(rows.size());
  if (r.quads == 0 || r.quads > kMaxFishkQuadrupoles) return r;
  r.suited = true;
  r.f = focal(s, s.izend, settings);
  r.m = mag(s, s.izend, settings);
  r.approximate = settings.level == kThinLensFitLevel;
  std::vector<ThinQuad> q;
  for (const int iz : rows) q.push_back(thin_quad(s, iz, r.approximate));
  const int last = rows.back();
  r.astigmatism = (s.p(last, 6) - s.p(last, 7)) * kMicrometresPerMetre;

  std::vector<double> hx;
  std::vector<double> hy;
  heights(q, hx, hy);
  for (std::size_t k = 0; k < q.size(); ++k) {
    const ThinQuad& t = q[k];
    if (k < 3) {
      r.c.p += over(t.c.c1 * std::pow(hx[k], 4) * sq(t.px), t.len);
      r.c.s += over(-t.c.c2 * sq(hx[k] * hy[k]) * t.px * t.py, t.len);
      r.c.pb += over(t.c.c1 * std::pow(hy[k], 4) * sq(t.py), t.len);
    } else {
      // The fourth lens takes the first lens's focal lengths and both planes alike.
      const double px4 = over(t.c.c1 * std::pow(hx[k], 4) * sq(q[0].px), t.len);
      r.c.p += px4;
      r.c.s += over(-t.c.c2 * sq(hx[k] * hy[k]) * q[0].px * q[0].py, t.len);
      r.c.pb += px4;
    }
  }
  r.c.sb = r.c.s;
  if (r.quads == 4) r.symmetry = antisymmetry(q);
  return r;
}

FishkResult fishk(const LensSystem& s, const WalkSettings& settings, qx::Output& out) {
  const FishkResult r = fishk_coefficients(s, settings);
  if (!r.suited) {
    static const qx::Format kUnsuited{"(1H ,'%FISHK- The system is unsuited for FISHK/CRAMER',' Number of quads = ',I2)"};
    out.write(kUnsuited, r.quads);
    return r;
  }
  static const qx::Format kApproximate{"(1H ,/,1H ,'%FISHK- Approximate focal lengths F = 1/(L*B^2) used.')"};
  if (r.approximate) out.write(kApproximate);
  static const qx::Format kBeware{"(1H ,/,1H ,'%FISHK- **Beware** ',1P,G8.2,'um of residual astigmatism')"};
  // Astigmatism of either sign spoils the probe alike.
  if (std::fabs(r.astigmatism) > kAstigmatismLimit) out.write(kBeware, r.astigmatism);
  static const qx::Format kSymmetry{"(1H ,/,1H ,'The system is ',F6.2,'% an antisymmetric quadruplet.')"};
  if (r.quads == 4) out.write(kSymmetry, r.symmetry);
  const double sx = r.m.mx * kToMicronPerMilliradian;
  const double sy = r.m.my * kToMicronPerMilliradian;
  static const qx::Format kTable{
      "(1H ,/,1H ,20X,'---------------------------------',/,1H ,20X,'Spherical aberration coefficients',/,"
      "1H ,20X,'---------------------------------',/,"
      "1H ,10X,'Calculated for the QUADRUPOLE contribution only using the',/,"
      "1H ,10X,'thin lens approximation by the formulae of Fishkova et al.',/,/,"
      "1H ,5X,'X/X     =',0P,F13.5,/,1H ,5X,'X/TH3   =',0P,F13.5,' um/mr3   P  = ',1P,G13.5,' m/r3',/,"
      "1H ,5X,'X/THPH2 =',0P,F13.5,' um/mr3   S  = ',1P,G13.5,' m/r3',/,1H ,5X,'Y/Y     =',0P,F13.5,/,"
      "1H ,5X,'Y/PH3   =',0P,F13.5,' um/mr3   PB = ',1P,G13.5,' m/r3',/,"
      "1H ,5X,'Y/TH2PH =',0P,F13.5,' um/mr3   SB = ',1P,G13.5,' m/r3',/)"};
  out.write(kTable, r.m.mx, sx * r.c.p, r.c.p, sx * r.c.s, r.c.s, r.m.my, sy * r.c.pb, r.c.pb, sy * r.c.sb, r.c.sb);
  const double cx = std::fabs(r.c.p) < std::fabs(r.c.s) ? r.c.s : r.c.p;
  const double cy = std::fabs(r.c.pb) < std::fabs(r.c.sb) ? r.c.sb : r.c.pb;
  static const qx::Format kHawkes{
      "(1H ,10X,'Hawkes'' coefficients: ','   Csx/Fx =  ',0P,F11.4,'   Csy/Fy =  ',0P,F11.4)"};
  out.write(kHawkes, over(std::pow(r.m.mx, 4) * cx, r.f.fx), over(std::pow(r.m.my, 4) * cy, r.f.fy));
  return r;
}

// ---- CRAMER --------------------------------------------------------------------------------------

namespace {

// Response of the system's x/theta^3 (a), mixed (b) and y/phi^3 (c) sums to a unit strength
// of one octupole, and the field per unit strength.
struct OctupoleColumn {
  double a = 0.0;
  double b = 0.0;
  double c = 0.0;
  double field_per_strength = 0.0;
};

// The quadrupole a superimposed row belongs to: the nearest earlier row that is not
// superimposed.
int carrier_of(const LensSystem& s, int row) {
  int r = row - 1;
  while (r > kFirstElementRow && s.type_at(r).supra != 0) --r;
  return r;
}

// A separate octupole: the thick-octupole integrals from its entrance, referred to the system
// object as the walk refers it.
OctupoleColumn separate_column(const LensSystem& s, const WalkSettings& settings, int row) {
  OctupoleColumn col;
  const double len = s.p(row, 2);
  const double radius = s.p(row, 4);
  const ObjectDistances d = object_distances(s, row);
  const double u = d.ux - len / 2.0;
  const double w = d.uy - len / 2.0;
  const double i1 = -(std::pow(len + u, 5) - std::pow(u, 5)) / 5.0;
  const double i2 = 3.0 * (kFifth * std::pow(len, 5) + len * u * u * w * w + len * len * u * w * (u + w) +
                           std::pow(len, 3) * (w * w + 4.0 * u * w + u * u) / 3.0 + std::pow(len, 4) * (u + w) / 2.0);
  const double j1 = -(std::pow(len + w, 5) - std::pow(w, 5)) / 5.0;
  // The magnification of the system up to the octupole's object, as the walk refers the
  // octupole's own coefficients.
  const Referral r = lens_referral(s, row, settings);
  col.a = i1 / std::pow(r.m.mx, 4);
  col.b = i2 / sq(r.m.mx * r.m.my);
  col.c = j1 / std::pow(r.m.my, 4);
  // The momentum the octupole routine uses, so that the walk sees the solved strength.
  const double p = particle_momentum(energy_at(s, row), s.p(1, 3));
  const double charge = std::fabs(s.p(1, 2));
  col.field_per_strength = charge == 0.0 ? 0.0 : std::pow(radius, 3) * p / (charge * kElementaryCharge);
  return col;
}

// An octupole superimposed on a quadrupole: its closed forms inside the quadrupole, referred
// like the quadrupole.
OctupoleColumn superimposed_column(const LensSystem& s, const WalkSettings& settings, int row) {
  OctupoleColumn col;
  const int quad = carrier_of(s, row);
  const double k = s.p(quad, 8);
  if (s.type_at(quad).type != kQuadrupole || std::fabs(k) < static_cast<double>(1.0E-6f)) return col;
  const double len = s.p(row, 2);
  const ObjectDistances d = object_distances(s, quad);
  const OctupoleInQuad o = octupole_in_quadrupole(k, d.ux - len / 2.0, d.uy - len / 2.0, 1.0, len);
  const Referral r = lens_referral(s, quad, settings);
  col.a = o.o1x / std::pow(r.m.mx, 4);
  col.b = o.o2x / sq(r.m.mx * r.m.my);
  col.c = o.o1y / std::pow(r.m.my, 4);
  // The superimposed octupole's strength rule: K3 = (e/p) P2 / a^3, p for the energy |T q|.
  const double w = std::fabs(energy_at(s, quad) * s.p(1, 2));
  col.field_per_strength = std::pow(s.p(row, 4), 3) * particle_momentum(w, s.p(1, 3)) / kElementaryCharge;
  return col;
}

double det3(const std::array<std::array<double, 3>, 3>& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

}  // namespace

CramerSolution cramer_solution(const LensSystem& s, const WalkSettings& settings, const CramerTargets& t) {
  CramerSolution sol;
  std::vector<int> rows;
  for (int iz = kFirstElementRow; iz <= std::min(s.izend, kRows); ++iz) {
    const TypeCode tc = s.type_at(iz);
    if (tc.type == kOctupole && tc.polarity == 1) rows.push_back(iz);
  }
  sol.octupoles = static_cast<int>(rows.size());
  if (sol.octupoles < kCorrectingOctupoles) return sol;
  const double mixed = (t.s + t.sb) / 2.0;

  std::array<OctupoleColumn, 3> col{};
  for (int k = 0; k < kCorrectingOctupoles; ++k) {
    sol.rows[static_cast<std::size_t>(k)] = rows[static_cast<std::size_t>(k)];
    const int row = rows[static_cast<std::size_t>(k)];
    col[static_cast<std::size_t>(k)] =
        s.type_at(row).supra == 1 ? superimposed_column(s, settings, row) : separate_column(s, settings, row);
  }
  const double a1 = col[0].a, a2 = col[1].a, a3 = col[2].a;
  const double b1 = col[0].b, b2 = col[1].b, b3 = col[2].b;
  const double c1 = col[0].c, c2 = col[1].c, c3 = col[2].c;
  sol.determinant = a1 * (c2 * b3 - b2 * c3) - a2 * (c1 * b3 - c3 * b1) + a3 * (c1 * b2 - c2 * b1);
  const std::array<std::array<double, 3>, 3> m{{{a1, a2, a3}, {b1, b2, b3}, {c1, c2, c3}}};
  const double det = det3(m);
  if (det == 0.0 || !std::isfinite(det)) {
    sol.status = CramerSolution::Status::singular;
    return sol;
  }
  const std::array<double, 3> rhs{-t.p, -mixed, -t.pb};
  for (std::size_t k = 0; k < 3; ++k) {
    auto mk = m;
    for (std::size_t i = 0; i < 3; ++i) mk[i][k] = rhs[i];
    sol.strength[k] = det3(mk) / det;
    sol.field[k] = col[k].field_per_strength * sol.strength[k];
  }
  const std::array<double, 3>& kk = sol.strength;
  sol.residual[0] = t.p + (a1 * kk[0] + a2 * kk[1] + a3 * kk[2]);
  sol.residual[1] = t.pb + (c1 * kk[0] + c2 * kk[1] + c3 * kk[2]);
  sol.residual[2] = mixed + (b1 * kk[0] + b2 * kk[1] + b3 * kk[2]);
  sol.status = CramerSolution::Status::solved;
  return sol;
}

CramerSolution cramer(LensSystem& s, const WalkSettings& settings, const CramerTargets& t) {
  qx::Output& out = settings.error_stream();
  const CramerSolution sol = cramer_solution(s, settings, t);
  if (sol.octupoles < kCorrectingOctupoles) {
    static const qx::Format kTooFew{
        "(1H ,'%CRAMER- Insufficient Octupoles for correction,',/,1H ,'at least 3 are required, you have only ',I2)"};
    out.write(kTooFew, sol.octupoles);
    return sol;
  }
  static const qx::Format kFirstThree{"(1H ,'%CRAMER - FIRST 3/',I1,' OF AVAILABLE OCTUPOLES USED.')"};
  if (sol.octupoles > kCorrectingOctupoles) out.write(kFirstThree, sol.octupoles);
  if (sol.status == CramerSolution::Status::singular) {
    static const qx::Format kSingular{
        "(1H ,/,1H ,'%CRAMER-Determinant of coefficient matrix zero, system',/,"
        "1H ,'%CRAMER-cannot be corrected with octupoles. ')"};
    out.write(kSingular);
    return sol;
  }
  const double z = std::fabs(sol.residual[0]) + std::fabs(sol.residual[1]) + std::fabs(sol.residual[2]);
  static const qx::Format kPartial{"(1H ,'%CRAMER - Partial correction  Z = ',1P,G13.5)"};
  if (z > kPartialLimit) out.write(kPartial, z);
  for (std::size_t k = 0; k < 3; ++k) {
    s.p(sol.rows[k], 8) = sol.strength[k];
    s.p(sol.rows[k], 3) = sol.field[k];
  }
  static const qx::Format kDeterminant{"(1H ,40X,'Determinant = ',1P,G13.5)"};
  out.write(kDeterminant, sol.determinant);
  if (settings.level >= kQuietLevel) {
    for (std::size_t k = 0; k < 3; ++k) {
      static const qx::Format kOctupole{"(1H ,10X,'Octupole ',I2,' = ',1P,G13.5,1X,A,' (Z',I1,' = ',1P,G9.2,')')"};
      if (code_class(s.p(sol.rows[k], 1)) != vorne::kOctupole) continue;
      const int n = static_cast<int>(k) + 1;
      out.write(kOctupole, n, sol.field[k], "Tesla", n, sol.residual[k]);
    }
  }
  return sol;
}

CramerSolution octupole_correction(LensSystem& s, const WalkSettings& settings, const CramerTargets& t) {
  const CramerSolution sol = cramer(s, settings, t);
  if (sol.status != CramerSolution::Status::solved) return sol;
  qx::Output& out = settings.error_stream();
  static const qx::Format kHeading{"(1H ,'Required corrections;',/,1H ,'     Octupole          Field      Unit')"};
  out.write(kHeading);
  static const qx::Format kLine{"(1H ,7X,I2,10X,1P,G13.5,'  ',A)"};
  for (std::size_t k = 0; k < 3; ++k) out.write(kLine, sol.rows[k], sol.field[k], "Tesla");
  return sol;
}

void octupole_correction_report(LensSystem& s, const WalkResult& w, const WalkSettings& settings) {
  const FishkResult r = fishk(s, settings, settings.report());
  if (!r.suited || w.octus < kCorrectingOctupoles) return;
  octupole_correction(s, settings, r.c);
}

}  // namespace vorne
