// Helpers for the session tests of the result reports: the fields of the documented layouts,
// and an independent model of systems of drifts and magnetic
// quadrupoles (element matrices integrated numerically, cardinal elements from them).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "aberration_reference.h"
#include "optics_rig.h"
#include "session.h"
#include "vorne_session.h"

namespace reports_test {

using optics_test::Mat4;
using optics_test::PlaneExpect;
using optics_test::Rig;
using optics_test::Vec4;
namespace ref = aberration_ref;

constexpr double kE = 1.6021892E-19;

// ---- Fields of the layouts ------------------------------------------------------------------------
inline std::string g13(double v) { return qx::edit_g(v, 13, 5, 1); }   // 1P,G13.5
inline std::string g12(double v) { return qx::edit_g(v, 12, 5, 1); }   // 1P,G12.5
inline std::string g10(double v) { return qx::edit_g(v, 10, 3, 1); }   // 1P,G10.3
inline std::string f13(double v) { return qx::edit_f(v, 13, 5); }      // 0P,F13.5
inline std::string f10(double v) { return qx::edit_f(v, 10, 5); }      // 0P,F10.5
inline std::string i2(int v) { return qx::edit_i(v, 2); }

// ---- Sessions -----------------------------------------------------------------------------------------
// Sessions run through the one runner (vorne_session.h).
using vorne_session::copy_system;
using Transcript = vorne_session::Session;

// A rig with a shipped test system loaded and walked to third order, for the independent
// evaluation of aberration_reference.h (which reads the first-order results of the table).
inline void load_walked(Rig& r, const std::string& name) {
  r.load(name);
  r.walk(3);
}

// Compares two texts line by line, so a failure names the first line that differs.
inline void expect_lines(const std::string& got, const std::string& want, const std::string& what) {
  const std::vector<std::string> g = qxtest::split_lines(got);
  const std::vector<std::string> w = qxtest::split_lines(want);
  for (std::size_t i = 0; i < std::max(g.size(), w.size()); ++i) {
    const std::string gl = i < g.size() ? g[i] : "<missing>";
    const std::string wl = i < w.size() ? w[i] : "<missing>";
    EXPECT_EQ(gl, wl) << what << ", line " << i + 1;
    if (gl != wl) return;
  }
}

// ---- Independent model of drift and magnetic-quadrupole systems ------------------------------------
struct ModelLens {
  int row = 0;
  double z = 0.0;        // centre
  double len = 0.0;
  double k = 0.0;        // signed strength e G / p (1/m^2)
  Mat4 a;                // integrated matrix
  PlaneExpect x{}, y{};  // cardinal elements, object at the image of the lens before
  double ximage = 0.0;   // image positions
  double yimage = 0.0;
};

struct Model {
  Mat4 s = Mat4::identity();
  double total = 0.0;
  double first_entrance = -1.0;
  double last_exit = 0.0;
  std::vector<ModelLens> lenses;
  double mx = 1.0;       // product of the lens magnifications
  double my = 1.0;
};

// The table's rows 3 to the System End taken as drifts (3.xx), magnetic quadrupoles (4.xx)
// and separate octupoles (8.xx, first order only) for a particle of kinetic energy mev.
inline Model quad_model(const vorne::LensSystem& t, double mev) {
  Model m;
  const double p = optics_test::momentum(mev, t.p(1, 3));
  double ximage = 0.0;
  double yimage = 0.0;
  for (int iz = 3; static_cast<int>(t.p(iz, 1) + 1e-6) != 9; ++iz) {
    const int whole = static_cast<int>(t.p(iz, 1) + 1e-6);
    const double len = t.p(iz, 2);
    // A separate octupole images nothing: at first order it is a drift of its length.
    if (whole == 3 || whole == 8) {
      m.s = vorne::product(optics_test::integrated_drift(len), m.s);
      m.total += len;
      continue;
    }
    EXPECT_EQ(whole, 4) << "the model knows drifts, octupoles and magnetic quadrupoles only";
    ModelLens l;
    l.row = iz;
    l.len = len;
    l.z = m.total + len / 2;
    l.k = t.p(1, 2) * kE * (t.p(iz, 3) / t.p(iz, 4)) / p;
    l.a = optics_test::integrated_quad(l.k, len);
    l.x = optics_test::plane_expect(l.a(1, 1), l.a(2, 1), l.a(2, 2), len, l.z - ximage);
    l.y = optics_test::plane_expect(l.a(3, 3), l.a(4, 3), l.a(4, 4), len, l.z - yimage);
    l.ximage = ximage = l.z + l.x.image;
    l.yimage = yimage = l.z + l.y.image;
    if (m.first_entrance < 0) m.first_entrance = m.total;
    m.s = vorne::product(l.a, m.s);
    m.total += len;
    m.last_exit = m.total;
    m.mx *= l.x.mag;
    m.my *= l.y.mag;
    m.lenses.push_back(l);
  }
  return m;
}

inline Vec4 initial_beam(const vorne::LensSystem& t) {
  Vec4 b;
  for (int i = 1; i <= 4; ++i) b(i) = t.p(2, i + 1);
  return b;
}

}  // namespace reports_test
