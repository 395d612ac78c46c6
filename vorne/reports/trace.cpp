// TRACE: the settings its qualifiers change, and the trace itself: the z range and extent
// dialogue, the steps through the truncated system, the collision test against pole tips and
// collimator jaws, "trace.dat" and the plot.
#include "reports/trace.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "optics/snapshot.h"
#include "optics/truncated.h"
#include "qx/format.h"
#include "qx/numeric.h"
#include "qx/session.h"
#include "session/walks.h"

namespace vorne {

namespace {

constexpr double kMinStep = 1.0E-4;       // m: finer steps show nothing more
constexpr double kRangeFactor = 1.05;     // the offered range ends a little past the system
constexpr double kExtentFactor = 1.25;    // the offered extent leaves room around the rays
constexpr double kEmptyExtent = 1.0;      // mm offered when the rays never leave the axis
constexpr double kMillimetres = 1000.0;   // m and rad to mm and mrad
constexpr float kMinWait = 1.0E-10f;      // s: shorter waits are none
constexpr float kMaxWait = 60.0f;         // s: a longer one would look like a hang
constexpr int kMaxFont = 8;
constexpr int kMaxOrder = 999;            // what "Order set to" can show
const char* const kTraceFile = "trace.dat";

const qx::Format kNegative{"(1H ,'?TRACE- Positions must not be negative.')"};

// ---- Qualifiers ------------------------------------------------------------------------------

void set_order(Vorne& v, double number) {
  const std::optional<std::int64_t> n = qx::nearest_int(number, INT32_MIN, kMaxOrder);
  if (!n) {
    static const qx::Format kRange{"(1H ,'?TRACE- The order must be 1 to ',I3,'.')"};
    v.term.write(kRange, kMaxOrder);
    return;
  }
  v.trace.order = std::max(1, static_cast<int>(*n));
  static const qx::Format kSet{"(1H ,'Order set to ',I3)"};
  v.term.write(kSet, v.trace.order);
}

void set_wait(Vorne& v, double number) {
  if (!(number >= 0.0 && number <= kMaxWait)) {
    static const qx::Format kRange{"(1H ,'?TRACE- The wait must be 0 to ',I2,' seconds.')"};
    v.term.write(kRange, static_cast<int>(kMaxWait));
    return;
  }
  v.trace.wait = static_cast<float>(number);
  static const qx::Format kSet{"(1H ,'Wait before plot set to ',F6.2,' seconds.')"};
  v.term.write(kSet, v.trace.wait);
}

void set_font(Vorne& v, double number) {
  const std::optional<std::int64_t> n = qx::nearest_int(number, 0, kMaxFont);
  if (!n) {
    static const qx::Format kRange{"(1H ,'?TRACE- The font must be 0 to ',I1,'.')"};
    v.term.write(kRange, kMaxFont);
    return;
  }
  v.trace.font = static_cast<int>(*n);
  static const qx::Format kSet{"(1H ,'Font set to ',I1)"};
  v.term.write(kSet, v.trace.font);
}

// ---- The trace ---------------------------------------------------------------------------------

// The system cut at z, walked at the trace order.
TruncatedResult cut_at(Vorne& v, double z, double step, const Vec4& beam) {
  return evaluate_truncated(v.sys, v.walk, walk_settings(v), v.trace.order, z, step, beam);
}

// Steps of a trace: the command's number (nearest integer), the default (or for a repeat the
// last trace's) when below 1, at most kMaxTraceSteps.
int trace_steps(Vorne& v, double number, int fallback) {
  const std::optional<std::int64_t> n = qx::nearest_int(number, INT32_MIN, kMaxTraceSteps);
  static const qx::Format kTooMany{"(1H ,'%TRACE- At most ',I5,' steps; ',I5,' taken.')"};
  if (!n && !(number < 0.0)) {   // too many, or not a number at all
    v.term.write(kTooMany, kMaxTraceSteps, kMaxTraceSteps);
    return kMaxTraceSteps;
  }
  if (!n || *n < 1) return fallback;
  return static_cast<int>(*n);
}

// "Initial and final z-positions": false when the input ends.
bool ask_range(Vorne& v, double length, double& z1, double& z2) {
  z1 = 0.0;
  z2 = kRangeFactor * length;
  for (;;) {
    static const qx::Format kAsk{
        "(1H ,'Perform a trace through the system.',/,1H ,'Initial and final z-positions (',1P,G12.5,' to ',1P,"
        "G12.5,') > ',$)"};
    v.term.write(kAsk, z1, z2);
    const qx::Answer a = qx::qxread(v.in(), v.term, v.echo(), z1, z2);
    if (a == qx::Answer::end) return false;
    if (a != qx::Answer::accepted) continue;
    if (z1 >= 0.0 && z2 >= 0.0) return true;
    v.term.write(kNegative);
  }
}

struct Extents {
  double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;   // mm
  bool any = false;
  void take(const Vec4& ray) {
    const double x = ray(1) * kMillimetres;
    const double y = ray(3) * kMillimetres;
    if (!any) {
      xmin = xmax = x;
      ymin = ymax = y;
      any = true;
    }
    xmin = std::min(xmin, x);
    xmax = std::max(xmax, x);
    ymin = std::min(ymin, y);
    ymax = std::max(ymax, y);
  }
  double largest() const {
    return std::max({std::fabs(xmin), std::fabs(xmax), std::fabs(ymin), std::fabs(ymax)});
  }
};

// The ray at the ends of the range and at the middle and the end of every element between
// them: in a drift the ray is straight, so its extremes lie at element boundaries or inside
// the lenses.
Extents trace_extents(Vorne& v, double z1, double z2, double step, const Vec4& beam, const TruncatedResult& first,
                      const TruncatedResult& last) {
  Extents e;
  e.take(first.ray);
  e.take(last.ray);
  const LensSystem& s = v.sys;   // each evaluation puts it back as it was
  double start = 0.0;
  for (int k = kFirstElementRow; k < s.izend && k <= kRows; ++k) {
    if (s.type_at(k).supra == 1) continue;
    const double len = s.p(k, 2);
    for (const double z : {start + len / 2.0, start + len})
      if (z > z1 && z < z2) e.take(cut_at(v, z, step, beam).ray);
    start += len;
  }
  return e;
}

// The plot extent: false when the input ends.
bool ask_extent(Vorne& v, const Extents& e, double& e1, double& e2) {
  const double m = e.largest();
  e2 = m > 0.0 ? kExtentFactor * m : kEmptyExtent;
  e1 = -e2;
  static const qx::Format kShow{
      "(1H ,9X,'Extents in xoz plane: ',1P,G12.5,' to ',1P,G12.5,' mm',/,1H ,9X,'Extents in yoz plane: ',1P,G12.5,"
      "' to ',1P,G12.5,' mm')"};
  v.term.write(kShow, e.xmin, e.xmax, e.ymin, e.ymax);
  for (;;) {
    static const qx::Format kAsk{"(1H ,9X,'Extent for plot, mm ( ',1P,G12.5,' to ',1P,G12.5,') > ',$)"};
    v.term.write(kAsk, e1, e2);
    const qx::Answer a = qx::qxread(v.in(), v.term, v.echo(), e1, e2);
    if (a == qx::Answer::end) return false;
    if (a != qx::Answer::accepted) continue;
    if (e1 != e2) {
      if (e1 > e2) std::swap(e1, e2);
      return true;
    }
    static const qx::Format kEmpty{"(1H ,'?TRACE- The extent must not be empty.')"};
    v.term.write(kEmpty);
  }
}

// Collision steps of the x and the y ray (n+1: no hit).
struct Collisions {
  int x = 0;
  int y = 0;
};

// The test at step k: a collimator jaw stops the curve before the step, a pole tip at it.
void test_collision(const LensSystem& s, const TruncatedResult& r, int k, int unset, Collisions& c) {
  const int row = r.at.test_row;
  if (row < kFirstElementRow || row >= s.izend) return;
  const TypeCode t = s.type_at(row);
  const double x = r.ray(1);
  const double y = r.ray(3);
  if (t.type == kCollimator) {
    const bool y_plane = std::abs(t.coupling) >= 2;
    const double u = y_plane ? y : x;
    int& hit = y_plane ? c.y : c.x;
    if ((u < s.p(row, 3) - s.p(row, 4) || u > s.p(row, 3) + s.p(row, 4)) && hit == unset) hit = k - 1;
  } else if (t.polarity != 0) {
    const double bore = bore_radius(s, row);
    if (bore > 0.0 && std::sqrt(x * x + y * y) > bore) {
      if (c.x == unset) c.x = k;
      if (c.y == unset) c.y = k;
    }
  }
}

void perform(Vorne& v, const qx::CommandLine& line, bool repeat) {
  if (!require_system(v)) return;
  TraceSettings& t = v.trace;
  if (repeat && !t.repeatable) {
    static const qx::Format kNoRepeat{"(1H ,'?TRACE- There is no trace to repeat.')"};
    v.term.write(kNoRepeat);
    return;
  }
  const SystemSnapshot keep(v.sys, v.walk);
  const int n = trace_steps(v, line.number, repeat ? t.steps : kDefaultTraceSteps);
  static const qx::Format kUnable{"(1H ,'?TRACE- Unable to open ',A)"};
  std::unique_ptr<qx::FileOutput> file;
  if (t.save) {
    // A new "trace.dat" takes the old one's place only when the trace is complete.
    file = qx::FileOutput::open(kTraceFile, qx::FileOutput::Mode::atomic, 2);
    if (!file) {
      v.term.write(kUnable, kTraceFile);
      return;
    }
    static const qx::Format kHeader{"(1H ,'iz:it z (m),  x (mm), theta (mr), y(mm), phi (mr)')"};
    file->write(kHeader);
    static const qx::Format kToBeSaved{"(1H ,' Trajectories to be saved in trace.dat')"};
    v.term.write(kToBeSaved);
  }
  Vec4 beam;
  for (int i = 1; i <= 4; ++i) beam(i) = v.sys.p(2, i + 1);
  if (!repeat) {
    static const qx::Format kBeam{
        "(1H ,'Inital beam: (',1P,G12.5,'um,',1P,G12.5,'mr,',1P,G12.5,'um,',1P,G12.5,'mr)')"};
    v.term.write(kBeam, beam(1) * kMicrometresPerMetre, beam(2) * kMillimetres, beam(3) * kMicrometresPerMetre,
                 beam(4) * kMillimetres);
    static const qx::Format kOrder{"(1H ,'Trace performed to order ',I9)"};
    v.term.write(kOrder, t.order);
  }
  const double length = plain_length(v.sys);
  double z1 = t.z1, z2 = t.z2;
  if (!repeat && !ask_range(v, length, z1, z2)) return;
  v.sys.total_length = length;

  double step = (z2 - z1) / n;
  static const qx::Format kStep{"(1H ,'Step size = ',1P,G12.5,' mm')"};
  v.term.write(kStep, step * kMillimetres);
  if (step < kMinStep) {
    static const qx::Format kReset{"(1H ,'Resetting step size to 0.1 mm')"};
    v.term.write(kReset);
    step = kMinStep;
    z2 = std::max(z2, z1 + kMinStep);
  }
  const TruncatedResult first = cut_at(v, z1, step, beam);
  const TruncatedResult last = cut_at(v, z2, step, beam);
  static const qx::Format kRows{"(1H ,'Initial: ',I3,' Final: ',I3)"};
  v.term.write(kRows, first.at.row, last.at.row);
  double e1 = t.e1, e2 = t.e2;
  if (!repeat && !ask_extent(v, trace_extents(v, z1, z2, step, beam, first, last), e1, e2)) return;
  const char device = repeat ? t.device : line.option;
  t.repeatable = true;
  t.device = device;
  t.steps = n;
  t.z1 = z1;
  t.z2 = z2;
  t.e1 = e1;
  t.e2 = e2;

  std::vector<TraceStep> steps;
  TracePlot plot{device, z1, z2, e1, e2, t.font, &steps, 0};
  if (start_trace_plot(v.qx, v.in(), v.term, plot) != 0) {
    static const qx::Format kNoPlot{"(1H ,'Error starting plot.')"};
    v.term.write(kNoPlot);
    return;
  }
  if (t.wait > kMinWait) std::this_thread::sleep_for(std::chrono::duration<double>(t.wait));

  const int unset = n + 1;
  Collisions hit{unset, unset};
  // Positions from the start and the step each time, so no sum drifts; the last one may round
  // a hair past z2 and is still the end of the range.
  const double tolerance = 1.0E-9 * step;
  steps.reserve(static_cast<std::size_t>(n) + 1);
  for (int k = 1; k <= n + 1; ++k) {
    const double z = z1 + (k - 1) * step;
    if (z > z2 + tolerance) break;
    const TruncatedResult r = cut_at(v, z, step, beam);
    static const qx::Format kRecord{
        "(1H ,I2,':',I2,' z:',1P,G12.5,',',1P,G12.5,',',1P,G12.5,',',1P,G12.5,',',1P,G12.5)"};
    if (file)
      file->write(kRecord, r.at.row, r.type, z, r.ray(1) * kMillimetres, r.ray(2) * kMillimetres,
                  r.ray(3) * kMillimetres, r.ray(4) * kMillimetres);
    steps.push_back({z, r.ray(1) * kMillimetres, r.ray(3) * kMillimetres});
    if (t.collimation) test_collision(v.sys, r, k, unset, hit);
  }
  plot.drawn = std::min(hit.x, hit.y);
  draw_trace(v.qx, v.sys, plot);

  v.term.list("nstep", n, " icollx ", hit.x, " icolly ", hit.y);
  if (file) {
    if (!file->commit()) v.term.write(kUnable, kTraceFile);
    static const qx::Format kClosing{"(1H ,' Closing trajectory file: trace.dat')"};
    v.term.write(kClosing);
  }
}

}  // namespace

double bore_radius(const LensSystem& s, int row) {
  const TypeCode t = s.type_at(row);
  if (t.polarity == 0) return -1.0;
  switch (t.type) {
    case kQuadrupole:
    case kSextupole:
    case kOctupole:
    case kAccelerator:
    case kSolenoid:
    case kEinzelLens:
      return s.p(row, 4);
    case kGapLens:
      return s.p(row, 3);
    default:   // dipoles, velocity selectors, cylinder lenses: columns 3 and 4 hold fields
      return -1.0;
  }
}

void cmd_trace(Vorne& v, const qx::CommandLine& line) {
  switch (line.option) {
    case 'O':
      set_order(v, line.number);
      return;
    case 'W':
      set_wait(v, line.number);
      return;
    case 'F':
      set_font(v, line.number);
      return;
    case 'D':
      if (line.arg_letter() == 'C') {
        v.qx.gfx.auto_clear = false;
        static const qx::Format kNoClear{"(1H ,'TEK4010 auto clear disabled.')"};
        v.term.write(kNoClear);
      }
      return;
    case 'S':
      v.trace.save = true;
      static const qx::Format kSave{"(1H ,' Trajectories saved in trace.dat')"};
      v.term.write(kSave);
      return;
    case 'C':
      v.trace.collimation = false;
      static const qx::Format kNoTest{"(1H ,' Rays not to be tested for collimation by pole tips.')"};
      v.term.write(kNoTest);
      return;
    case 'E':
      return;
    default:
      perform(v, line, line.option == 'R');
  }
}

}  // namespace vorne
