// Test helpers for the element routines and the walk: a program state with a captured
// terminal, tables built row by row, and an independent numerical integration of the paraxial
// equations of motion (classic fourth-order Runge-Kutta over a phase-space vector).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "elements/elements.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "session.h"
#include "qx/units.h"
#include "session/state.h"
#include "session/walks.h"

namespace optics_test {

using vorne::Mat4;
using vorne::Vec4;

// A program state with a system built by hand: particle, beam, elements, System End.
struct Rig {
  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("")};
  vorne::LensSystem& s = v.sys;
  int next = 3;   // the row the next add() fills

  // Particle: charge, mass (amu), kinetic energy (MeV); the energy is also "as loaded".
  explicit Rig(double charge = 1.0, double mass = 1.00728, double mev = 3.0) {
    s.p(1, 2) = charge;
    s.p(1, 3) = mass;
    s.p(1, 4) = mev;
    s.p(1, 5) = -1.0;
    s.p(1, 12) = mev;
    s.p(2, 1) = 1.0;
    v.idiag = -1;
  }
  void beam(double x, double th, double y, double ph, double spread = 0.0) {
    s.p(2, 2) = x;
    s.p(2, 3) = th;
    s.p(2, 4) = y;
    s.p(2, 5) = ph;
    s.p(2, 6) = spread;
  }
  int add(double code, double len, double p2 = 0.0, double p3 = 0.0) {
    const int row = next++;
    s.p(row, 1) = code;
    s.p(row, 2) = len;
    s.p(row, 3) = p2;
    s.p(row, 4) = p3;
    return row;
  }
  int end() {
    const int row = add(9.0, 0.0);
    s.izend = row;
    return row;
  }
  void walk(int order = 1) { vorne::system_walk(v, order); }
  // The walk's settings on the rig's state, and the particle of row 1 as it stands.
  vorne::WalkSettings settings() const { return vorne::walk_settings(v); }
  vorne::Particle particle() const { return vorne::particle_of(s); }
  // An element routine on row iz with those.
  using Routine = vorne::ElementStatus (*)(vorne::LensSystem&, int, const vorne::Particle&, const vorne::WalkSettings&,
                                           Mat4&);
  vorne::ElementStatus element(Routine routine, int iz, Mat4& a) { return routine(s, iz, particle(), settings(), a); }
  // Reads a hand-written system file of tests/data (title, particle, beam, elements up to
  // the System End) the way the file format defines it.
  void load(const std::string& name) { load_path(qxtest::test_data(name)); }
  void load_path(const std::filesystem::path& name) {
    auto in = qx::FileInput::open(name, 1);
    ASSERT_TRUE(in) << name;
    std::string title;
    ASSERT_EQ(qx::read_record(*in, title, 50), qx::ReadStatus::ok);
    s.title = title;
    ASSERT_EQ(qx::read_reals(*in, std::span<double>(&s.p(1, 1), 5)), qx::ReadStatus::ok);
    s.p(1, 12) = s.p(1, 4);
    ASSERT_EQ(qx::read_reals(*in, std::span<double>(&s.p(2, 1), 6)), qx::ReadStatus::ok);
    for (next = 3; next <= vorne::kRows; ++next) {
      ASSERT_EQ(qx::read_reals(*in, std::span<double>(&s.p(next, 1), 4)), qx::ReadStatus::ok);
      if (static_cast<int>(s.p(next, 1)) == 9) break;
    }
    s.izend = next++;
    v.refresh_diagnostic();
  }
  std::string take() {
    std::string t = term.text();
    term.clear();
    return t;
  }
};

// Momentum (kg m/s) from kinetic energy (MeV) and mass (amu), relativistic:
// pc = sqrt(T^2 + 2 T mc^2).
inline double momentum(double mev, double amu) {
  const double e = 1.6021892E-19, c = 299792458.0, u = 1.660565416E-27;
  const double mc2 = amu * u * c * c / e / 1.0E6;   // MeV
  return std::sqrt(mev * mev + 2.0 * mev * mc2) * 1.0E6 * e / c;
}

// d(state)/dz for the state (x, x', y, y') at position z.
using Rhs = std::function<Vec4(double, const Vec4&)>;

inline Vec4 axpy(const Vec4& a, double h, const Vec4& b) {
  Vec4 r;
  for (int i = 1; i <= 4; ++i) r(i) = a(i) + h * b(i);
  return r;
}

// The state at z0 + len from the state at z0, in `steps` RK4 steps.
inline Vec4 rk4(const Rhs& f, Vec4 y, double z0, double len, int steps) {
  const double h = len / steps;
  for (int n = 0; n < steps; ++n) {
    const double z = z0 + n * h;
    const Vec4 k1 = f(z, y);
    const Vec4 k2 = f(z + h / 2, axpy(y, h / 2, k1));
    const Vec4 k3 = f(z + h / 2, axpy(y, h / 2, k2));
    const Vec4 k4 = f(z + h, axpy(y, h, k3));
    for (int i = 1; i <= 4; ++i) y(i) += h / 6 * (k1(i) + 2 * k2(i) + 2 * k3(i) + k4(i));
  }
  return y;
}

// The transfer matrix of a map on phase-space vectors, column by column.
inline Mat4 matrix_of(const std::function<Vec4(const Vec4&)>& map) {
  Mat4 m;
  for (int j = 1; j <= 4; ++j) {
    Vec4 e;
    e(j) = 1.0;
    const Vec4 out = map(e);
    for (int i = 1; i <= 4; ++i) m(i, j) = out(i);
  }
  return m;
}

// Integrated matrix of a field region of length len with equations f.
inline Mat4 integrated(const Rhs& f, double len, int steps = 4000) {
  return matrix_of([&](const Vec4& y) { return rk4(f, y, 0.0, len, steps); });
}

// Hard-edge quadrupole x'' = -K x, y'' = +K y.
inline Mat4 integrated_quad(double k, double len) {
  return integrated([k](double, const Vec4& y) {
    Vec4 d;
    d(1) = y(2);
    d(2) = -k * y(1);
    d(3) = y(4);
    d(4) = k * y(3);
    return d;
  }, len);
}

inline Mat4 integrated_drift(double len) {
  return integrated([](double, const Vec4& y) {
    Vec4 d;
    d(1) = y(2);
    d(3) = y(4);
    return d;
  }, len, 1);
}

// Expects a and b to agree entry by entry to `rel` relative to the entry's size, entries
// near zero measured against the natural scale of their position (len^(angle j - angle i)).
inline void expect_matrix_near(const Mat4& a, const Mat4& b, double rel, double len, const std::string& what) {
  auto angle = [](int i) { return i % 2 == 0 ? 1 : 0; };
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) {
      const double scale = std::max(std::fabs(b(i, j)), std::pow(len, angle(j) - angle(i)));
      EXPECT_NEAR(a(i, j), b(i, j), rel * scale) << what << " entry (" << i << "," << j << ")";
    }
}

inline double det(const Mat4& a) {
  // Laplace expansion is plenty for 4x4 test matrices.
  double d = 0.0;
  for (int j = 1; j <= 4; ++j) {
    double minor[3][3];
    for (int r = 2; r <= 4; ++r) {
      int c2 = 0;
      for (int c = 1; c <= 4; ++c)
        if (c != j) minor[r - 2][c2++] = a(r, c);
    }
    const double m = minor[0][0] * (minor[1][1] * minor[2][2] - minor[1][2] * minor[2][1]) -
                     minor[0][1] * (minor[1][0] * minor[2][2] - minor[1][2] * minor[2][0]) +
                     minor[0][2] * (minor[1][0] * minor[2][1] - minor[1][1] * minor[2][0]);
    d += ((j % 2 == 1) ? 1.0 : -1.0) * a(1, j) * m;
  }
  return d;
}

// ---- Expected listings, from the documented layouts --------------------------------------------------
inline std::string g12(double x) { return qx::edit_g(x, 12, 5, 1); }
inline std::string g10(double x) { return qx::edit_g(x, 10, 3, 1); }
inline std::string pair_m(double x, double y) { return g12(x) + " m " + g12(y) + " m "; }   // 2(1P,G12.5,' m ')

// Cardinal elements of one plane of a thick lens (A11, A21, A22, length) with its object u0
// before the centre: principal planes, the image distance from the centre, magnification.
struct PlaneExpect {
  double f, h1, h2, image, mag;
};
inline PlaneExpect plane_expect(double a11, double a21, double a22, double len, double u0) {
  PlaneExpect p;
  p.f = -1 / a21;
  p.h1 = (a22 - 1) / a21;
  p.h2 = (a11 - 1) / a21;
  const double u = u0 - len / 2 + p.h1;
  const double v = 1 / (1 / p.f - 1 / u);
  p.image = len / 2 + v - p.h2;
  p.mag = -v / u;
  return p;
}

// The geometric listing of a magnetic lens row.
inline std::string lens_geom(int iz, const Mat4& a, double len, double ux, double uy, double beta, double amp,
                             double theta) {
  const PlaneExpect x = plane_expect(a(1, 1), a(2, 1), a(2, 2), len, ux);
  const PlaneExpect y = plane_expect(a(3, 3), a(4, 3), a(4, 4), len, uy);
  return " \n"
         " " + qx::edit_i(iz, 2) + "        Magn Quadrupole\n"
         "     Geometric Parameters       X-Plane        Y-Plane\n"
         "             Focal length    " + pair_m(x.f, y.f) + "  beta " + g10(beta) + " /m\n"
         "          Object distance    " + pair_m(ux, uy) + "  AmpTurns " + qx::edit_f(amp, 6, 0) + "\n"
         "           Image distance    " + pair_m(x.image, y.image) + "  theta " + g10(theta) + "\n"
         "            Magnification    " + g12(x.mag) + "   " + g12(y.mag) + "\n"
         "          Demagnification    " + g12(a(2, 2)) + "   " + g12(a(4, 4)) + "\n"
         " Entrance principle plane    " + pair_m(x.h1, y.h1) + "\n"
         "     Exit principle plane    " + pair_m(x.h2, y.h2) + "\n";
}

}  // namespace optics_test
