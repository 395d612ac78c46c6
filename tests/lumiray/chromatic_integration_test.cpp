// The chromatic terms of a coefficient file written by the design program, and the ray map
// that uses them, against direct numerical integration of the paraxial equations of motion
// of the focused doublet at a shifted energy (classic fourth-order Runge-Kutta).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "generate/raymap.h"
#include "io/coef.h"
#include "qx/units.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;

using State = std::array<double, 4>;   // x, x', y, y'

// One row of the system file: a drift or a magnetic quadrupole (field B at the bore radius a).
struct Element {
  int type = 3;
  double len = 0.0, field = 0.0, radius = 0.0;
};

struct Doublet {
  double charge = 0.0, mass = 0.0, mev = 0.0;
  std::vector<Element> elements;
};

// Reads the particle and the element rows of the test system up to its System End.
Doublet read_system(const fs::path& file) {
  std::istringstream in(qxtest::read_file(file));
  std::string line;
  std::getline(in, line);   // title
  auto numbers = [&] {
    std::getline(in, line);
    for (char& c : line)
      if (c == ',') c = ' ';
    std::istringstream row(line);
    std::vector<double> v;
    for (double x; row >> x;) v.push_back(x);
    return v;
  };
  Doublet d;
  const std::vector<double> particle = numbers();
  d.charge = particle[1];
  d.mass = particle[2];
  d.mev = particle[3];
  numbers();   // beam
  for (std::vector<double> row = numbers(); static_cast<int>(row[0]) != 9; row = numbers())
    d.elements.push_back({static_cast<int>(row[0]), row[1], row[2], row[3]});
  return d;
}

// Momentum (kg m/s) of kinetic energy T (MeV), relativistic: pc = sqrt(T^2 + 2 T mc^2).
double momentum(double mev, double amu) {
  const double e = 1.6021892E-19, c = 299792458.0, u = 1.660565416E-27;
  const double mc2 = amu * u * c * c / e / 1.0E6;
  return std::sqrt(mev * mev + 2.0 * mev * mc2) * 1.0E6 * e / c;
}

// The ray at the end of the system for a particle of kinetic energy mev: in a quadrupole
// x'' = -K x, y'' = +K y with K = q e (B/a) / p; in a drift the slopes stay.
State integrate(const Doublet& d, double mev, State s) {
  const double e = 1.6021892E-19;
  const double p = momentum(mev, d.mass);
  for (const Element& el : d.elements) {
    const double k = el.type == 4 ? d.charge * e * (el.field / el.radius) / p : 0.0;
    const int steps = el.type == 4 ? 4000 : 1;
    const double h = el.len / steps;
    auto f = [k](const State& y) { return State{y[1], -k * y[0], y[3], k * y[2]}; };
    auto step = [](const State& y, double t, const State& dy) {
      return State{y[0] + t * dy[0], y[1] + t * dy[1], y[2] + t * dy[2], y[3] + t * dy[3]};
    };
    for (int n = 0; n < steps; ++n) {
      const State k1 = f(s), k2 = f(step(s, h / 2, k1)), k3 = f(step(s, h / 2, k2)), k4 = f(step(s, h, k3));
      for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] += h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
    }
  }
  return s;
}

class ChromaticIntegration : public ::testing::Test {
 protected:
  ChromaticIntegration() {
    fs::copy_file(qxtest::test_data("doublet_focused.vrn"), dir / "doublet.vrn");
    const auto r = qxtest::run_program(qxtest::vorne_exe(), "DATA doublet\nCOFOUT d.cof\nc\nEXIT\n", dir.path());
    auto file = qx::FileInput::open(dir / "d.cof", 3);
    EXPECT_TRUE(file) << r.out;
    if (file && lumiray::read_coefficients(*file, coef)) coef.loaded = true;
    EXPECT_TRUE(coef.loaded) << r.out;
    system = read_system(dir / "doublet.vrn");
  }
  qxtest::TempDir dir;
  lumiray::CoefficientSet coef;
  Doublet system;
};

// Each term is x(delta) - x(0) of its ray (1/dE or an angle 1/dE) with dE = delta = 0.5 %:
// the change per percent of energy, (x(delta) - x(0))/delta for a unit ray.
TEST_F(ChromaticIntegration, CoefficientFileHoldsTheChangePerPercentOfEnergy) {
  const double de = 0.5, t = system.mev;
  const State position{1.0 / de, 0.0, 1.0 / de, 0.0}, angle{0.0, 1.0 / de, 0.0, 1.0 / de};
  const State p0 = integrate(system, t, position), p1 = integrate(system, t * (1.0 + de / 100.0), position);
  const State a0 = integrate(system, t, angle), a1 = integrate(system, t * (1.0 + de / 100.0), angle);
  EXPECT_NEAR(coef.chromatic(3), p1[0] - p0[0], 1e-4);   // record 21: X/X%DE, Y/Y%DE
  EXPECT_NEAR(coef.chromatic(4), p1[2] - p0[2], 1e-4);
  EXPECT_NEAR(coef.chromatic(1), a1[0] - a0[0], 1e-4);   // record 20: X/Th%DE, Y/Ph%DE
  EXPECT_NEAR(coef.chromatic(2), a1[2] - a0[2], 1e-4);
  // The nominal ray's own end position is no part of the term (it was counted twice).
  EXPECT_GT(std::fabs(p0[0]), 100.0 * 1e-4);
}

// The ray of the first trial: x0 = -5 um, delta = +0.64 %, through the whole map.
TEST_F(ChromaticIntegration, RayMapAgreesWithTheIntegratedRay) {
  const double delta = 0.64;
  const State traced = integrate(system, system.mev * (1.0 + delta / 100.0), State{-5.0e-6, 0.0, 0.0, 0.0});
  const lumiray::Ray mapped = lumiray::raymap(coef, lumiray::Ray{-5.0e-6, 0.0, 0.0, 0.0, delta});
  EXPECT_NEAR(mapped.x, traced[0], 0.01 * std::fabs(traced[0]));
  // And a y ray alike.
  const State traced_y = integrate(system, system.mev * (1.0 + delta / 100.0), State{0.0, 0.0, -5.0e-6, 0.0});
  const lumiray::Ray mapped_y = lumiray::raymap(coef, lumiray::Ray{0.0, 0.0, -5.0e-6, 0.0, delta});
  EXPECT_NEAR(mapped_y.y, traced_y[2], 0.01 * std::fabs(traced_y[2]));
}

}  // namespace
