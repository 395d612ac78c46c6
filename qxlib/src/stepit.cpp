// STEPIT direct-search minimiser.
//
// Where the method leaves a choice open, the simplest rule consistent with it is taken;
// each such rule is stated in a comment where it is applied.
#include "qx/stepit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "qx/format.h"

namespace qx {
namespace {

// The method's fixed parameters.
constexpr double kRatio = 10.0;            // all steps divided by this when nothing improves
constexpr double kAck = 2.0;               // growth of a step, and of giant steps
constexpr float kColin = 0.99f;            // collinearity criterion (single precision)
constexpr int kNcomp = 5;                  // cycles before giant steps are attempted
constexpr std::size_t kHistory = 15;       // past directions kept for oscillation detection
constexpr double kNegligible = 2.0E8;      // |step| * this <= |x|: the step changes nothing
constexpr float kDefaultBound = 1.0E20f;   // bounds of a variable whose own are unusable
constexpr float kStartFraction = 0.01f;    // a negligible start step becomes this x (or this)
constexpr double kMaxCompar = 0.999;

// A pivot this small against the largest element of the scaled matrix makes it singular.
constexpr double kSingularPivot = 1.0E-13;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A value improves on ref only when it is a number and lower; a NaN start value can be
// improved on by any number.
bool better(double f, double ref) { return !std::isnan(f) && (std::isnan(ref) || f < ref); }

double dot(const StepitVector& a, const StepitVector& b, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

// The parabola through values at three points spaced d and kAck * d (in that order, f2 the
// oldest) has its vertex at the middle point plus t times the second spacing. NaN when the
// values give no usable vertex.
double parabola_fraction(double f2, double f1, double f0) {
  const double den = kAck * f2 - (kAck + 1.0) * f1 + f0;
  if (den == 0.0) return kNaN;
  const double t = ((kAck * kAck * f2 - (kAck * kAck - 1.0) * f1 - f0) * 0.5 / kAck) / den;
  return std::isfinite(t) ? t : kNaN;
}

std::vector<FormatArg> as_args(std::span<const double> values) {
  return std::vector<FormatArg>(values.begin(), values.end());
}

void write_values(Output& out, const Format& layout, std::span<const double> values) {
  out.put(layout.render(as_args(values)));
}

// Gauss-Jordan inversion with partial pivoting of the n x n matrix a (row-major), which
// has been scaled so that its elements are comparable. Returns false when it is singular.
// On success a holds the inverse, and log10_det and det_sign describe the determinant.
bool invert(std::vector<double>& a, int n, double& log10_det, int& det_sign) {
  double largest = 0.0;
  for (const double v : a) largest = std::max(largest, std::fabs(v));
  log10_det = 0.0;
  det_sign = 1;
  if (largest == 0.0) return false;
  auto at = [&](int r, int c) -> double& { return a[static_cast<std::size_t>(r * n + c)]; };
  std::vector<double> inv(a.size(), 0.0);
  auto iv = [&](int r, int c) -> double& { return inv[static_cast<std::size_t>(r * n + c)]; };
  for (int i = 0; i < n; ++i) iv(i, i) = 1.0;
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(at(r, c)) > std::fabs(at(p, c))) p = r;
    const double pivot = at(p, c);
    if (std::fabs(pivot) <= kSingularPivot * largest) return false;
    if (p != c) {
      for (int k = 0; k < n; ++k) {
        std::swap(at(p, k), at(c, k));
        std::swap(iv(p, k), iv(c, k));
      }
      det_sign = -det_sign;
    }
    if (pivot < 0.0) det_sign = -det_sign;
    log10_det += std::log10(std::fabs(pivot));
    for (int k = 0; k < n; ++k) {
      at(c, k) /= pivot;
      iv(c, k) /= pivot;
    }
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double m = at(r, c);
      if (m == 0.0) continue;
      for (int k = 0; k < n; ++k) {
        at(r, k) -= m * at(c, k);
        iv(r, k) -= m * iv(c, k);
      }
    }
  }
  a = inv;
  return true;
}

// True when the symmetric n x n matrix a (row-major) is positive definite (Cholesky).
bool positive_definite(std::vector<double> a, int n) {
  auto at = [&](int r, int c) -> double& { return a[static_cast<std::size_t>(r * n + c)]; };
  for (int j = 0; j < n; ++j) {
    double d = at(j, j);
    for (int k = 0; k < j; ++k) d -= at(j, k) * at(j, k);
    if (!(d > 0.0)) return false;
    const double l = std::sqrt(d);
    at(j, j) = l;
    for (int i = j + 1; i < n; ++i) {
      double s = at(i, j);
      for (int k = 0; k < j; ++k) s -= at(i, k) * at(j, k);
      at(i, j) = s / l;
    }
  }
  return true;
}

// One past point of the search, kept for oscillation detection and giant steps.
struct HistoryEntry {
  StepitVector x{};     // the point at the end of the cycle
  double f = 0.0;       // its value
  StepitVector dir{};   // the cycle's direction of movement, in units of each variable's step
};

class Search {
 public:
  Search(const StepitSettings& s, const StepitObjective& f, Output& out)
      : s_(s), f_(f), out_(out), nv_(s.nv) {}

  StepitResult run();

 private:
  bool summary() const { return s_.ntrace >= 0; }
  bool trace() const { return s_.ntrace > 0; }
  std::span<const double> first_nv(const StepitVector& v) const {
    return std::span<const double>(v.data(), static_cast<std::size_t>(nv_));
  }

  bool valid_input() const;
  int prepare(bool use_mask);
  double compar() const;
  void print_start();

  bool inside(int j, double v) const { return v >= xmin_[j] && v <= xmax_[j]; }
  double evaluate(const StepitVector& p);
  double trial(int j, double v);
  void accept(int j, double v, double f);

  void minimise();
  bool search_variable(int j);
  void line_search(int j, double step, double f_before);
  void end_of_cycle();
  void giant_steps(const StepitVector& base, double fbase);
  bool reduce_steps();

  void error_matrix();
  bool second_derivatives(std::vector<double>& incr, std::vector<double>& h);
  void consider(const StepitVector& p, double f);

  const StepitSettings& s_;
  const StepitObjective& f_;
  Output& out_;
  int nv_;

  std::vector<int> act_;   // indices of the active variables, in order
  StepitVector x_{}, xmax_{}, xmin_{}, step_{}, delmin_{};
  std::array<int, kStepitMaxVariables> mask_{};
  double fbest_ = kNaN;

  long nfunc_ = 0;
  bool limited_ = true;      // the search obeys nfmax; the error-matrix phase does not
  bool exhausted_ = false;   // nfmax evaluations used
  StepitVector last_{};      // the previous evaluated point, for jvary
  bool have_last_ = false;

  StepitVector counts_{};    // steps moved in this cycle, in units of each variable's step
  StepitVector cycle_x_{};   // point and value at the start of the cycle
  double cycle_f_ = 0.0;
  std::vector<HistoryEntry> history_;
  int nfail_ = 0;            // one-variable searches in a row without improvement

  std::array<StepitVector, kStepitMaxVariables> err_{};   // error matrix by variable number
  bool err_valid_ = false;
};

bool Search::valid_input() const {
  if (nv_ < 0 || nv_ > kStepitMaxVariables) {
    out_.list("Invalid call to STEPIT: NV =", nv_, "is outside 0 to", kStepitMaxVariables);
    return false;
  }
  if (s_.nfmax < 1) {
    out_.list("Invalid call to STEPIT: the evaluation limit is", s_.nfmax);
    return false;
  }
  for (int i = 0; i < nv_; ++i) {
    if (!std::isfinite(s_.x[i]) || !std::isfinite(s_.xmax[i]) || !std::isfinite(s_.xmin[i]) ||
        !std::isfinite(s_.deltax[i]) || !std::isfinite(s_.delmin[i])) {
      out_.list("Invalid call to STEPIT: a setting of variable", i + 1, "is not a finite number.");
      return false;
    }
  }
  return true;
}

// Working copies of the variables' settings; returns the number of active variables.
int Search::prepare(bool use_mask) {
  act_.clear();
  for (int i = 0; i < nv_; ++i) {
    x_[i] = s_.x[i];
    xmax_[i] = s_.xmax[i];
    xmin_[i] = s_.xmin[i];
    step_[i] = s_.deltax[i];
    delmin_[i] = s_.delmin[i];
    mask_[i] = use_mask ? s_.mask[i] : 0;
    if (mask_[i] != 0) continue;
    if (std::fabs(step_[i]) * kNegligible <= std::fabs(x_[i]))
      step_[i] = x_[i] == 0.0 ? double{kStartFraction} : double{kStartFraction} * x_[i];
    if (delmin_[i] == 0.0) delmin_[i] = std::fabs(step_[i]) / kNegligible;
    if (xmax_[i] <= xmin_[i]) {
      xmax_[i] = kDefaultBound;
      xmin_[i] = -double{kDefaultBound};
    }
    x_[i] = std::clamp(x_[i], xmin_[i], xmax_[i]);
    act_.push_back(i);
  }
  return static_cast<int>(act_.size());
}

// The collinearity threshold of the method. It is printed for the record; the giant-step
// rules used here do not depend on it.
double Search::compar() const {
  const int n = static_cast<int>(act_.size());
  if (n <= 1) return 0.0;
  const double a = 2.0 / (n - 1);
  const double s = 2.0 * ((1.0 / std::sqrt(static_cast<double>(n))) / (1.0 - std::pow(0.5, a)) - 1.0);
  const double c = 1.0 - double{kColin};
  return std::min(std::fabs((1.0 + c * s) * (1.0 - std::pow(c, a))), kMaxCompar);
}

void Search::print_start() {
  // A new page is a form feed in the carriage-control column.
  static const Format kBanner{"(A,'ENTER SUBROUTINE STEPIT.')"};
  static const Format kInitial{"(/,' INITIAL VALUES....')"};
  static const Format kMask{"(/,10H MASK   = ,10(I6,6X),/,(4X,10I12))"};
  static const Format kX{"(/,10H X      = ,10E12.4,/,(10X,10E12.4))"};
  static const Format kXmax{"(/,10H XMAX   = ,10E12.4,/,(10X,10E12.4))"};
  static const Format kXmin{"(/,10H XMIN   = ,10E12.4,/,(10X,10E12.4))"};
  static const Format kDeltax{"(/,10H DELTAX = ,10E12.4,/,(10X,10E12.4))"};
  static const Format kDelmin{"(/,10H DELMIN = ,10E12.4,/,(10X,10E12.4))"};
  out_.write(kBanner, "\f");
  out_.write(kInitial);
  out_.put(kMask.render(std::vector<FormatArg>(mask_.begin(), mask_.begin() + nv_)));
  write_values(out_, kX, first_nv(x_));
  write_values(out_, kXmax, first_nv(xmax_));
  write_values(out_, kXmin, first_nv(xmin_));
  write_values(out_, kDeltax, first_nv(step_));
  write_values(out_, kDelmin, first_nv(delmin_));
}

// The objective at p. The search stops taking new values once nfmax are used: a value
// asked for after that is NaN, which no rule accepts.
double Search::evaluate(const StepitVector& p) {
  if (limited_ && nfunc_ >= s_.nfmax) {
    exhausted_ = true;
    return kNaN;
  }
  int jvary = 0;
  if (have_last_) {
    int changed = 0;
    for (int i = 0; i < nv_; ++i) {
      if (p[i] != last_[i]) {
        ++changed;
        jvary = i + 1;
      }
    }
    if (changed != 1) jvary = 0;
  }
  last_ = p;
  have_last_ = true;
  ++nfunc_;
  return f_(first_nv(p), jvary);
}

// The value with variable j moved to v and the others at the best point.
double Search::trial(int j, double v) {
  StepitVector p = x_;
  p[j] = v;
  return evaluate(p);
}

void Search::accept(int j, double v, double f) {
  x_[j] = v;
  fbest_ = f;
}

// One level of step sizes after another: cycles of one-variable searches (with giant
// steps once kNcomp cycles have run) until a full round of searches brings nothing, then
// step reduction. A round may span the end of one cycle and the start of the next; the
// reduction then comes in mid-cycle.
void Search::minimise() {
  const int nact = static_cast<int>(act_.size());
  for (;;) {
    int ncycles = 0;
    nfail_ = 0;
    history_.clear();
    bool no_progress = false;
    while (!no_progress && !exhausted_) {
      counts_.fill(0.0);
      cycle_x_ = x_;
      cycle_f_ = fbest_;
      for (const int j : act_) {
        nfail_ = search_variable(j) ? 0 : nfail_ + 1;
        if (nfail_ >= nact || exhausted_) {
          no_progress = true;
          break;
        }
      }
      if (no_progress) break;
      if (++ncycles >= kNcomp) end_of_cycle();
    }
    if (exhausted_ || !reduce_steps()) return;
  }
}

// The search along variable j from the best point; true when it found a better one.
bool Search::search_variable(int j) {
  const double h = step_[j];
  const double x0 = x_[j];
  const double f0 = fbest_;
  if (std::fabs(h) * kNegligible <= std::fabs(x0)) return false;   // the step moves nothing

  bool moved = false;
  double fplus = kNaN;
  double fminus = kNaN;
  const bool plus_inside = inside(j, x0 + h);
  if (plus_inside) {
    fplus = trial(j, x0 + h);
    if (better(fplus, f0)) {
      accept(j, x0 + h, fplus);
      line_search(j, h, f0);
      moved = true;
    }
  }
  const bool minus_inside = inside(j, x0 - h);
  if (!moved && minus_inside) {
    fminus = trial(j, x0 - h);
    if (better(fminus, f0)) {
      accept(j, x0 - h, fminus);
      line_search(j, -h, f0);
      moved = true;
    }
  }
  if (!moved && plus_inside && minus_inside) {
    // Neither side is lower: the vertex of the parabola through the three values.
    const double curvature = fplus - 2.0 * f0 + fminus;
    const double slope = fminus - fplus;
    const double product = curvature * slope;
    if (product != 0.0 && std::isfinite(product)) {
      const double v = x0 + slope * h * 0.5 / curvature;
      if (v != x0 && inside(j, v)) {
        const double fv = trial(j, v);
        if (better(fv, f0)) accept(j, v, fv);
      }
    }
  }

  // Steps moved, in units of this variable's step; a variable that keeps moving far gets
  // a larger step, and what was measured in the old step is rescaled to the new one.
  counts_[j] += (x_[j] - x0) / h;
  if (std::fabs(counts_[j]) >= kAck) {
    step_[j] *= kAck;
    counts_[j] /= kAck;
    for (HistoryEntry& e : history_) e.dir[j] /= kAck;
    if (trace()) {
      static const Format kGrowth{"(10H STEP SIZE,I3,14H INCREASED TO ,E12.5)"};
      out_.write(kGrowth, j + 1, step_[j]);
    }
  }
  return better(fbest_, f0);
}

// Having moved variable j by step to a lower value (f_before was the value one step back),
// keep going with steps kAck times longer while the value falls, then place the vertex of
// the parabola through the last three values. A step that would cross a bound is replaced
// by the bound itself, tried once; the spacing is then no longer regular, so no parabola.
void Search::line_search(int j, double step, double f_before) {
  double f2 = f_before;
  for (;;) {
    const double next = kAck * step;
    const double v = x_[j] + next;
    if (!inside(j, v)) {
      const double bound = next > 0.0 ? xmax_[j] : xmin_[j];
      if (bound != x_[j]) {
        const double fb = trial(j, bound);
        if (better(fb, fbest_)) accept(j, bound, fb);
      }
      return;
    }
    const double fv = trial(j, v);
    if (better(fv, fbest_)) {
      f2 = fbest_;
      accept(j, v, fv);
      step = next;
      continue;
    }
    const double t = parabola_fraction(f2, fbest_, fv);   // fraction of the step that failed
    if (!std::isnan(t)) {
      const double vp = x_[j] + t * next;
      if (vp != x_[j] && inside(j, vp)) {
        const double fp = trial(j, vp);
        if (better(fp, fbest_)) accept(j, vp, fp);
      }
    }
    return;
  }
}

// The CHISQ record with the variables (giant steps, and the point before a reduction).
void print_point(Output& out, double f, std::span<const double> x) {
  static const Format kPoint{"(8H CHISQ =,E15.8,/,9H X(I)....,/,(10(1X,E12.5)))"};
  std::vector<FormatArg> args{FormatArg(f)};
  args.insert(args.end(), x.begin(), x.end());
  out.put(kPoint.render(args));
}

// After a complete cycle (from the kNcomp-th on): the trace record, the cycle's direction
// into the history, the oscillation test and the giant steps.
void Search::end_of_cycle() {
  if (trace()) {
    static const Format kCycle{"(8H CHISQ =,E15.8,5X,14HNO. OF STEPS =,10F9.2,/,(42X,10F9.2))"};
    std::vector<FormatArg> args{FormatArg(fbest_)};
    args.insert(args.end(), counts_.begin(), counts_.begin() + nv_);
    out_.put(kCycle.render(args));
  }
  const double norm = std::sqrt(dot(counts_, counts_, nv_));
  if (norm == 0.0) return;   // the cycle improved, so something moved; kept for safety
  HistoryEntry entry{x_, fbest_, {}};
  for (int i = 0; i < nv_; ++i) entry.dir[i] = counts_[i] / norm;
  if (history_.size() == kHistory) history_.erase(history_.begin());
  history_.push_back(entry);

  // An older direction closer to this one than the previous cycle's means the search is
  // zig-zagging with that period: the line through that older point and this one is the
  // better way forward. Of several, the closest (and of equals the most recent) is used.
  StepitVector base = cycle_x_;
  double fbase = cycle_f_;
  const std::size_t n = history_.size();
  if (n >= 3) {
    const StepitVector& newest = history_[n - 1].dir;
    double closest = dot(newest, history_[n - 2].dir, nv_);
    std::size_t found = n;
    for (std::size_t k = n - 2; k-- > 0;) {
      const double d = dot(newest, history_[k].dir, nv_);
      if (d > closest) {
        closest = d;
        found = k;
      }
    }
    if (found < n) {
      if (trace()) {
        static const Format kOscillation{
            "(/,1X,8H********,5X,34H POSSIBLE OSCILLATION WITH PERIOD ,I2,10H DETECTED.)"};
        out_.write(kOscillation, static_cast<int>(n - 1 - found));
      }
      base = history_[found].x;
      fbase = history_[found].f;
    }
  }
  giant_steps(base, fbase);
}

// Giant steps along the line from base (value fbase) through the current point. The
// current point counts as the first of them, base + kAck d with d = (x - base) / kAck; each
// further one adds kAck times the previous increment, clamped to the bounds. They go on
// while the value falls; then the vertex of the parabola through the last three values is
// tried, unless a bound broke the regular spacing (a clamped point also ends the steps).
void Search::giant_steps(const StepitVector& base, double fbase) {
  StepitVector d{};
  bool any = false;
  for (const int i : act_) {
    d[i] = (x_[i] - base[i]) / kAck;
    any = any || d[i] != 0.0;
  }
  if (!any) return;
  const double f_start = fbest_;
  double f2 = fbase;
  double mult = kAck;
  double count = 0.0;
  while (!exhausted_) {
    mult *= kAck;
    StepitVector p = x_;
    bool clamped = false;
    bool changed = false;
    for (const int i : act_) {
      const double v = x_[i] + mult * d[i];
      p[i] = std::clamp(v, xmin_[i], xmax_[i]);   // an overflow to inf clamps too
      clamped = clamped || p[i] != v;
      changed = changed || p[i] != x_[i];
    }
    if (!changed) break;
    const double fp = evaluate(p);
    if (better(fp, fbest_)) {
      f2 = fbest_;
      x_ = p;
      fbest_ = fp;
      count += 1.0;
      if (trace()) print_point(out_, fbest_, first_nv(x_));
      if (clamped) break;
      continue;
    }
    if (!clamped) {
      const double t = parabola_fraction(f2, fbest_, fp);
      if (!std::isnan(t)) {
        StepitVector q = x_;
        bool moves = false;
        for (const int i : act_) {
          q[i] = std::clamp(x_[i] + t * mult * d[i], xmin_[i], xmax_[i]);
          moves = moves || q[i] != x_[i];
        }
        if (moves) {
          const double fq = evaluate(q);
          if (better(fq, fbest_)) {
            x_ = q;
            fbest_ = fq;
            count += t;
          }
        }
      }
    }
    break;
  }
  // A better point makes the failures of the one-variable searches before it stale.
  if (better(fbest_, f_start)) nfail_ = 0;
  if (trace()) {
    static const Format kCount{"(/,8H CHISQ =,E15.8,7H  AFTER,I3,13H GIANT STEPS.)"};
    static const Format kFraction{"(/,8H CHISQ =,E15.8,7H  AFTER,F6.1,13H GIANT STEPS.)"};
    if (count == std::floor(count))
      out_.write(kCount, fbest_, static_cast<int>(count));
    else
      out_.write(kFraction, fbest_, count);
  }
}

// Divides every step by kRatio; false when every active step was already at or below its
// minimum, which ends the search.
bool Search::reduce_steps() {
  if (trace()) print_point(out_, fbest_, first_nv(x_));
  history_.clear();
  bool above = false;
  for (const int i : act_) above = above || std::fabs(step_[i]) > std::fabs(delmin_[i]);
  for (int i = 0; i < nv_; ++i) step_[i] /= kRatio;
  if (!above) return false;
  if (trace()) {
    static const Format kReduced{"(60(1X,1H*),/,/,26H STEP SIZES REDUCED TO....,/,/,(10(1X,E12.5)))"};
    write_values(out_, kReduced, first_nv(step_));
  }
  return true;
}

// An error-matrix probe that turns out better than the best point becomes the best point.
void Search::consider(const StepitVector& p, double f) {
  if (better(f, fbest_)) {
    x_ = p;
    fbest_ = f;
  }
}

// Second differences at the best point, over the active variables: incr receives the
// increments and h (row-major, nact x nact) the matrix. Diagonal terms from x +- h_i,
// mixed terms from x + h_i + h_j and x - h_i - h_j together with the diagonal values. The
// stencil stays inside the bounds: an increment is at most half its interval, and near a
// bound the centre moves inward by it. False when a value is not a finite number.
bool Search::second_derivatives(std::vector<double>& incr, std::vector<double>& h) {
  const int n = static_cast<int>(act_.size());
  const double scale = std::pow(10.0, s_.matrx - 100);
  StepitVector centre = x_;
  bool shifted = false;
  for (int a = 0; a < n; ++a) {
    const int i = act_[a];
    double inc = std::min(std::fabs(scale * step_[i]), 0.5 * (xmax_[i] - xmin_[i]));
    const double lo = xmin_[i] + inc;
    const double hi = xmax_[i] - inc;
    const double c = lo <= hi ? std::clamp(x_[i], lo, hi) : 0.5 * (xmin_[i] + xmax_[i]);
    if (c + inc == c || c - inc == c) inc = 0.0;   // too small to move the variable
    shifted = shifted || c != x_[i];
    centre[i] = c;
    incr[a] = inc;
  }
  const double f0 = shifted ? evaluate(centre) : fbest_;
  if (shifted) consider(centre, f0);

  auto probe = [&](int a, double sa, int b, double sb) {
    StepitVector p = centre;
    p[act_[a]] += sa * incr[a];
    if (b >= 0) p[act_[b]] += sb * incr[b];
    const double f = evaluate(p);
    consider(p, f);
    return f;
  };
  std::vector<double> fplus(n, 0.0), fminus(n, 0.0);
  auto at = [&](int a, int b) -> double& { return h[static_cast<std::size_t>(a * n + b)]; };
  for (int a = 0; a < n; ++a) {
    if (incr[a] == 0.0) continue;
    fplus[a] = probe(a, 1.0, -1, 0.0);
    fminus[a] = probe(a, -1.0, -1, 0.0);
    at(a, a) = (fplus[a] + fminus[a] - 2.0 * f0) / (incr[a] * incr[a]);
  }
  for (int a = 0; a < n; ++a) {
    for (int b = a + 1; b < n; ++b) {
      if (incr[a] == 0.0 || incr[b] == 0.0) continue;
      const double fpp = probe(a, 1.0, b, 1.0);
      const double fmm = probe(a, -1.0, b, -1.0);
      at(a, b) = (fpp + fmm - fplus[a] - fminus[a] - fplus[b] - fminus[b] + 2.0 * f0) /
                 (2.0 * incr[a] * incr[b]);
      at(b, a) = at(a, b);
    }
  }
  return std::all_of(h.begin(), h.end(), [](double v) { return std::isfinite(v); });
}

// The error-matrix phase: second derivatives, their determinant and inverse (the error
// matrix), standard errors and correlations, with a warning where the numbers show that
// the increments were unsuitable. Printed when ntrace >= 0; the error matrix is kept in
// any case when it can be formed.
void Search::error_matrix() {
  static const Format kRow{"(10(1X,E12.5))"};
  const int n = static_cast<int>(act_.size());
  std::vector<double> incr(n, 0.0);
  std::vector<double> h(static_cast<std::size_t>(n * n), 0.0);
  const bool finite = second_derivatives(incr, h);
  auto at = [&](std::vector<double>& m, int a, int b) -> double& {
    return m[static_cast<std::size_t>(a * n + b)];
  };

  const bool print = summary();
  if (print) {
    static const Format kIncrements{"(/,/,' SIZES OF INCREMENTS TO BE USED BELOW....',/)"};
    out_.write(kIncrements);
    write_values(out_, kRow, incr);
  }
  if (!finite) {
    if (print) {
      static const Format kNotFinite{"(/,' SECOND DERIVATIVES ARE NOT FINITE NUMBERS. NO ERROR MATRIX.')"};
      out_.write(kNotFinite);
    }
    return;
  }
  if (print) {
    static const Format kHeading{"(/,/,' MATRIX OF THE SECOND PARTIAL DERIVATIVES....',/)"};
    out_.write(kHeading);
    for (int a = 0; a < n; ++a) write_values(out_, kRow, std::span<const double>(&at(h, a, 0), n));
    if (std::any_of(h.begin(), h.end(), [](double v) { return v == 0.0; })) {
      static const Format kZeroes{
          "(/,' THE ABOVE MATRIX CONTAINS ONE OR MORE ZEROES, A LARGER VALUE OF \"MATRIX\" "
          "SHOULD BE TRIED TO SEE IF THEY ARE LEGITIMATE')"};
      out_.write(kZeroes);
    }
  }

  // Invert D H D, D = diag(1/sqrt|H_aa|), whose elements are comparable whatever the
  // variables' units, so that a pivot can be judged against the others.
  std::vector<double> dscale(n, 1.0);
  for (int a = 0; a < n; ++a)
    if (at(h, a, a) != 0.0) dscale[a] = 1.0 / std::sqrt(std::fabs(at(h, a, a)));
  std::vector<double> inv(h.size());
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) at(inv, a, b) = dscale[a] * at(h, a, b) * dscale[b];
  double log10_det = 0.0;
  int det_sign = 1;
  const bool regular = invert(inv, n, log10_det, det_sign);
  static const Format kDeterminant{"(/,/,' DETERMINANT OF ABOVE MATRIX = ',E12.5,5X,'LOG10F(DET) = ',F10.4)"};
  static const Format kLogOnly{"(/,/,' DETERMINANT OF ABOVE MATRIX = ',12X,5X,'LOG10F(DET) = ',F10.4)"};
  static const Format kZeroDet{"(/,/,' DETERMINANT OF ABOVE MATRIX = ',E12.5)"};
  if (!regular) {
    if (print) {
      static const Format kSingular{"(/,' ERROR MATRIX IS SINGULAR. \"MATRIX\" SHOULD PROBABLY BE INCREASED')"};
      out_.write(kZeroDet, 0.0);
      out_.write(kSingular);
    }
    return;
  }
  for (int a = 0; a < n; ++a) log10_det -= 2.0 * std::log10(dscale[a]);
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) at(inv, a, b) *= dscale[a] * dscale[b];
  for (int a = 0; a < n; ++a)
    for (int b = 0; b < n; ++b) err_[act_[a]][act_[b]] = at(inv, a, b);
  err_valid_ = true;
  if (!print) return;

  // The determinant can lie beyond the range of a double; its logarithm cannot.
  if (std::fabs(log10_det) < 300.0)
    out_.write(kDeterminant, det_sign * std::pow(10.0, log10_det), log10_det);
  else
    out_.write(kLogOnly, log10_det);

  std::vector<double> minus_h(h.size());
  std::transform(h.begin(), h.end(), minus_h.begin(), [](double v) { return -v; });
  if (positive_definite(minus_h, n)) {
    static const Format kNegative{
        "(/,' ERROR MATRIX IS NEGATIVE DEFINITE. \"MATRIX\" SHOULD  PROBABLY BE DECREASED')"};
    out_.write(kNegative);
    return;
  }
  static const Format kErrorHeading{"(/,/,' ERROR MATRIX....',/)"};
  out_.write(kErrorHeading);
  for (int a = 0; a < n; ++a) write_values(out_, kRow, std::span<const double>(&at(inv, a, 0), n));

  std::vector<double> sigma(n);
  for (int a = 0; a < n; ++a) {
    const double mse = at(inv, a, a);
    if (!(mse > 0.0)) {
      static const Format kMse{
          "(/,' NEGATIVE OR ZERO MEAN SQUARE ERROR ENCOUNTERED...',E15.8,/,"
          "' \"MATRIX\" SHOULD PROBABLY BE DECREASED.')"};
      out_.write(kMse, mse);
      return;
    }
    sigma[a] = std::sqrt(mse);
  }
  static const Format kSigmaHeading{"(/,/,' STANDARD ERRORS....',/)"};
  out_.write(kSigmaHeading);
  write_values(out_, kRow, sigma);
  static const Format kCorrHeading{"(/,/,' LOWER TRIANGLE OF THE CORRELATION MATRIX....',/)"};
  out_.write(kCorrHeading);
  for (int a = 0; a < n; ++a) {
    std::vector<double> row(a + 1);
    for (int b = 0; b <= a; ++b) row[b] = at(inv, a, b) / (sigma[a] * sigma[b]);
    write_values(out_, kRow, row);
  }
}

StepitResult Search::run() {
  StepitResult r;
  r.x = s_.x;
  if (!valid_input()) {
    r.status = StepitStatus::invalid_input;
    r.fobj = kNaN;
    return r;
  }
  if (summary()) out_.list("Call to STEPIT: NV=", nv_);
  int nact = prepare(true);
  if (nact == 0) nact = prepare(false);   // everything held: vary everything

  if (summary()) print_start();
  fbest_ = evaluate(x_);
  if (summary()) {
    static const Format kSummary{
        "(/,/,1H ,I3,11H VARIABLES,,I3,8H ACTIVE.,10X,8HMATRIX =,I4,10X,7HNCOMP =,I2,/,/,"
        "8H RATIO =,F5.1,10X,5H ACK=,F5.1,10X,7HCOLIN =,F6.3,10X,8HCOMPAR =,F6.3,/,/,/,"
        "8H CHISQ =,E15.8)"};
    out_.write(kSummary, nv_, nact, s_.matrx, kNcomp, kRatio, kAck, double{kColin}, compar(), fbest_);
  }
  if (nv_ > 0 && trace()) {
    static const Format kTraceMap{
        "(/,60(1X,1H*),/,/,' TRACE MAP OF THE MINIMIZATION PROCESS',/,/,60(1X,1H*))"};
    out_.write(kTraceMap);
  }

  if (nact > 0) minimise();
  limited_ = false;

  if (summary()) {
    if (exhausted_) {
      static const Format kLimit{"(/,' SEARCH STOPPED AFTER THE LIMIT OF',I7,' FUNCTION COMPUTATIONS.')"};
      out_.write(kLimit, s_.nfmax);
    }
    static const Format kCount{"(/,/,1X,I5,23H FUNCTION COMPUTATIONS )"};
    out_.write(kCount, nfunc_);
  }
  r.nfunc = nfunc_;
  r.status = exhausted_ ? StepitStatus::limit_reached : StepitStatus::converged;
  r.steps = step_;

  if (s_.matrx >= 50 && s_.matrx <= 150 && nact > 0) error_matrix();
  r.err = err_;
  r.err_valid = err_valid_;

  r.x = x_;
  r.fobj = fbest_;
  if (summary()) {
    static const Format kFinalX{"(/,/,/,10X,24HFINAL VALUES OF X(I)....,/,/,(7(1X,E16.9)))"};
    static const Format kFinalF{"(/,/,24H FINAL VALUE OF CHISQ = ,E15.8,/,/)"};
    write_values(out_, kFinalX, first_nv(x_));
    out_.write(kFinalF, fbest_);
  }
  return r;
}

}  // namespace

StepitResult stepit(const StepitSettings& s, const StepitObjective& f, Output& out) {
  Search search(s, f, out);
  return search.run();
}

}  // namespace qx
