#include "optics/map_plan.h"

#include <algorithm>
#include <cmath>

#include "elements/elements.h"

namespace vorne::map_plan {

namespace {

bool multipole_kind(int type) { return type == kQuadrupole || type == kSextupole || type == kOctupole; }

// True when the lens at row iz (not a supra row) and every lens superimposed on it are
// magnetic lenses of the integrated kinds.
bool integrated_lens(const LensSystem& s, int iz) {
  const TypeCode t = s.type_at(iz);
  if (t.polarity != 1 || !(multipole_kind(t.type) || t.type == kSolenoid)) return false;
  for (int r = iz + 1; r <= kRows && s.type_at(r).supra == 1; ++r) {
    const TypeCode u = s.type_at(r);
    if (u.polarity != 1 || !multipole_kind(u.type)) return false;
  }
  return true;
}

// Adds the field sources of the integrated lens at row iz (entrance z0) and of the lenses
// superimposed on it, each centred on the host. False (with the status set) on bad input.
bool add_sources(const LensSystem& s, int iz, double z0, double fringe, Layout& out) {
  const double len = s.p(iz, 2);
  const double centre = z0 + 0.5 * len;
  const double energy = energy_at(s, iz);
  const double p = particle_momentum(energy, s.p(1, 3));
  const double tilt = std::fabs(s.rotation(iz)) > kTiltThreshold ? s.rotation(iz) : 0.0;
  for (int r = iz; r <= kRows && (r == iz || s.type_at(r).supra == 1); ++r) {
    const TypeCode t = s.type_at(r);
    const double field = s.p(r, 3);
    const double own = s.p(r, 2);
    const double bore = s.p(r, 4);
    if (!std::isfinite(own) || own < 0.0 || !std::isfinite(field)) {
      out.status = MapStatus::bad_length;
      out.row = r;
      return false;
    }
    if (field == 0.0) continue;
    if (own == 0.0) {
      out.zero_length_rows.push_back(r);
      continue;
    }
    if (!(std::isfinite(p) && p > 0.0)) {
      out.status = MapStatus::no_energy;
      out.row = r;
      return false;
    }
    FieldSource f;
    f.row = r;
    f.z1 = centre - 0.5 * own;
    f.z2 = centre + 0.5 * own;
    f.tilt = tilt;
    f.kappa = std::fabs(s.p(1, 2)) * kElementaryCharge / p;
    // kappa ~ 1/p; p^2 c^2 = T^2 + 2 T m c^2 and a percent of the energy as loaded is
    // T0/100 at every lens.
    const double t_ev = energy * kElectronVoltsPerMeV;
    const double rest_ev = s.p(1, 3) * kAtomicMassUnit * kSpeedOfLight * kSpeedOfLight / kElementaryCharge;
    f.eta = -(t_ev + rest_ev) / (t_ev * (t_ev + 2.0 * rest_ev)) * (s.p(1, 12) * kElectronVoltsPerMeV / 100.0);
    if (t.type == kSolenoid) {
      f.kind = FieldKind::solenoid;
      f.strength = field;
    } else {
      if (!(bore > 0.0) || !std::isfinite(bore)) {
        out.status = MapStatus::zero_bore;
        out.row = r;
        return false;
      }
      f.kind = t.type == kQuadrupole ? FieldKind::quadrupole
               : t.type == kSextupole ? FieldKind::sextupole
                                      : FieldKind::octupole;
      const int power = t.type == kQuadrupole ? 1 : t.type == kSextupole ? 2 : 3;
      f.strength = field / std::pow(bore, power);
    }
    if (own < kShortLens * fringe) out.long_fringe_rows.push_back(r);
    out.sources.push_back(f);
    out.segment.push_back(static_cast<int>(out.blocks.size()));
  }
  return true;
}

// Drifts and field regions over [a, b] for the sources of one segment.
void plan_segment(const Layout& lay, int segment, double a, double b, double lambda, std::vector<Op>& ops) {
  struct Range {
    double a, b;
    int source;
  };
  std::vector<Range> ranges;
  const double reach = kFringeReach * lambda;
  for (std::size_t i = 0; i < lay.sources.size(); ++i) {
    if (lay.segment[i] != segment) continue;
    const FieldSource& f = lay.sources[i];
    const double lo = std::max(a, f.z1 - reach);
    const double hi = std::min(b, f.z2 + reach);
    if (hi > lo) ranges.push_back({lo, hi, static_cast<int>(i)});
  }
  std::sort(ranges.begin(), ranges.end(), [](const Range& x, const Range& y) { return x.a < y.a; });
  double cursor = a;
  for (std::size_t i = 0; i < ranges.size();) {
    Op region;
    region.kind = Op::Kind::region;
    region.a = ranges[i].a;
    region.b = ranges[i].b;
    for (; i < ranges.size() && ranges[i].a <= region.b; ++i) {
      region.b = std::max(region.b, ranges[i].b);
      region.members.push_back(ranges[i].source);
    }
    if (region.a > cursor) ops.push_back({Op::Kind::drift, cursor, region.a, 0, {}});
    cursor = region.b;
    ops.push_back(std::move(region));
  }
  if (b > cursor) ops.push_back({Op::Kind::drift, cursor, b, 0, {}});
}

}  // namespace

Layout layout_of(const LensSystem& s, const ElementMatrices& a, const MapSettings& settings,
                 const ElementMatrices* per_percent) {
  const bool hard_edge = settings.fringe == 0.0 && !settings.extrapolate;
  Layout out;
  const int end = find_system_end(s);
  if (end == 0) {
    out.status = MapStatus::no_system;
    return out;
  }
  double z = 0.0;
  for (int iz = kFirstElementRow; iz < end; ++iz) {
    const TypeCode t = s.type_at(iz);
    if (t.supra == 1) continue;   // part of the lens before it
    // As in the walk: drifts and lenses take their length; other rows (collimators) none.
    if (t.type != kDrift && t.polarity == 0) continue;
    const double len = s.p(iz, 2);
    if (!std::isfinite(len) || len < 0.0) {
      out.status = MapStatus::bad_length;
      out.row = iz;
      return out;
    }
    if (t.type == kDrift) {
      z += len;
      continue;
    }
    // A solenoid's third-order terms grow as 1/lambda (the B'^2 term of a round lens's
    // aberration), so it has no hard-edge limit: there it keeps its closed formula.
    const bool no_limit = hard_edge && t.type == kSolenoid;
    if (no_limit && integrated_lens(s, iz)) out.no_limit_rows.push_back(iz);
    if (integrated_lens(s, iz) && !no_limit) {
      if (!add_sources(s, iz, z, settings.fringe, out)) return out;
    } else {
      FormulaBlock b;
      b.a = z;
      b.b = z + len;
      b.row = iz;
      b.m = a[static_cast<std::size_t>(iz)];
      if (per_percent != nullptr) b.dm = (*per_percent)[static_cast<std::size_t>(iz)];
      b.c = lens_third_order(s, iz, settings.idiag);
      for (const double x : b.c.c) b.aberrations = b.aberrations || x != 0.0;
      const ObjectDistances u = object_distances(s, iz);
      b.ux = u.ux - 0.5 * len;
      b.uy = u.uy - 0.5 * len;
      out.blocks.push_back(b);
      out.formula_rows.push_back(iz);
    }
    z += len;
  }
  out.total = z;
  return out;
}

std::vector<Op> plan_of(const Layout& lay, double lambda) {
  std::vector<Op> ops;
  double a = 0.0;
  for (std::size_t k = 0; k <= lay.blocks.size(); ++k) {
    const double b = k < lay.blocks.size() ? lay.blocks[k].a : lay.total;
    plan_segment(lay, static_cast<int>(k), a, b, lambda, ops);
    if (k == lay.blocks.size()) break;
    ops.push_back({Op::Kind::formula, lay.blocks[k].a, lay.blocks[k].b, static_cast<int>(k), {}});
    a = lay.blocks[k].b;
  }
  return ops;
}

}  // namespace vorne::map_plan
