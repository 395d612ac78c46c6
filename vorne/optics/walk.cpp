// STIGMAT and the first-order properties built on it: MAG, FOCAL, ELELAS, the fitting
// objective, the ray transform and the chromatic run.
#include "optics/walk.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "elements/elements.h"
#include "optics/listings.h"
#include "optics/second_order.h"
#include "optics/snapshot.h"
#include "optics/third_order.h"
#include "qx/format.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr int kMaxOrder = 3;
constexpr double kCountedField = static_cast<double>(1.0E-7f);   // |P2| above this counts
constexpr double kMinFocalProduct = 1.0E-10;
constexpr double kInfiniteFocal = static_cast<double>(1.0E10f);
constexpr double kDefaultSpread = 0.001;     // percent, the chromatic run's spread for 0

// Rows whose magnification MAG multiplies: lenses with a field, not octupoles. A collimator
// keeps an offset in P2 but images nothing, so only rows of non-zero polarity count.
bool counts_for_mag(const LensSystem& s, int k) {
  const int c = code_class(s.p(k, 1));
  if (c < 0 || c > kLastLensCode) return false;
  const TypeCode t = s.type_at(k);
  if (t.type == kDrift || t.type == kOctupole) return false;
  return std::fabs(s.p(k, 3)) > kCountedField && t.polarity != 0;
}

// Rows FOCAL counts as lenses: as MAG, without sextupoles.
bool counts_for_focal(const LensSystem& s, int k) {
  return s.type_at(k).type != kSextupole && counts_for_mag(s, k);
}

// m times the magnifications of row k when MAG counts the row, with the warning for a zero one.
void multiply_magnification(const LensSystem& s, int k, const WalkSettings& settings, Magnification& m) {
  static const qx::Format kZero{
      "(1H ,'?MAG - ELEMENT ',I3,' HAS ZERO MAGNIFICATION',/,10X,'XMAG = ',1P,G13.5,'   YMAG = ',1P,G13.5)"};
  if (!counts_for_mag(s, k)) return;
  const double mx = s.p(k, 9);
  const double my = s.p(k, 10);
  m.mx *= mx;
  m.my *= my;
  if (settings.warnings && std::fabs(mx * my) == 0.0) settings.term().write(kZero, k, mx, my);
}

Vec4 initial_beam(const LensSystem& s) {
  Vec4 b;
  for (int i = 1; i <= 4; ++i) b(i) = s.p(2, i + 1);
  return b;
}

// One walk in progress: the table, the results and the settings every step needs.
struct Walk {
  LensSystem& s;
  WalkResult& w;
  const WalkSettings& settings;

  // The element's own third-order set, added to the system's sums and to its kind's share
  // (none for a solenoid). Runs after the element's routine, which stores what it reads.
  void sum_third_order(int iz, ThirdOrderSet* share) {
    element_third_order(s, iz, settings, w.element);
    tadd(s, iz, settings, w.element, w.total);
    if (share != nullptr) tadd(s, iz, settings, w.element, *share);
  }

  // The routine a row's internal type selects, and what the walk counts and sums for it.
  ElementStatus run_element(int iz, int type, const Particle& particle, bool third, Mat4& a) {
    const ElementRoutine routine = element_routine(type);
    // Rows no routine handles pass the beam unchanged: the identity, not the matrix the
    // previous element left behind.
    if (routine == nullptr) return ElementStatus::ok;
    if (type == kQuadrupole) ++w.quads;
    if (type == kSextupole) ++w.sexts;
    if (type == kOctupole) ++w.octus;
    const ElementStatus status = routine(s, iz, particle, settings, a);
    if (third) {
      // The lenses with a third-order set add it to the system's sums and to their kind's
      // share (a solenoid has none of its own).
      if (type == kQuadrupole) sum_third_order(iz, &w.quad);
      if (type == kOctupole) sum_third_order(iz, &w.octu);
      if (type == kSolenoid) sum_third_order(iz, nullptr);
    }
    return status;
  }

  // The trace of one element at diagnostic level `level` (1 to 9) on the report stream.
  void trace_element(int iz, const TypeCode& t, const Mat4& a, int level) {
    if (level >= kTraceBeamOnlyFirst && level <= kTraceBeamOnlyLast) return;
    qx::Output& out = settings.report();
    list_row(out, s, iz);
    if (level == kTraceMatrices || level == kTraceMatrixGeometry) print_matrix(out, a, t.type);
    if (level == kTraceSystemMatrix) print_matrix(out, w.s, kSystemMatrixKind);
    if (level == kTraceGeometry || level == kTraceMatrixGeometry) geometric_listing(s, iz, a, settings);
    if ((level == kTraceLensSet || level == kTraceSystemSet) && t.polarity != 0 && t.supra == 0) {
      print_third_order(out, w.element, kLensCoefficients);
      if (level == kTraceSystemSet) print_third_order(out, w.total, kSystemCoefficients);
    }
  }

  void trace_beam(const qx::Format& heading) {
    qx::Output& out = settings.report();
    out.write(heading);
    list_row(out, s, 2);
  }
};

}  // namespace

// ---- STIGMAT ------------------------------------------------------------------------------------

void system_walk(LensSystem& s, WalkResult& w, const WalkSettings& settings) {
  static const qx::Format kNoEnd{"(1H ,'?STIGMAT- No end element IZ = ',I2)"};
  static const qx::Format kNotFinite{"(1H ,'?STIGMAT- No finite matrix for element ',I2,', taken as a drift')"};
  static const qx::Format kInitial{"(1H ,'Initial beam vector;')"};
  static const qx::Format kFinal{"(1H ,'Final beam vector;')"};
  if (!s.loaded()) return;

  const int order = std::clamp(settings.order, -kMaxOrder * 10, kMaxOrder * 10);
  const int working = std::clamp(std::abs(order), 1, kMaxOrder);
  const bool second = working > 1 && order != -3;
  const bool third = working > 2;
  w.quads = w.sexts = w.octus = 0;
  w.s = Mat4::identity();
  w.ended = false;
  Vec4 work = initial_beam(s);
  Vec4 ref = work;
  for (int i = 1; i <= 4; ++i) s.p(2, i + 6) = work(i);
  if (second) w.s2 = Mat14::identity();
  if (third && order != -5) w.element = w.total = w.quad = w.octu = ThirdOrderSet{};

  Walk walk{s, w, settings};
  const int level = settings.trace ? settings.level : kQuietLevel;
  if (level > kQuietLevel) walk.trace_beam(kInitial);

  const int previous_end = s.izend;
  const double charge = std::fabs(s.p(1, 2));
  double energy = s.p(1, 12);   // the energy at the element, grown by every column passed
  s.p(1, 4) = energy;
  double z = 0.0;
  double start = 0.0;      // entrance of the first lens
  double lens_end = 0.0;   // exit of the last lens
  bool lens_seen = false;

  int iz = kFirstElementRow;
  for (;; ++iz) {
    if (iz > kRows) {
      settings.term().write(kNoEnd, iz);
      s.p(1, 4) = s.p(1, 12);
      return;
    }
    const TypeCode t = s.type_at(iz);
    if (t.supra == 1) {   // the lens before it has used it
      w.element_matrix[static_cast<std::size_t>(iz)] = Mat4::identity();
      continue;
    }
    if (t.type == kSystemEnd) break;

    // Every element sees the particle with the energy it has there, so a lens after an
    // accelerating column is excited for the faster particle.
    s.p(1, 4) = energy;
    const Particle particle{s.p(1, 2), s.p(1, 3), energy};
    // A gap lens always has its fixed length; set it before the position bookkeeping so the
    // first walk after a load places the rows after it as every later walk does.
    if (t.type == kGapLens) s.p(iz, 2) = kGapLength;
    const double len = s.p(iz, 2);
    if (t.polarity != 0) {
      if (!lens_seen) start = z;
      lens_seen = true;
      s.p(iz, 5) = z + len / 2.0;
      z += len;
      lens_end = z;
    } else if (t.type == kDrift) {
      z += len;
    }

    if (third) w.element = ThirdOrderSet{};
    Mat4 a = Mat4::identity();
    const ElementStatus status = walk.run_element(iz, t.type, particle, third, a);
    if (!all_finite(a)) {
      settings.term().write(kNotFinite, iz);
      a = std::isfinite(len) ? drift_matrix(len) : Mat4::identity();
    }
    if (code_class(s.p(iz, 1)) == kAccelerator) energy += charge * s.p(iz, 3);

    mul_left(a, w.s);
    if (second) {
      Mat14 t2 = Mat14::identity();
      element_second_order(s, iz, settings, a, t2);
      mul_left(t2, w.s2);
    }
    // Inside the walk the beam vectors go through each element at first order; the system's
    // higher-order terms belong to the whole system, not to every element on the way.
    work(1) += s.dx(iz);
    work(3) += s.dy(iz);
    work = apply(a, work);
    ref = apply(a, ref);
    if (t.type == kDipole || t.type == kElectrostaticDipole) {
      dipadd(s, iz, particle, settings, work);
      dipadd(s, iz, particle, settings, ref);
    }
    work(1) -= s.dx(iz);
    work(3) -= s.dy(iz);
    for (int i = 1; i <= 4; ++i) s.p(2, i + 6) = work(i);
    w.element_matrix[static_cast<std::size_t>(iz)] = a;

    if (level > kQuietLevel) walk.trace_element(iz, t, a, level);
    // A failed einzel lens ends the walk: it goes on at the System End of the last walk.
    if (status == ElementStatus::degenerate && t.type == kEinzelLens && previous_end > iz) iz = previous_end - 1;
  }

  s.p(1, 4) = s.p(1, 12);
  s.total_length = z;
  s.lens_mid = start + (lens_end - start) / 2.0;
  s.izend = iz;
  w.element_matrix[static_cast<std::size_t>(iz)] = w.s;
  w.reference = ref;
  w.ended = true;
  if (level > kQuietLevel) walk.trace_beam(kFinal);
}

// ---- MAG, FOCAL, ELELAS --------------------------------------------------------------------------

Magnification mag(const LensSystem& s, int iz, const WalkSettings& settings) {
  Magnification m;
  // Rows 3 to iz inclusive: the magnification of the system up to the image of the lens at iz.
  for (int k = kFirstElementRow; k <= std::min(iz, kRows); ++k) multiply_magnification(s, k, settings, m);
  return m;
}

FocalLengths focal(const LensSystem& s, int iz, const WalkSettings& settings) {
  static const qx::Format kInfinite{"(1H ,/,1H ,'%FOCAL- Infinite focal length (sub)system IZ = ',I2)"};
  // One pass: the running MAG at every row (each lens included at its own row, so a lens's
  // object is referred through the lens before it), and the preceding lens as the rows go by.
  std::array<Magnification, kRows + 1> upto{};
  Magnification running;
  Magnification last;
  int preceding = 2;
  double sx = 0.0;
  double sy = 0.0;
  for (int k = kFirstElementRow; k <= std::min(iz, kRows); ++k) {
    multiply_magnification(s, k, settings, running);
    upto[static_cast<std::size_t>(k)] = running;
    if (counts_for_focal(s, k)) {
      const Magnification at_object = upto[static_cast<std::size_t>(preceding)];   // 1 for row 2
      const double fx = s.p(k, 11);
      const double fy = s.p(k, 12);
      if (std::fabs(fx * fy) >= kMinFocalProduct) {
        sx += running.mx * at_object.mx / fx;
        sy += running.my * at_object.my / fy;
        last = running;
      }
    }
    if (images_as_lens(s, k)) preceding = k;
  }
  if (std::fabs(sx * sy) < kMinFocalProduct) {
    if (settings.warnings) settings.term().write(kInfinite, iz);
    return {kInfiniteFocal, kInfiniteFocal};
  }
  return {last.mx / sx, last.my / sy};
}

int last_active_lens(const LensSystem& s) {
  const int end = std::min(s.izend, kRows + 1);
  for (int k = end - 1; k >= kFirstElementRow; --k)
    if (s.type_at(k).supra == 0 && counts_for_focal(s, k)) return k;
  return 0;
}

std::array<double, 2> objective_terms(const LensSystem& s, const WalkResult& w, int level) {
  if (level == kThinLensFitLevel) {
    const int last = last_active_lens(s);
    if (last == 0) return {0.0, 0.0};
    return {s.total_length - s.p(last, 6), s.total_length - s.p(last, 7)};
  }
  return {w.s(1, 2), w.s(3, 4)};
}

double squared_objective(const LensSystem& s, const WalkResult& w, int level) {
  const std::array<double, 2> d = objective_terms(s, w, level);
  return d[0] * d[0] + d[1] * d[1];
}

// ---- Ray transform and chromatic run --------------------------------------------------------------

void ray_transform(const LensSystem& s, const WalkResult& w, const WalkSettings& settings, int m, Vec4& x,
                   const Mat4& a) {
  const int n = std::abs(std::clamp(m, -100, 100));
  const double delta = std::fabs(s.p(2, 6));
  const ChromaticTerms& c = w.chromatic;
  const double x0 = x(1), t0 = x(2), y0 = x(3), p0 = x(4);
  Vec4 u = apply(a, x);
  if (n >= 2 && m > -3) {
    u(1) += c.xt * t0 * delta;
    u(3) += c.yp * p0 * delta;
    if (m != -2) {
      u(1) += c.xx * x0 * delta;
      u(3) += c.yy * y0 * delta;
    }
    if (m == -2 || n < 3) {
      x = u;
      return;
    }
  }
  if (n >= 3 || m <= -3) {
    const Magnification mg = mag(s, s.izend, settings);
    const ThirdOrderSet& k = w.total;
    u(1) += mg.mx * (k(1, 1) * t0 * t0 * t0 + k(1, 2) * t0 * p0 * p0);
    u(3) += mg.my * (k(2, 1) * p0 * p0 * p0 + k(2, 2) * p0 * t0 * t0);
    if (m != -3 && m != -4) {
      u(1) += mg.mx * (k(1, 3) * t0 * t0 * x0 + k(1, 4) * p0 * p0 * x0 + k(1, 5) * t0 * p0 * y0 +
                       k(1, 6) * t0 * x0 * x0 + k(1, 7) * t0 * y0 * y0 + k(1, 8) * x0 * p0 * y0 +
                       k(1, 9) * x0 * x0 * x0 + k(1, 10) * x0 * y0 * y0);
      u(3) += mg.my * (k(2, 3) * p0 * p0 * y0 + k(2, 4) * t0 * t0 * y0 + k(2, 5) * p0 * t0 * x0 +
                       k(2, 6) * p0 * y0 * y0 + k(2, 7) * p0 * x0 * x0 + k(2, 8) * y0 * t0 * x0 +
                       k(2, 9) * y0 * y0 * y0 + k(2, 10) * y0 * x0 * x0);
    }
  }
  x = u;
}

ChromaticTerms chromatic_terms(LensSystem& s, WalkResult& w, double de, const WalkSettings& settings) {
  if (de == 0.0) de = kDefaultSpread;
  // The run perturbs the energy and walks; the system and the last walk's results come back
  // as they were, only the two rays' results are kept.
  const SystemSnapshot snapshot(s, w);
  WalkSettings first = settings;
  first.order = 1;
  // Each term is a change: the ray's end through the energy-shifted system minus its end
  // through the nominal one, both at first order, so that it is the derivative per percent
  // of energy. (The end position itself would add the whole magnification again.)
  system_walk(s, w, first);
  const Mat4 nominal = w.s;
  s.p(1, 12) *= 1.0 + de / 100.0;
  system_walk(s, w, first);
  const Mat4& shifted = w.s;
  auto change = [&](const Vec4& ray) {
    const Vec4 a = apply(shifted, ray), b = apply(nominal, ray);
    Vec4 d;
    for (int i = 1; i <= 4; ++i) d(i) = a(i) - b(i);
    return d;
  };
  ChromaticTerms c;
  Vec4 angle_ray;
  angle_ray(2) = angle_ray(4) = 1.0 / de;
  const Vec4 angle = change(angle_ray);
  c.xt = angle(1);
  c.yp = angle(3);
  Vec4 position_ray;
  position_ray(1) = position_ray(3) = 1.0 / de;
  const Vec4 position = change(position_ray);
  c.xx = position(1);
  c.yy = position(3);
  return c;
}

}  // namespace vorne
