// The system the design program's benchmarks run on.
#pragma once

#include <memory>

#include "qx/units.h"
#include "session/state.h"

namespace bench {

// A probe-forming system of 20 elements: object drift and collimator, a quadruplet with a
// supra octupole on each lens, a separate octupole, a sextupole, a solenoid and image drift.
struct BenchSystem {
  qx::StringOutput term;
  vorne::Vorne v{term, std::make_unique<qx::StringInput>("")};

  BenchSystem() {
    vorne::LensSystem& s = v.sys;
    const double particle[] = {0.0, 1.0, 1.00728, 3.0, -1.0};
    const double beam[] = {1.0, 5e-6, 2e-4, 5e-6, 2e-4, 0.01};
    for (int c = 1; c <= 5; ++c) s.p(1, c) = particle[c - 1];
    s.p(1, 12) = 3.0;
    for (int c = 1; c <= 6; ++c) s.p(2, c) = beam[c - 1];
    const double rows[][4] = {{3.0, 3.5, 0, 0},      {5.0, 0.0, 0.0, 1e-4},   {3.0, 0.5, 0, 0},
                              {4.10, 0.06, 0.0886, 0.006}, {28.0, 0.06, 0.01, 0.006}, {3.0, 0.03, 0, 0},
                              {4.02, 0.06, -0.2311, 0.006}, {28.0, 0.06, -0.01, 0.006}, {3.0, 0.03, 0, 0},
                              {4.20, 0.06, 0.2311, 0.006},  {28.0, 0.06, 0.01, 0.006},  {3.0, 0.03, 0, 0},
                              {4.01, 0.06, -0.0886, 0.006}, {28.0, 0.06, -0.01, 0.006}, {3.0, 0.02, 0, 0},
                              {8.0, 0.05, 0.02, 0.01},      {6.0, 0.05, 0.01, 0.01},    {11.0, 0.05, 0.01, 0.02},
                              {3.0, 0.02, 0, 0},            {3.0, 0.2, 0, 0},           {9.0, 0, 0, 0}};
    int iz = 3;
    for (const auto& r : rows) {
      for (int c = 1; c <= 4; ++c) s.p(iz, c) = r[c - 1];
      ++iz;
    }
    s.izend = iz - 1;
    v.refresh_diagnostic();
  }
};

}  // namespace bench
