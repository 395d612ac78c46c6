// Independent expectations for the trace tests: the matrix from the object to a plane z of a
// system of drifts, collimators and magnetic quadrupoles (supra quadrupoles on them included),
// each element integrated numerically over the part of it that lies before z, and a drift
// for whatever lies past the end.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "optics_rig.h"

namespace trace_test {

using optics_test::Mat4;
using optics_test::Vec4;

// Strength K (1/m^2) of the magnetic quadrupole row k: e q B / (a p).
inline double quad_k(const vorne::LensSystem& s, int k) {
  const double e = 1.6021892E-19;
  return e * s.p(1, 2) * s.p(k, 3) / s.p(k, 4) / optics_test::momentum(s.p(1, 4), s.p(1, 3));
}

inline Mat4 cut_matrix(const vorne::LensSystem& s, double z) {
  Mat4 m = Mat4::identity();
  double start = 0.0;
  for (int k = 3; k < s.izend; ++k) {
    const int kind = static_cast<int>(s.p(k, 1));
    if (kind >= 20) continue;   // a supra lens acts with the lens it sits on
    const double len = s.p(k, 2);
    const double part = std::clamp(z - start, 0.0, len);
    if (part > 0.0) {
      if (kind == 4) {
        double k1 = quad_k(s, k);
        for (int j = k + 1; j < s.izend && static_cast<int>(s.p(j, 1)) == 24; ++j) k1 += quad_k(s, j);
        m = vorne::product(optics_test::integrated_quad(k1, part), m);
      } else {
        m = vorne::product(optics_test::integrated_drift(part), m);
      }
    }
    start += len;
  }
  if (z > start) m = vorne::product(optics_test::integrated_drift(z - start), m);
  return m;
}

inline Vec4 beam_of(const vorne::LensSystem& s) {
  Vec4 b;
  for (int i = 1; i <= 4; ++i) b(i) = s.p(2, i + 1);
  return b;
}

// The numbers of a record such as " 3: 3 z: 1.0, 2.0, ..." after its "z:" (comma separated).
inline std::vector<double> numbers_after(const std::string& line, const std::string& mark) {
  std::vector<double> v;
  std::size_t at = line.find(mark);
  if (at == std::string::npos) return v;
  const char* p = line.c_str() + at + mark.size();
  for (;;) {
    char* end = nullptr;
    const double x = std::strtod(p, &end);
    if (end == p) break;
    v.push_back(x);
    p = end;
    while (*p == ' ' || *p == ',') ++p;
  }
  return v;
}

// True when a printed value (five significant digits: within half a unit of the fifth digit)
// stands for the expected one.
inline bool printed_as(double printed, double expected, double floor) {
  return std::fabs(printed - expected) <= 5.0E-5 * std::fabs(expected) + floor;
}

}  // namespace trace_test
