// The integrated third-order map: the embedded Runge-Kutta integration of the equations of
// motion through the plan of one fringe length (map_plan.h lays the system out along z), and
// the extrapolation to the hard-edge limit.
// Maps (power series) and single rays run through the same code.
#include "optics/integrated_map.h"

#include <algorithm>
#include <cmath>

#include "elements/elements.h"
#include "optics/map_plan.h"
#include "optics/third_order.h"

namespace vorne {

namespace {

using qx::Tps;
using namespace map_plan;

// When the hard-edge limit is extrapolated (to check the end terms), the fringe lengths are
// this fraction of the shortest lens and twice and four times it: short enough that the
// terms in lambda^3 fall below the printed digits, long enough to integrate cheaply.
constexpr double kHardEdgeFraction = 0.003;
constexpr long kMaxSteps = 5000000;         // per fringe length, all regions together
constexpr double kMinStepFraction = 1e-13;  // of a region: below this the control has failed
constexpr double kGroupFloor = 1e-3;       // see error_ratio
constexpr double kEdgeZone = 4.0;           // fringe lengths about an edge with their own piece

// ---- Arithmetic shared by rays and maps -------------------------------------------------------

template <class T>
using State = std::array<T, 4>;   // x, x', y, y'

double root(double x) { return std::sqrt(x); }
Tps root(const Tps& x) { return qx::sqrt(x); }

template <class T>
void axpy(State<T>& y, double h, const State<T>& k) {
  for (std::size_t i = 0; i < 4; ++i) y[i] += k[i] * h;
}

// Running scale of the solution for the error test: per component for a ray; per
// component, order and delta power for a map, so that every order is held to the same
// relative accuracy whatever its units.
struct Scale {
  std::array<double, 32> v{};
};

int group(std::size_t i, int k) {
  return static_cast<int>(i) * 8 + Tps::order(k) * 2 + Tps::exponents(k)[Tps::delta];
}

void update_scale(Scale& s, const State<double>& y) {
  for (std::size_t i = 0; i < 4; ++i) s.v[i] = std::max(s.v[i], std::fabs(y[i]));
}
void update_scale(Scale& s, const State<Tps>& y) {
  for (std::size_t i = 0; i < 4; ++i)
    for (int k = 0; k < Tps::kSize; ++k) {
      double& g = s.v[static_cast<std::size_t>(group(i, k))];
      g = std::max(g, std::fabs(y[i][k]));
    }
}

double error_ratio(const Scale& s, const State<double>& e, double tol) {
  double r = 0.0;
  // As for a map (below): a coordinate that starts at zero is held against the other plane's.
  const double floor[2] = {kGroupFloor * std::max(s.v[0], s.v[2]), kGroupFloor * std::max(s.v[1], s.v[3])};
  for (std::size_t i = 0; i < 4; ++i) {
    const double sc = tol * std::max(s.v[i], floor[i % 2]);
    if (sc > 0.0) r = std::max(r, std::fabs(e[i]) / sc);
  }
  return r;
}
double error_ratio(const Scale& s, const State<Tps>& e, double tol) {
  double r = 0.0;
  for (std::size_t i = 0; i < 4; ++i) {
    // A group is held relative to its own size, but never below a small part of the
    // component's first order: the far tails of a fringe create terms of 1E-40 whose
    // relative accuracy is of no account, and would otherwise take steps of 1E-16.
    const double floor = kGroupFloor * s.v[static_cast<std::size_t>(group(i, 1))];
    for (int k = 0; k < Tps::kSize; ++k) {
      const double sc = tol * std::max(floor, s.v[static_cast<std::size_t>(group(i, k))]);
      if (sc > 0.0) r = std::max(r, std::fabs(e[i][k]) / sc);
    }
  }
  return r;
}

bool finite_state(const State<double>& y) {
  for (const double x : y)
    if (!std::isfinite(x)) return false;
  return true;
}
bool finite_state(const State<Tps>& y) {
  for (const Tps& t : y)
    for (int k = 0; k < Tps::kSize; ++k)
      if (!std::isfinite(t[k])) return false;
  return true;
}

// Carries a state (a ray, or the map as series) through the plan.
template <class T>
class Carrier {
 public:
  Carrier(const Layout& lay, double lambda, const MapSettings& settings, const std::vector<T>& kappa, const T& delta)
      : lay_(lay), lambda_(lambda), tol_(settings.tolerance), end_terms_(settings.end_terms), kappa_(kappa),
        delta_(delta) {}

  MapStatus run(const std::vector<Op>& ops, State<T>& y) {
    for (const Op& op : ops) {
      switch (op.kind) {
        case Op::Kind::drift:
          y[0] += y[1] * (op.b - op.a);
          y[2] += y[3] * (op.b - op.a);
          break;
        case Op::Kind::formula:
          formula(lay_.blocks[static_cast<std::size_t>(op.block)], y);
          break;
        case Op::Kind::region: {
          const MapStatus st = region(op, y);
          if (st != MapStatus::ok) return st;
          break;
        }
      }
      if (!finite_state(y)) return MapStatus::not_finite;
    }
    return MapStatus::ok;
  }

  long steps() const { return steps_; }
  int failed_row() const { return failed_row_; }

 private:
  // The row's closed-formula aberrations as a shift of its object point, then its matrix.
  void formula(const FormulaBlock& b, State<T>& y) const {
    if (b.aberrations) {
      const T x = y[0] - y[1] * b.ux;   // position in the lens's x object plane
      const T t = y[1];
      const T yo = y[2] - y[3] * b.uy;
      const T p = y[3];
      // Plane 1 and plane 2 (x with y and theta with phi exchanged) share one formula.
      auto shift = [&b](int plane, const T& u, const T& a, const T& w, const T& c) {
        const T aa = a * a;
        const T cc = c * c;
        const T uu = u * u;
        const T ww = w * w;
        return a * aa * b.c(plane, 1) + a * cc * b.c(plane, 2) + aa * u * b.c(plane, 3) + cc * u * b.c(plane, 4) +
               a * c * w * b.c(plane, 5) + a * uu * b.c(plane, 6) + a * ww * b.c(plane, 7) + u * c * w * b.c(plane, 8) +
               u * uu * b.c(plane, 9) + u * ww * b.c(plane, 10);
      };
      y[0] += shift(1, x, t, yo, p);
      y[2] += shift(2, yo, p, x, t);
    }
    State<T> r;
    for (std::size_t i = 0; i < 4; ++i) {
      const int row = static_cast<int>(i) + 1;
      r[i] = y[0] * b.m(row, 1) + y[1] * b.m(row, 2) + y[2] * b.m(row, 3) + y[3] * b.m(row, 4);
      r[i] += (y[0] * b.dm(row, 1) + y[1] * b.dm(row, 2) + y[2] * b.dm(row, 3) + y[3] * b.dm(row, 4)) * delta_;
    }
    y = r;
  }

  // The derivative of the state at z with the sources `members` (at the hard-edge limit,
  // the sources whose body contains z).
  void rhs(const std::vector<int>& members, double z, const State<T>& s, State<T>& d) const {
    T bx(0.0);
    T by(0.0);
    T bz(0.0);
    const double reach = kFringeReach * lambda_;
    static constexpr Profile kBody{1.0, 0.0, 0.0, 0.0};
    for (const int i : members) {
      const FieldSource& f = lay_.sources[static_cast<std::size_t>(i)];
      if (lambda_ == 0.0) {
        add_curvature(f, kBody, s[0], s[2], kappa_[static_cast<std::size_t>(i)], bx, by, bz);
        continue;
      }
      if (z < f.z1 - reach || z > f.z2 + reach) continue;
      add_curvature(f, end_profile(z, f.z1, f.z2, lambda_), s[0], s[2], kappa_[static_cast<std::size_t>(i)], bx, by,
                    bz);
    }
    const T& xp = s[1];
    const T& yp = s[3];
    const T xp2 = xp * xp;
    const T yp2 = yp * yp;
    const T xpyp = xp * yp;
    const T n = root(xp2 + yp2 + 1.0);
    d[0] = xp;
    d[2] = yp;
    d[1] = n * (xpyp * bx - (xp2 + 1.0) * by + yp * bz);
    d[3] = n * ((yp2 + 1.0) * bx - xpyp * by - xp * bz);
  }

  // What is left of a quadrupole's end as its fringe length goes to zero, entering with
  // sign +1 and leaving with -1: the terms of G'' and G' in the field integrate to
  // x += K (x^3 + 3 x y^2)/12,  x' += -K (x^2 + y^2) x'/4 + K x y y'/2, and in y the same with
  // x and y exchanged and K negated (K = kappa G, in the lens's own frame).
  void quad_end(const FieldSource& f, const T& kappa, double sign, State<T>& y) const {
    const bool turned = f.tilt != 0.0;
    const double c = turned ? std::cos(f.tilt) : 1.0;
    const double sn = turned ? std::sin(f.tilt) : 0.0;
    const T x = turned ? y[0] * c + y[2] * sn : y[0];
    const T xp = turned ? y[1] * c + y[3] * sn : y[1];
    const T v = turned ? y[2] * c - y[0] * sn : y[2];
    const T vp = turned ? y[3] * c - y[1] * sn : y[3];
    const T k = kappa * (sign * f.strength);
    const T xx = x * x;
    const T vv = v * v;
    const T rr = xx + vv;
    const T xv = x * v;
    T dx = (xx + vv * 3.0) * x * k * (1.0 / 12.0);
    T dv = (vv + xx * 3.0) * v * k * (-1.0 / 12.0);
    T dxp = (rr * xp * (-0.25) + xv * vp * 0.5) * k;
    T dvp = (rr * vp * 0.25 - xv * xp * 0.5) * k;
    if (turned) {
      const T lx = dx * c - dv * sn;
      dv = dx * sn + dv * c;
      dx = lx;
      const T lxp = dxp * c - dvp * sn;
      dvp = dxp * sn + dvp * c;
      dxp = lxp;
    }
    y[0] += dx;
    y[1] += dxp;
    y[2] += dv;
    y[3] += dvp;
  }

  // Breakpoints of a region: the ends and the zones about every edge, where the field
  // changes fastest; each piece starts with a step that resolves the fringe.
  std::vector<double> breakpoints(const Op& op) const {
    std::vector<double> z = {op.a, op.b};
    const double reach = kFringeReach * lambda_;
    for (const int i : op.members) {
      const FieldSource& f = lay_.sources[static_cast<std::size_t>(i)];
      for (const double e : {f.z1, f.z2})
        for (const double d : {-reach, -kEdgeZone * lambda_, 0.0, kEdgeZone * lambda_, reach})
          if (e + d > op.a && e + d < op.b) z.push_back(e + d);
    }
    std::sort(z.begin(), z.end());
    z.erase(std::unique(z.begin(), z.end()), z.end());
    return z;
  }

  MapStatus region(const Op& op, State<T>& y) {
    if (lambda_ == 0.0) return hard_edge_region(op, y);
    const std::vector<double> z = breakpoints(op);
    Scale scale;
    update_scale(scale, y);
    for (std::size_t k = 0; k + 1 < z.size(); ++k) {
      const MapStatus st = piece(op.members, z[k], z[k + 1], scale, y);
      if (st != MapStatus::ok) return fail(op, st);
    }
    return MapStatus::ok;
  }

  // Hard-edge limit: constant fields between the edges, the quadrupoles' end terms at them.
  MapStatus hard_edge_region(const Op& op, State<T>& y) {
    std::vector<double> z = {op.a, op.b};
    for (const int i : op.members) {
      const FieldSource& f = lay_.sources[static_cast<std::size_t>(i)];
      z.push_back(f.z1);
      z.push_back(f.z2);
    }
    std::sort(z.begin(), z.end());
    z.erase(std::unique(z.begin(), z.end()), z.end());
    Scale scale;
    update_scale(scale, y);
    std::vector<int> inside;
    for (std::size_t k = 0; k < z.size(); ++k) {
      for (const int i : op.members) {
        const FieldSource& f = lay_.sources[static_cast<std::size_t>(i)];
        if (f.kind != FieldKind::quadrupole || !end_terms_) continue;
        const T& kappa = kappa_[static_cast<std::size_t>(i)];
        if (f.z1 == z[k]) quad_end(f, kappa, 1.0, y);
        if (f.z2 == z[k]) quad_end(f, kappa, -1.0, y);
      }
      if (k + 1 == z.size()) break;
      const double mid = 0.5 * (z[k] + z[k + 1]);
      inside.clear();
      for (const int i : op.members) {
        const FieldSource& f = lay_.sources[static_cast<std::size_t>(i)];
        if (f.z1 <= mid && mid < f.z2) inside.push_back(i);
      }
      MapStatus st = MapStatus::ok;
      if (inside.empty()) {
        y[0] += y[1] * (z[k + 1] - z[k]);
        y[2] += y[3] * (z[k + 1] - z[k]);
      } else {
        st = piece(inside, z[k], z[k + 1], scale, y);
      }
      if (st != MapStatus::ok) return fail(op, st);
    }
    return MapStatus::ok;
  }

  MapStatus fail(const Op& op, MapStatus st) {
    failed_row_ = lay_.sources[static_cast<std::size_t>(op.members.front())].row;
    return st;
  }

  // Dormand-Prince 5(4) with local extrapolation from za to zb; the last stage of a step is
  // the first of the next.
  MapStatus piece(const std::vector<int>& members, double za, double zb, Scale& scale, State<T>& y) {
    static constexpr double kC[7] = {0.0, 1.0 / 5, 3.0 / 10, 4.0 / 5, 8.0 / 9, 1.0, 1.0};
    static constexpr double kA[6][5] = {{},
                                        {1.0 / 5},
                                        {3.0 / 40, 9.0 / 40},
                                        {44.0 / 45, -56.0 / 15, 32.0 / 9},
                                        {19372.0 / 6561, -25360.0 / 2187, 64448.0 / 6561, -212.0 / 729},
                                        {9017.0 / 3168, -355.0 / 33, 46732.0 / 5247, 49.0 / 176, -5103.0 / 18656}};
    static constexpr double kB[6] = {35.0 / 384, 0.0, 500.0 / 1113, 125.0 / 192, -2187.0 / 6784, 11.0 / 84};
    // Fifth- minus fourth-order weights: the local error estimate.
    static constexpr double kE[7] = {71.0 / 57600,  0.0,         -71.0 / 16695, 71.0 / 1920,
                                     -17253.0 / 339200, 22.0 / 525, -1.0 / 40};
    const double span = zb - za;
    double h = lambda_ > 0.0 ? std::min(span, 0.5 * lambda_) : span;
    if (last_h_ > 0.0) h = std::min(h, last_h_);
    double z = za;
    std::array<State<T>, 7> k;
    State<T> t;
    State<T> yn;
    rhs(members, z, y, k[0]);
    while (z < zb) {
      if (++steps_ > kMaxSteps) return MapStatus::step_failure;
      const bool last = z + h >= zb;
      if (last) h = zb - z;
      for (std::size_t st = 1; st < 6; ++st) {
        t = y;
        for (std::size_t j = 0; j < st; ++j) axpy(t, h * kA[st][j], k[j]);
        rhs(members, z + kC[st] * h, t, k[st]);
      }
      yn = y;
      for (std::size_t j = 0; j < 6; ++j)
        if (kB[j] != 0.0) axpy(yn, h * kB[j], k[j]);
      rhs(members, z + h, yn, k[6]);
      State<T> err{};
      for (std::size_t j = 0; j < 7; ++j)
        if (kE[j] != 0.0) axpy(err, h * kE[j], k[j]);
      Scale trial = scale;
      update_scale(trial, yn);
      const double ratio = error_ratio(trial, err, tol_);
      if (!std::isfinite(ratio)) return MapStatus::not_finite;
      const double grow = ratio == 0.0 ? 5.0 : std::clamp(0.9 * std::pow(ratio, -0.2), 0.2, 5.0);
      if (ratio <= 1.0) {
        z = last ? zb : z + h;
        y = yn;
        k[0] = k[6];
        scale = trial;
        if (!last) last_h_ = h;
        h *= grow;
      } else {
        h *= grow;
        if (h < kMinStepFraction * span) return MapStatus::step_failure;
      }
    }
    return MapStatus::ok;
  }

  const Layout& lay_;
  double lambda_;
  double tol_;
  bool end_terms_;
  const std::vector<T>& kappa_;
  T delta_;   // the energy error (percent): a variable of a map, a value for a ray
  long steps_ = 0;
  double last_h_ = 0.0;
  int failed_row_ = 0;
};

// kappa of every source for a map (a series in delta) or for a ray of energy error delta.
std::vector<Tps> kappas(const Layout& lay, const Tps&) {
  std::vector<Tps> k;
  for (const FieldSource& f : lay.sources) k.push_back(Tps(f.kappa) + Tps::variable(Tps::delta) * (f.kappa * f.eta));
  return k;
}
std::vector<double> kappas(const Layout& lay, double delta) {
  std::vector<double> k;
  for (const FieldSource& f : lay.sources) k.push_back(f.kappa * (1.0 + f.eta * delta));
  return k;
}

Tps energy_error(const Tps&) { return Tps::variable(Tps::delta); }
double energy_error(double delta) { return delta; }

// Fringe lengths to run and the weights that combine their results: one length as given,
// or three short ones extrapolated to the hard-edge limit.
struct Runs {
  std::array<double, 3> lambda{};
  std::array<double, 3> weight{};
  int count = 1;
};

Runs runs_for(const Layout& lay, const MapSettings& settings) {
  Runs r;
  r.weight[0] = 1.0;
  if (settings.fringe > 0.0) {
    r.lambda[0] = settings.fringe;
    return r;
  }
  if (lay.sources.empty() || !settings.extrapolate) return r;
  double shortest = INFINITY;
  for (const FieldSource& f : lay.sources) shortest = std::min(shortest, f.z2 - f.z1);
  const double h = kHardEdgeFraction * shortest;
  // M(0) = (8 M(h) - 6 M(2h) + M(4h)) / 3 removes the terms in h and h^2.
  r.lambda = {h, 2.0 * h, 4.0 * h};
  r.weight = {8.0 / 3.0, -2.0, 1.0 / 3.0};
  r.count = 3;
  return r;
}

template <class T, class D>
MapStatus carry(const Layout& lay, const MapSettings& settings, const State<T>& start, const D& delta,
                State<T>& result, long& steps, int& row) {
  const Runs runs = runs_for(lay, settings);
  const std::vector<T> k = kappas(lay, delta);
  for (std::size_t i = 0; i < 4; ++i) result[i] = T(0.0);
  for (int n = 0; n < runs.count; ++n) {
    const std::size_t sn = static_cast<std::size_t>(n);
    Carrier<T> c(lay, runs.lambda[sn], settings, k, energy_error(delta));
    State<T> y = start;
    const MapStatus st = c.run(plan_of(lay, runs.lambda[sn]), y);
    steps += c.steps();
    if (st != MapStatus::ok) {
      row = c.failed_row();
      return st;
    }
    for (std::size_t i = 0; i < 4; ++i) result[i] += y[i] * runs.weight[sn];
  }
  return finite_state(result) ? MapStatus::ok : MapStatus::not_finite;
}

bool fringe_ok(double fringe) { return std::isfinite(fringe) && fringe >= 0.0 && fringe <= kMaxFringe; }

}  // namespace

MapOutcome integrated_map(const LensSystem& s, const ElementMatrices& a, const MapSettings& settings,
                          const ElementMatrices* per_percent) {
  MapOutcome out;
  if (!fringe_ok(settings.fringe)) {
    out.status = MapStatus::bad_fringe;
    return out;
  }
  const Layout lay = layout_of(s, a, settings, per_percent);
  out.formula_rows = lay.formula_rows;
  out.zero_length_rows = lay.zero_length_rows;
  out.no_limit_rows = lay.no_limit_rows;
  out.long_fringe_rows = lay.long_fringe_rows;
  if (lay.status != MapStatus::ok) {
    out.status = lay.status;
    out.row = lay.row;
    return out;
  }
  const State<Tps> start = {Tps::variable(Tps::x), Tps::variable(Tps::theta), Tps::variable(Tps::y),
                            Tps::variable(Tps::phi)};
  State<Tps> m;
  out.status = carry(lay, settings, start, Tps(), m, out.steps, out.row);
  if (out.status == MapStatus::ok) out.map = m;
  return out;
}

RayOutcome trace_ray(const LensSystem& s, const ElementMatrices& a, const MapSettings& settings, const Vec4& start,
                     double delta, const ElementMatrices* per_percent) {
  RayOutcome out;
  if (!fringe_ok(settings.fringe)) {
    out.status = MapStatus::bad_fringe;
    return out;
  }
  const Layout lay = layout_of(s, a, settings, per_percent);
  if (lay.status != MapStatus::ok) {
    out.status = lay.status;
    out.row = lay.row;
    return out;
  }
  State<double> y = {start(1), start(2), start(3), start(4)};
  State<double> r{};
  long steps = 0;
  out.status = carry(lay, settings, y, delta, r, steps, out.row);
  for (int i = 1; i <= 4; ++i) out.ray(i) = r[static_cast<std::size_t>(i - 1)];
  return out;
}

double map_coefficient(const PhaseMap& m, int i, const Tps::Exponents& e) {
  return m[static_cast<std::size_t>(i - 1)].coefficient(e);
}

Tps::Exponents aberration_monomial(int plane, int j) {
  // Plane 1: theta^3, theta phi^2, theta^2 x, phi^2 x, theta phi y, theta x^2, theta y^2,
  // x phi y, x^3, x y^2 as exponents of (x, theta, y, phi).
  static constexpr int kPlane1[10][4] = {{0, 3, 0, 0}, {0, 1, 0, 2}, {1, 2, 0, 0}, {1, 0, 0, 2}, {0, 1, 1, 1},
                                         {2, 1, 0, 0}, {0, 1, 2, 0}, {1, 0, 1, 1}, {3, 0, 0, 0}, {1, 0, 2, 0}};
  const int* e = kPlane1[j - 1];
  if (plane == 1) return {e[0], e[1], e[2], e[3], 0};
  return {e[2], e[3], e[0], e[1], 0};
}

std::array<double, 10> third_order_coefficients(const PhaseMap& m, int plane) {
  std::array<double, 10> c{};
  for (int j = 1; j <= 10; ++j)
    c[static_cast<std::size_t>(j - 1)] = map_coefficient(m, plane == 1 ? 1 : 3, aberration_monomial(plane, j));
  return c;
}

}  // namespace vorne
