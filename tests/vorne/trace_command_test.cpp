// TRACE and SPEC driven as commands with scripted answers: the qualifiers, the collision test
// against bores and jaws (and the kinds it leaves alone), TRACE/R, the step limits, and the
// system put back bit for bit after every ending (done, cancelled at each prompt, no device).
#include <cstring>

#include "qx/command.h"
#include "reports/astigmatism_scan.h"
#include "reports/trace.h"
#include "trace_expect.h"

namespace {

using namespace optics_test;

// The program state with a system and a script of answers.
struct Driven {
  qx::StringOutput term;
  vorne::Vorne v;
  Driven(const vorne::LensSystem& s, std::string script)
      : v(term, std::make_unique<qx::StringInput>(std::move(script))) {
    v.sys = s;
    v.idiag = -1;
    v.qx.gfx.terminal = "/nonexistent-directory/tty";   // a screen plot can never start here
  }
  std::string run(const std::string& line, void (*cmd)(vorne::Vorne&, const qx::CommandLine&) = vorne::cmd_trace) {
    term.clear();
    cmd(v, qx::prepare_line(line, v.qx));
    return term.text();
  }
};

// The steps list-directed after "nstep", "icollx" and "icolly".
struct Counts {
  int n = -1, x = -1, y = -1;
};
Counts counts(const std::string& out) {
  Counts c;
  const std::size_t at = out.find("nstep");
  if (at == std::string::npos) return c;
  std::sscanf(out.c_str() + at, "nstep %d icollx %d icolly %d", &c.n, &c.x, &c.y);
  return c;
}

// The focused triplet after a walk.
vorne::LensSystem triplet() {
  Rig r;
  r.load("triplet_focused.vrn");
  r.walk();
  return r.s;
}

TEST(TraceCommand, QualifiersSetAndSay) {
  Driven d(triplet(), "");
  struct Case {
    const char* line;
    const char* said;
  };
  const Case cases[] = {
      {"TRACE/O 2.6", " Order set to   3\n"},
      {"TRACE/O -4", " Order set to   1\n"},
      {"TRACE/O 5000", " ?TRACE- The order must be 1 to 999.\n"},
      {"TRACE/W 2.5", " Wait before plot set to   2.50 seconds.\n"},
      {"TRACE/W 1000", " ?TRACE- The wait must be 0 to 60 seconds.\n"},
      {"TRACE/W 0", " Wait before plot set to   0.00 seconds.\n"},
      {"TRACE/F 3", " Font set to 3\n"},
      {"TRACE/F 9", " ?TRACE- The font must be 0 to 8.\n"},
      {"TRACE/D C", " TEK4010 auto clear disabled.\n"},
      {"TRACE/D", ""},
      {"TRACE/S", "  Trajectories saved in trace.dat\n"},
      {"TRACE/C", "  Rays not to be tested for collimation by pole tips.\n"},
      {"TRACE/E", ""},
      {"TRACE/R", " ?TRACE- There is no trace to repeat.\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(d.run(c.line), c.said) << c.line;
  EXPECT_EQ(d.v.trace.order, 1);
  EXPECT_EQ(d.v.trace.wait, 0.0f);
  EXPECT_EQ(d.v.trace.font, 3);
  EXPECT_FALSE(d.v.qx.gfx.auto_clear);
  EXPECT_TRUE(d.v.trace.save);
  EXPECT_FALSE(d.v.trace.collimation);
}

TEST(TraceCommand, BoreRadiusColumnByKind) {
  Rig r;
  struct Case {
    double code;
    double expected;   // column 3 = 0.3, column 4 = 0.4 in every row; -1 not tested
  };
  const Case cases[] = {{4.00, 0.4},  {14.00, 0.4}, {6.00, 0.4},  {8.00, 0.4},  {10.00, 0.4}, {11.00, 0.4},
                        {15.00, 0.4}, {13.00, 0.3}, {2.00, -1.0}, {12.00, -1.0}, {7.00, -1.0}, {17.00, -1.0},
                        {3.00, -1.0}, {5.00, -1.0}};
  for (const Case& c : cases) {
    const int row = r.add(c.code, 0.1, 0.3, 0.4);
    EXPECT_EQ(vorne::bore_radius(r.s, row), c.expected) << c.code;
  }
}

// Drift 1 m, an element of 0.5 m, drift 0.5 m; the ray leaves the axis at 3 mrad in the
// plane(s) given, so it is 3 mm off at z = 1 m.
vorne::LensSystem straight_system(double code, double p2, double p3, bool x, bool y) {
  Rig r;
  r.beam(0.0, x ? 3e-3 : 0.0, 0.0, y ? 3e-3 : 0.0);
  r.add(3.00, 1.0);
  r.add(code, code == 5.00 || code == 5.20 ? 0.0 : 0.5, p2, p3);
  r.add(3.00, code == 5.00 || code == 5.20 ? 1.0 : 0.5);
  r.end();
  r.walk();
  return r.s;
}

TEST(TraceCommand, CurvesStopWhereTheRayHitsABoreOrMissesAJaw) {
  // 20 steps over 0..2 m: step k is at z = (k-1) 0.1 m; the element starts at k = 11.
  struct Case {
    const char* what;
    double code, p2, p3;
    bool x, y;
    int icollx, icolly;
  };
  const Case cases[] = {
      {"quadrupole bore 2 mm", 4.00, 0.0, 0.002, true, false, 11, 11},
      {"quadrupole bore 5 mm (at 4.5 mm the ray still passes)", 4.00, 0.0, 0.005, true, false, 21, 21},
      {"solenoid bore 2 mm, y plane", 11.00, 0.0, 0.002, false, true, 11, 11},
      {"x collimator +-1 mm stops x before it", 5.00, 0.0, 0.001, true, false, 10, 21},
      {"x collimator offset 3 mm lets it pass", 5.00, 0.003, 0.001, true, false, 21, 21},
      {"y collimator ignores x", 5.20, 0.0, 0.001, true, false, 21, 21},
      {"y collimator stops y", 5.20, 0.0, 0.001, false, true, 21, 10},
      // Column 4 of a dipole is a field, column 4 of a gap lens is unused: neither is a bore.
      {"dipole with 1E-4 T in column 4", 2.00, 0.0, 1e-4, true, true, 21, 21},
      {"gap lens with its radius 10 mm in column 3", 13.00, 0.01, 1e-4, true, true, 21, 21},
  };
  for (const Case& c : cases) {
    Driven d(straight_system(c.code, c.p2, c.p3, c.x, c.y), "0 2\n\n");
    const Counts n = counts(d.run("TRACE/U 20"));
    EXPECT_EQ(n.n, 20) << c.what;
    EXPECT_EQ(n.x, c.icollx) << c.what;
    EXPECT_EQ(n.y, c.icolly) << c.what;
    // TRACE/C: later traces are not tested.
    Driven off(straight_system(c.code, c.p2, c.p3, c.x, c.y), "0 2\n\n");
    off.run("TRACE/C");
    const Counts m = counts(off.run("TRACE/U 20"));
    EXPECT_EQ(m.x, 21) << c.what;
    EXPECT_EQ(m.y, 21) << c.what;
  }
}

TEST(TraceCommand, RepeatAsksNothingAndUsesTheLastRangeStepsAndDevice) {
  Driven d(triplet(), "5 5.6\n-2 2\n");
  const std::string first = d.run("TRACE/U 30");
  EXPECT_NE(first.find("Perform a trace"), std::string::npos);
  const std::string again = d.run("TRACE/R");
  EXPECT_EQ(again.find("Perform a trace"), std::string::npos);
  EXPECT_EQ(again.find("Extent for plot"), std::string::npos);
  EXPECT_EQ(again.find("Inital beam"), std::string::npos);
  EXPECT_NE(again.find(" Step size =   20.000     mm\n"), std::string::npos) << again;
  EXPECT_EQ(counts(again).n, 30);
  EXPECT_EQ(d.v.trace.device, 'U');
  EXPECT_EQ(d.v.trace.e1, -2.0);
  EXPECT_EQ(d.v.trace.e2, 2.0);
}

TEST(TraceCommand, StepLimitsAndNegativePositions) {
  const vorne::LensSystem sys = triplet();
  {
    Driven d(sys, "0 1\n\n");
    const std::string out = d.run("TRACE/U 20000");
    EXPECT_NE(out.find(" %TRACE- At most 10000 steps; 10000 taken.\n"), std::string::npos);
    EXPECT_EQ(counts(out).n, 10000);
  }
  {
    // -1 is asked again; then 0.001 m in 250 steps is below 0.1 mm a step.
    Driven d(sys, "-1 2\n0 0.001\n\n");
    const std::string out = d.run("TRACE/U");
    EXPECT_NE(out.find(" ?TRACE- Positions must not be negative.\n Perform a trace"), std::string::npos) << out;
    EXPECT_NE(out.find(" Step size =  4.00000E-03 mm\n Resetting step size to 0.1 mm\n"), std::string::npos) << out;
    EXPECT_EQ(counts(out).n, 250);
  }
}

template <class T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

TEST(TraceCommand, EveryEndingLeavesTheSystemAsItWas) {
  Rig r;
  r.load("octupole_triplet.vrn");
  r.walk(3);
  vorne::chromatic_run(r.v, 0.2);
  r.s.total_length = 1.25;   // whatever it holds comes back, even when TRACE sets it for a while
  struct Case {
    const char* line;
    const char* script;
    const char* last_words;   // the end of what the command said
  };
  const Case cases[] = {
      {"TRACE/U 40", "\n\n", "icolly"},
      {"TRACE/O 3", "", "Order set to"},
      {"TRACE/U 40", "\n\n", "icolly"},                 // at order 3 now
      {"TRACE/U 40", "", "z-positions"},                 // end of input at the range
      {"TRACE/U 40", "0.5 1\n", "Extent for plot"},      // and at the extent
      {"TRACE 40", "\n\n", " Error starting plot.\n"},   // the screen cannot start
      {"TRACE/R", "", " Error starting plot.\n"},
      {"SPEC", "", "Filename for output > "},
      {"SPEC", "unopenable-dir/x\n", "Filename for output > "},
  };
  Driven d(r.s, "");
  d.v.walk = r.v.walk;
  const vorne::LensSystem sys = d.v.sys;
  const vorne::WalkResult walk = d.v.walk;
  for (const Case& c : cases) {
    Driven run(r.s, c.script);
    run.v.walk = r.v.walk;
    run.v.trace = d.v.trace;
    const std::string out = run.run(c.line, c.line[0] == 'S' ? vorne::cmd_spec : vorne::cmd_trace);
    d.v.trace = run.v.trace;
    const std::string tail = c.last_words;
    EXPECT_NE(out.find(tail), std::string::npos) << c.line << "\n" << out;
    EXPECT_TRUE(out.size() >= tail.size() && out.rfind(tail) + tail.size() + 60 > out.size()) << c.line << "\n" << out;
    for (int iz = 1; iz <= vorne::kRows; ++iz)
      for (int col = 1; col <= vorne::kColumns; ++col)
        ASSERT_TRUE(same_bits(run.v.sys.p(iz, col), sys.p(iz, col))) << c.line << " row " << iz << " col " << col;
    EXPECT_EQ(run.v.sys.izend, sys.izend) << c.line;
    EXPECT_TRUE(same_bits(run.v.sys.total_length, sys.total_length)) << c.line;
    EXPECT_TRUE(same_bits(run.v.walk.s, walk.s) && same_bits(run.v.walk.total, walk.total) &&
                same_bits(run.v.walk.s2, walk.s2) && same_bits(run.v.walk.chromatic, walk.chromatic) &&
                same_bits(run.v.walk.element_matrix, walk.element_matrix))
        << c.line;
  }
}

}  // namespace
