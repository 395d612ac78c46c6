// An independent evaluation of the aberration formulas for the tests: the lens coefficients,
// their referral to the system object, the second-order maps and their composition, all
// written again from the formulas (none of the program's aberration routines is called).
// It reads what the first-order walk left in the table: centres, image positions,
// strengths, magnifications, focal lengths and each element's matrix.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "optics_rig.h"

namespace aberration_ref {

using optics_test::Rig;
using vorne::Mat4;

constexpr double kE = 1.6021892E-19;
constexpr double kPi = 3.141592654;

// Coefficient set c[plane][j], planes 1-2, j 1-10 (index 0 unused).
struct Set {
  double c[3][11] = {};
  Set& operator+=(const Set& o) {
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 10; ++j) c[i][j] += o.c[i][j];
    return *this;
  }
};

// The packed code read digit by digit: D2 D3 . D4 D5.
struct Code {
  int whole = 0;  // D2 D3
  int type = 0;   // internal type
  int polarity = 0;
  int supra = 0;
};
inline Code decode(double code) {
  const long hundredths = static_cast<long>(100.0 * code + 1.0E-4);
  Code c;
  c.whole = static_cast<int>(hundredths / 100);
  const int d3 = c.whole % 10;
  const int d2 = c.whole / 10;
  c.type = (d2 == 1 && d3 != 4 && d3 != 6 && d3 != 8) ? d3 + 10 : d3;
  c.polarity = (d2 == 1 || d2 == 3 || c.type == 7) ? -1 : 1;
  if (c.type == 11) c.polarity = 1;
  if (c.type == 0 || c.type == 1 || c.type == 3 || c.type == 9) c.polarity = 0;
  c.supra = d2 >= 2 ? 1 : 0;
  return c;
}

inline double col(const Rig& r, int iz, int c) { return r.s.p(iz, c); }
inline Code code_at(const Rig& r, int iz) { return decode(col(r, iz, 1)); }

inline int preceding(const Rig& r, int iz) {
  for (int k = iz - 1; k >= 3; --k) {
    const Code c = code_at(r, k);
    if (c.whole <= 19 && c.polarity != 0 && std::fabs(col(r, k, 3)) >= static_cast<double>(1.0E-5f)) return k;
  }
  return 2;
}

inline bool mag_counts(const Rig& r, int k) {
  const Code c = code_at(r, k);
  return c.whole <= 19 && c.whole != 3 && c.whole != 8 && c.whole != 18 && c.polarity != 0 &&
         std::fabs(col(r, k, 3)) > static_cast<double>(1.0E-7f);
}

struct Pair {
  double x = 1.0;
  double y = 1.0;
};

// Magnification of the system up to the image of the lens at iz: rows 3 to iz inclusive.
inline Pair mag(const Rig& r, int iz) {
  Pair m;
  for (int k = 3; k <= iz; ++k)
    if (mag_counts(r, k)) {
      m.x *= col(r, k, 9);
      m.y *= col(r, k, 10);
    }
  return m;
}

// Focal lengths of the subsystem up to the lens at iz (rows 3 to iz inclusive).
inline Pair focal(const Rig& r, int iz) {
  double sx = 0.0, sy = 0.0;
  Pair last;
  for (int k = 3; k <= iz; ++k) {
    const Code c = code_at(r, k);
    if (!mag_counts(r, k) || c.whole == 6 || c.whole == 16) continue;
    const Pair mk = mag(r, k);
    const int p = preceding(r, k);
    const Pair mp = p == 2 ? Pair{} : mag(r, p);
    const double fx = col(r, k, 11), fy = col(r, k, 12);
    if (std::fabs(fx * fy) >= 1.0E-10) {
      sx += mk.x * mp.x / fx;
      sy += mk.y * mp.y / fy;
      last = mk;
    }
  }
  if (std::fabs(sx * sy) < 1.0E-10) return {static_cast<double>(1.0E10f), static_cast<double>(1.0E10f)};
  return {last.x / sx, last.y / sy};
}

// Object distances of row iz from the preceding lens's images.
inline Pair object(const Rig& r, int iz) {
  const int p = preceding(r, iz);
  const double z = col(r, iz, 5);
  if (p == 2) return {z, z};
  return {z - col(r, p, 6), z - col(r, p, 7)};
}

inline double momentum_for(const Rig& r, double mev) { return optics_test::momentum(mev, col(r, 1, 3)); }

// The thick octupole integrals of one plane, u own and w other distance to the entrance.
inline void octupole_plane(Set& s, int i, double k3, double l, double u, double w) {
  double* c = s.c[i];
  c[1] = -k3 * (std::pow(u + l, 5) - std::pow(u, 5)) / 5;
  c[2] = 3 * k3 *
         (0.2f * std::pow(l, 5) + 0.5 * std::pow(l, 4) * (u + w) +
          std::pow(l, 3) * (u * u + 4 * u * w + w * w) * (1.0f / 3.0f) + l * l * u * w * (u + w) + l * u * u * w * w);
  c[3] = -0.75 * k3 * (std::pow(u + l, 4) - std::pow(u, 4));
  c[4] = 3 * k3 *
         (0.25 * std::pow(l, 4) + std::pow(l, 3) * (u + 2 * w) * (1.0f / 3.0f) + 0.5 * l * l * w * (2 * u + w) +
          l * u * w * w);
  c[5] = 6 * k3 *
         (0.25 * std::pow(l, 4) + std::pow(l, 3) * (2 * u + w) * (1.0f / 3.0f) + 0.5 * l * l * u * (u + 2 * w) +
          l * u * u * w);
  c[6] = -k3 * (std::pow(u + l, 3) - std::pow(u, 3));
  c[7] = -c[6];
  c[8] = 6 * k3 * (std::pow(l, 3) * (1.0f / 3.0f) + 0.5 * l * l * (u + w) + l * u * w);
  c[9] = -0.5 * k3 * l * (2 * u + l);
  c[10] = -3 * c[9];  // the x y^2 term of the force x^3 - 3 x y^2
}

struct OctQuad {
  double o1x, o2x, o1y, o2y;
};
inline OctQuad octupole_in_quad(double k, double ux, double uy, double k3, double l) {
  const double kap = std::fabs(k);
  const double a = k >= 0 ? ux : uy, b = k >= 0 ? uy : ux;
  const double p = (kap * a) * (kap * a), q = (kap * b) * (kap * b);
  const double z = 2 * kap * l, w = 4 * kap * l, f = k3 * l / (8 * std::pow(kap, 4));
  const double o1f =
      -f * (3 * (1 + p) * (1 + p) + 4 * (1 + p) * (a / l) * (1 - std::cos(z)) - 4 * (1 - p * p) * std::sin(z) / z -
            (1 - p) * (a / l) * (1 - std::cos(w)) + (p * p - 6 * p + 1) * std::sin(w) / w);
  const double o1d =
      -f * (3 * (1 - q) * (1 - q) + 4 * (1 - q) * (b / l) * (1 - std::cosh(z)) - 4 * (1 - q * q) * std::sinh(z) / z -
            (1 + q) * (b / l) * (1 - std::cosh(w)) + (q * q + 6 * q + 1) * std::sinh(w) / w);
  const double o2 = 3 * f *
                    (-((1 + q) * (1 - p) + 4 * kap * kap * a * b) * std::sinh(z) * std::cos(z) / z -
                     ((1 + q) * (1 - p) - 4 * kap * kap * a * b) * std::cosh(z) * std::sin(z) / z -
                     ((1 + q) * a / l + (1 - p) * b / l) * std::cosh(z) * std::cos(z) +
                     ((1 + q) * a / l - (1 - p) * b / l) * std::sinh(z) * std::sin(z) +
                     2 * (1 + p) * ((1 + q) * std::sinh(z) / z + (b / l) * std::cosh(z)) +
                     2 * (1 - q) * ((1 - p) * std::sin(z) / z + (a / l) * std::cos(z)) - 2 * (1 - q) * (1 + p) -
                     (1 - 3 * q) * a / l - (1 + 3 * p) * b / l);
  return k >= 0 ? OctQuad{o1f, o2, o1d, o2} : OctQuad{o1d, o2, o1f, o2};
}

inline Set qspher(const Rig& r, int iz, int idiag) {
  Set c;
  const double sk = col(r, iz, 8);
  const double k = std::fabs(sk);
  if (k < static_cast<double>(1.0E-6f)) return c;
  const double l = col(r, iz, 2), field = col(r, iz, 3);
  double fx = col(r, iz, 11), fy = col(r, iz, 12);
  const Pair u = object(r, iz);
  double s = code_at(r, iz).polarity < 0 ? -1.0 : 0.0;
  for (int k2 = iz + 1; k2 <= 40 && code_at(r, k2).supra != 0; ++k2)
    if (code_at(r, k2).type == 4) {
      s = col(r, iz + 1, 8);
      break;
    }
  const double c1 = (3 * s * s - 2 * s + 2) / 6, c2 = -(s * s - 2 * s - 2) / 2;
  if (idiag == -8) {
    fx = std::copysign(std::fabs(1 / (k * k * l)), field);
    fy = -col(r, iz, 11);
  }
  if (idiag == -9) {
    for (int i = 1; i <= 2; ++i) {
      c.c[i][1] = c1 / (std::pow(k * l, 3) * k);
      c.c[i][2] = c2 / (std::pow(k * l, 3) * k);
    }
  } else {
    c.c[1][1] = c1 * std::pow(u.x, 4) / (fx * fx * l);
    c.c[1][2] = -c2 * std::pow(u.x * u.y, 2) / (fx * fy * l);
    c.c[2][1] = c1 * std::pow(u.y, 4) / (fy * fy * l);
    c.c[2][2] = -c2 * std::pow(u.x * u.y, 2) / (fx * fy * l);
  }
  for (int i = 1; i <= 2; ++i) {
    const double a = i == 1 ? u.x : u.y;
    double* t = c.c[i];
    t[3] = 3 * t[1] / a;
    t[4] = t[2] / a;
    t[5] = 2 * t[2] / a;
    t[6] = 3 * t[1] / (a * a);
    t[7] = t[2] / (a * a);
    t[8] = 2 * t[1] / (a * a);
    t[9] = t[1] / (a * a * a);
    t[10] = t[2] / (a * a * a);
  }
  const double w = std::fabs(col(r, 1, 4) * col(r, 1, 2));
  for (int row = iz + 1; row <= 40 && code_at(r, row).supra != 0; ++row) {
    if (code_at(r, row).type != 8) continue;
    const double p2 = col(r, row, 3), p3 = col(r, row, 4);
    const double k3 = code_at(r, row).polarity > 0 ? kE / momentum_for(r, w) * p2 / std::pow(p3, 3)
                                                   : -(2 * p2) / (std::pow(p3, 4) * w * 1E6);
    if (k3 == 0.0) continue;
    const double ol = col(r, row, 2);
    const OctQuad o = octupole_in_quad(sk, u.x - ol / 2, u.y - ol / 2, k3, ol);
    for (int i = 1; i <= 2; ++i) {
      const double a = i == 1 ? u.x : u.y, b = i == 1 ? u.y : u.x;
      const double o1 = i == 1 ? o.o1x : o.o1y, o2 = i == 1 ? o.o2x : o.o2y;
      double* t = c.c[i];
      t[1] += o1;
      t[2] += o2;
      t[3] += 3 * o1 / a;
      t[4] += o2 / a;
      t[5] += 2 * o2 / b;
      t[6] += 3 * o1 / (a * a);
      t[7] += o2 / (b * b);
      t[8] += 2 * o2 / (a * b);
      t[9] += o1 / (a * a * a);
      t[10] += o2 / (a * b * b);
    }
  }
  return c;
}

inline Set lens_set(const Rig& r, int iz, int idiag) {
  const Code c = code_at(r, iz);
  Set s;
  if (c.type == 4) return qspher(r, iz, idiag);
  if (c.type == 8) {
    double k3 = col(r, iz, 8);
    if (c.polarity == -1) k3 = -k3;
    const double l = col(r, iz, 2);
    const Pair u = object(r, iz);
    octupole_plane(s, 1, k3, l, u.x - l / 2, u.y - l / 2);
    octupole_plane(s, 2, k3, l, u.y - l / 2, u.x - l / 2);
  }
  if (c.type == 11) s.c[1][1] = s.c[2][1] = kPi * col(r, iz, 8) * col(r, iz, 2) / 6;
  return s;
}

// The lens's set referred to the system object.
inline Set referred(const Rig& r, int iz, const Set& l) {
  const int p = preceding(r, iz);
  if (p < 3) return l;
  const Pair m = mag(r, p), f = focal(r, p);
  Set n;
  for (int i = 1; i <= 2; ++i) {
    const double a = i == 1 ? m.x : m.y, b = i == 1 ? m.y : m.x;
    const double fa = i == 1 ? f.x : f.y, fb = i == 1 ? f.y : f.x;
    const double* L = l.c[i];
    double* N = n.c[i];
    N[1] = L[1] / std::pow(a, 4);
    N[2] = L[2] / (a * a * b * b);
    N[3] = L[3] / (a * a);
    N[4] = L[4] / (b * b);
    N[5] = L[5] / (a * a);
    N[6] = L[6];
    N[7] = b * b * L[7] / (a * a);
    N[8] = L[8];
    N[9] = a * a * L[9];
    N[10] = b * b * L[10];
    const double sum = std::fabs(fa) + std::fabs(fb);
    if (sum < 1E-10 || sum > 1E10) continue;
    N[3] -= 3 * L[1] / (a * a * a * fa);
    N[4] -= L[2] / (a * fa * b * b);
    N[5] -= 2 * L[2] / (a * a * b * fb);
    N[6] += 3 * L[1] / (a * a * fa * fa) - 2 * L[3] / (a * fa);
    N[7] += L[2] / (a * a * fb * fb) - b * L[5] / (fb * a * a);
    N[8] += 2 * L[2] / (a * b * fa * fb) - 2 * L[4] / (b * fb) - L[5] / (a * fa);
    N[9] += -L[1] / (a * fa * fa * fa) + L[3] / (fa * fa) - a * L[6] / fa;
    N[10] += -L[2] / (a * fa * fb * fb) + b * L[5] / (a * fa * fb) + L[4] / (fb * fb) - b * b * L[7] / (a * fa) -
             b * L[8] / fb;
  }
  return n;
}

struct Sums {
  Set total, quad, octu;
};
// The system sums after a walk of the rig at third order.
inline Sums system_sums(const Rig& r, int idiag) {
  Sums s;
  for (int iz = 3; iz < r.s.izend; ++iz) {
    const Code c = code_at(r, iz);
    if (c.supra == 1) continue;
    if (c.type != 4 && c.type != 8 && c.type != 11) continue;
    const Set n = referred(r, iz, lens_set(r, iz, idiag));
    s.total += n;
    if (c.type == 4) s.quad += n;
    if (c.type == 8) s.octu += n;
  }
  return s;
}

// ---- Second order: truncated polynomial maps ------------------------------------------------------
// out_i = sum_j lin[i][j] x_j + sum_{a<=b} quad[i][a][b] x_a x_b (1-based, a <= b).
struct Poly {
  double lin[5][5] = {};
  double quad[5][5][5] = {};
};

// The product of two linear forms as quadratic coefficients q[a][b], a <= b.
inline void product(const double* f, const double* g, double q[5][5]) {
  for (int a = 1; a <= 4; ++a)
    for (int b = 1; b <= 4; ++b) q[std::min(a, b)][std::max(a, b)] += f[a] * g[b];
}

// e after s: substitute s into e, dropping terms above second order.
inline Poly compose(const Poly& e, const Poly& s) {
  Poly r;
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 4; ++j)
      for (int k = 1; k <= 4; ++k) r.lin[i][k] += e.lin[i][j] * s.lin[j][k];
    for (int j = 1; j <= 4; ++j)
      for (int a = 1; a <= 4; ++a)
        for (int b = a; b <= 4; ++b) r.quad[i][a][b] += e.lin[i][j] * s.quad[j][a][b];
    for (int a = 1; a <= 4; ++a)
      for (int b = a; b <= 4; ++b) {
        if (e.quad[i][a][b] == 0.0) continue;
        double q[5][5] = {};
        product(s.lin[a], s.lin[b], q);
        for (int c = 1; c <= 4; ++c)
          for (int d = c; d <= 4; ++d) r.quad[i][c][d] += e.quad[i][a][b] * q[c][d];
      }
  }
  return r;
}

// x'' = -K (x^2 - y^2), y'' = 2 K x y over a length l, to second order in the entrance values.
inline void add_sextupole(Poly& p, double k, double l) {
  // The table's fractions, as the program holds them (single precision).
  const double t3 = 1.0f / 3.0f, t12 = 1.0f / 12.0f, t6 = 1.0f / 6.0f, t23 = 2.0f / 3.0f;
  p.quad[1][1][1] += -k * l * l / 2;
  p.quad[1][1][2] += -k * l * l * l * t3;
  p.quad[1][2][2] += -k * l * l * l * l * t12;
  p.quad[1][3][3] += k * l * l / 2;
  p.quad[1][3][4] += k * l * l * l * t3;
  p.quad[1][4][4] += k * l * l * l * l * t12;
  p.quad[2][1][1] += -k * l;
  p.quad[2][1][2] += -k * l * l;
  p.quad[2][2][2] += -k * l * l * l * t3;
  p.quad[2][3][3] += k * l;
  p.quad[2][3][4] += k * l * l;
  p.quad[2][4][4] += k * l * l * l * t3;
  p.quad[3][1][3] += k * l * l;
  p.quad[3][1][4] += k * l * l * l * t3;
  p.quad[3][2][3] += k * l * l * l * t3;
  p.quad[3][2][4] += k * l * l * l * l * t6;
  p.quad[4][1][3] += 2 * k * l;
  p.quad[4][1][4] += k * l * l;
  p.quad[4][2][3] += k * l * l;
  p.quad[4][2][4] += k * l * l * l * t23;
}

inline double sextupole_k(const Rig& r, int row) {
  const double p2 = col(r, row, 3), p3 = col(r, row, 4);
  const double w = std::fabs(col(r, 1, 4) * col(r, 1, 2));
  const double k2 = code_at(r, row).polarity > 0 ? kE / momentum_for(r, w) * std::fabs(p2) / (p3 * p3)
                                                 : std::fabs(p2 / (p3 * p3 * p3 * w * 1E6));
  return std::copysign(k2, p2);
}

// The system's second-order map after a walk of order 2 or 3.
inline Poly system_map(const Rig& r) {
  Poly s;
  for (int i = 1; i <= 4; ++i) s.lin[i][i] = 1.0;
  for (int iz = 3; iz < r.s.izend; ++iz) {
    const Code c = code_at(r, iz);
    if (c.supra == 1) continue;
    Poly e;
    const Mat4& a = r.v.walk.element_matrix[static_cast<std::size_t>(iz)];
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j) e.lin[i][j] = a(i, j);
    if (c.whole < 20 && c.polarity != 0 && col(r, iz, 4) >= 1E-10) {
      if (c.type == 6) add_sextupole(e, sextupole_k(r, iz), col(r, iz, 2));
      if (c.type == 4)
        for (int k = iz + 1; k <= 40 && code_at(r, k).supra == 1; ++k)
          if (code_at(r, k).type == 6) {
            add_sextupole(e, sextupole_k(r, k), col(r, k, 2));
            break;
          }
    }
    s = compose(e, s);
  }
  return s;
}

}  // namespace aberration_ref
