// Lens fields expanded to third order in x and y about the axis and made consistent with
// Maxwell's equations (div B = 0, curl B = 0 to that order), with a smooth end profile.
//
// A lens of hard-edge extent [z1, z2] has the profile
//   f(z) = (tanh((z - z1)/lambda) - tanh((z - z2)/lambda)) / 2,
// whose integral is exactly z2 - z1 for every fringe length lambda, so the lens keeps its
// first-order strength while its ends soften. In the lens's own frame (turned by `tilt`
// about the axis), with a = strength x f and a', a'', a''' its z derivatives:
//   quadrupole (a = gradient G, T/m):  Bx = G y - G''(3x^2 y + y^3)/12,
//                                      By = G x - G''(x^3 + 3 x y^2)/12,   Bz = G' x y
//   sextupole (a = S, T/m^2):          Bx = 2 S x y,  By = S (x^2 - y^2)
//   octupole (a = O, T/m^3):           Bx = O (3 x^2 y - y^3),  By = O (x^3 - 3 x y^2)
//   solenoid (a = axial field B, T):   Bx = -B' x/2 + B''' x r^2/16, By likewise with y,
//                                      Bz = B - B'' r^2/4
// The sextupole's and octupole's longitudinal components are of fourth order in the force
// (they only ever multiply a slope) and are left out.
#pragma once

#include <array>
#include <cmath>

namespace vorne {

enum class FieldKind { quadrupole, sextupole, octupole, solenoid };

// One lens's field as the integrator sees it.
struct FieldSource {
  FieldKind kind = FieldKind::quadrupole;
  int row = 0;            // element row it came from
  double z1 = 0.0;        // hard-edge entrance (m from the object)
  double z2 = 0.0;        // hard-edge exit
  double strength = 0.0;  // G (T/m), S (T/m^2), O (T/m^3) or B (T) in the body
  double tilt = 0.0;      // rad, about the beam axis
  double kappa = 0.0;     // |q| e / p at the lens (1/(T m)): turns the field into curvature
  double eta = 0.0;       // d ln(kappa) / d delta, delta the energy error in percent
};

// The end profile and its first three z derivatives.
struct Profile {
  double f = 0.0;
  double f1 = 0.0;
  double f2 = 0.0;
  double f3 = 0.0;
};
Profile end_profile(double z, double z1, double z2, double lambda);

// Half width of the region outside [z1, z2] where a field is still felt, in fringe lengths:
// beyond it the profile is below 1E-17.
inline constexpr double kFringeReach = 20.0;

// Adds kappa times the field of source s, with profile p, at the point (x, y) to (bx, by, bz):
// the curvature the field gives. T is double for a ray or a power series for a map; k is
// kappa for the particle's energy (a series in delta for a map).
template <class T>
void add_curvature(const FieldSource& s, const Profile& p, const T& x_lab, const T& y_lab, const T& k, T& bx,
                   T& by, T& bz) {
  const bool turned = s.tilt != 0.0;
  const double c = turned ? std::cos(s.tilt) : 1.0;
  const double sn = turned ? std::sin(s.tilt) : 0.0;
  // Coordinates in the lens's own frame.
  const T x = turned ? x_lab * c + y_lab * sn : x_lab;
  const T y = turned ? y_lab * c - x_lab * sn : y_lab;
  T fx(0.0);
  T fy(0.0);
  T fz(0.0);
  switch (s.kind) {
    case FieldKind::quadrupole: {
      const double g = s.strength * p.f;
      const double g2 = s.strength * p.f2 / 12.0;
      const T xx = x * x;
      const T yy = y * y;
      fx = y * g - (xx * 3.0 + yy) * y * g2;
      fy = x * g - (xx + yy * 3.0) * x * g2;
      fz = x * y * (s.strength * p.f1);
      break;
    }
    case FieldKind::sextupole: {
      const double a = s.strength * p.f;
      fx = x * y * (2.0 * a);
      fy = (x * x - y * y) * a;
      fz = T(0.0);
      break;
    }
    case FieldKind::octupole: {
      const double a = s.strength * p.f;
      const T xx = x * x;
      const T yy = y * y;
      fx = (xx * 3.0 - yy) * y * a;
      fy = (xx - yy * 3.0) * x * a;
      fz = T(0.0);
      break;
    }
    case FieldKind::solenoid: {
      const T rr = x * x + y * y;
      const T radial = rr * (s.strength * p.f3 / 16.0) + T(-0.5 * s.strength * p.f1);
      fx = x * radial;
      fy = y * radial;
      fz = rr * (-0.25 * s.strength * p.f2) + T(s.strength * p.f);
      break;
    }
  }
  if (turned) {   // back to the laboratory frame
    const T lx = fx * c - fy * sn;
    fy = fx * sn + fy * c;
    fx = lx;
  }
  bx += fx * k;
  by += fy * k;
  bz += fz * k;
}

// The field (T) of one source at a point, in the laboratory frame.
std::array<double, 3> field_at(const FieldSource& s, double lambda, double x, double y, double z);

}  // namespace vorne
