#include "qx/stepit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "session.h"

namespace {

using qx::StepitSettings;
using qx::StepitStatus;
using qx::StepitVector;
using Function = std::function<double(std::span<const double>)>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double rosenbrock(std::span<const double> x) {
  double sum = 0.0;
  for (std::size_t i = 0; i + 1 < x.size(); ++i) {
    const double a = x[i + 1] - x[i] * x[i];
    const double b = 1.0 - x[i];
    sum += 100.0 * a * a + b * b;
  }
  return sum;
}

StepitSettings settings(std::vector<double> x, double deltax = 0.0, double delmin = 0.0) {
  StepitSettings s;
  s.nv = static_cast<int>(x.size());
  s.ntrace = -1;
  for (int i = 0; i < s.nv; ++i) {
    s.x[i] = x[i];
    s.deltax[i] = deltax;
    s.delmin[i] = delmin;
  }
  return s;
}

// Runs STEPIT on f and watches every evaluation: each active variable inside its bounds
// (the defaults when the caller's are unusable), held variables at their start values,
// jvary naming the single variable changed since the previous evaluation. Afterwards the
// result must be the best point of all those evaluated.
class Watched {
 public:
  explicit Watched(Function f) : f_(std::move(f)) {}

  qx::StepitResult run(const StepitSettings& s, qx::Output& out) {
    bool all_held = true;
    for (int i = 0; i < s.nv; ++i) all_held = all_held && s.mask[i] != 0;
    auto objective = [&](std::span<const double> x, int jvary) {
      EXPECT_EQ(x.size(), static_cast<std::size_t>(s.nv));
      StepitVector p{};
      for (int i = 0; i < s.nv; ++i) {
        p[i] = x[i];
        if (s.mask[i] != 0 && !all_held) {
          if (x[i] != s.x[i]) ++held_moved;
          continue;
        }
        const bool own = s.xmax[i] > s.xmin[i];
        const double hi = own ? s.xmax[i] : double{1.0E20f};
        const double lo = own ? s.xmin[i] : -double{1.0E20f};
        if (!(x[i] >= lo && x[i] <= hi)) ++outside;
      }
      if (!points.empty()) {
        int changed = 0, which = 0;
        for (int i = 0; i < s.nv; ++i)
          if (p[i] != points.back()[i]) ++changed, which = i + 1;
        if (jvary != (changed == 1 ? which : 0)) ++wrong_jvary;
      } else if (jvary != 0) {
        ++wrong_jvary;
      }
      const double v = f_(x);
      points.push_back(p);
      values.push_back(v);
      return v;
    };
    const qx::StepitResult r = qx::stepit(s, objective, out);
    EXPECT_EQ(outside, 0) << "evaluations outside the bounds";
    EXPECT_EQ(held_moved, 0) << "held variables changed";
    EXPECT_EQ(wrong_jvary, 0) << "jvary wrong";
    check_best(r, s.nv);
    return r;
  }

  std::vector<StepitVector> points;
  std::vector<double> values;
  int outside = 0, held_moved = 0, wrong_jvary = 0;

 private:
  void check_best(const qx::StepitResult& r, int nv) const {
    if (values.empty()) return;
    std::size_t best = 0;
    for (std::size_t k = 1; k < values.size(); ++k)
      if (!std::isnan(values[k]) && (std::isnan(values[best]) || values[k] < values[best])) best = k;
    if (std::isnan(values[best])) {
      EXPECT_TRUE(std::isnan(r.fobj));
      return;
    }
    EXPECT_EQ(r.fobj, values[best]) << "the result is not the best value evaluated";
    for (int i = 0; i < nv; ++i) EXPECT_EQ(r.x[i], points[best][i]) << "variable " << i + 1;
  }

  Function f_;
};

TEST(Stepit, RosenbrockInTwoAndFiveVariables) {
  qx::StringOutput out;
  {
    Watched w(rosenbrock);
    const auto r = w.run(settings({-1.2, 1.0}, 0.1, 1e-9), out);
    EXPECT_EQ(r.status, StepitStatus::converged);
    EXPECT_NEAR(r.x[0], 1.0, 1e-6);
    EXPECT_NEAR(r.x[1], 1.0, 1e-6);
    EXPECT_LT(r.fobj, 1e-12);
    EXPECT_EQ(r.nfunc, static_cast<long>(w.values.size()));
  }
  {
    Watched w(rosenbrock);
    const auto r = w.run(settings({-1.2, 1.0, -1.2, 1.0, -1.2}, 0.1, 1e-9), out);
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(r.x[i], 1.0, 1e-5) << i;
    EXPECT_LT(r.fobj, 1e-10);
  }
  EXPECT_EQ(out.text(), "");
}

TEST(Stepit, CorrelatedQuadraticBowl) {
  // Strongly correlated valleys defeat searches along the axes alone; the giant steps
  // must carry the search along them.
  const double c[3] = {1.0, -2.0, 0.5};
  Watched w([&](std::span<const double> x) {
    const double a = x[0] - c[0], b = x[1] - c[1], d = x[2] - c[2];
    return a * a + 4.0 * b * b + d * d + 3.8 * a * b + 0.9 * b * d;
  });
  qx::StringOutput out;
  const auto r = w.run(settings({5.0, 5.0, 5.0}, 0.5, 1e-9), out);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.x[i], c[i], 1e-6) << i;
  EXPECT_LT(r.fobj, 1e-12);
  EXPECT_LT(r.nfunc, 3000);
}

TEST(Stepit, MinimumOnABoundIsReachedFromInside) {
  // The free minimum (3, -1) lies outside x <= 2; the bound is the answer.
  Watched w([](std::span<const double> x) { return (x[0] - 3.0) * (x[0] - 3.0) + (x[1] + 1.0) * (x[1] + 1.0); });
  StepitSettings s = settings({-4.0, 0.0}, 0.3, 1e-10);
  s.xmin[0] = -5.0;
  s.xmax[0] = 2.0;
  s.xmin[1] = -0.5;   // the second variable's minimum lies beyond its lower bound
  s.xmax[1] = 10.0;
  qx::StringOutput out;
  const auto r = w.run(s, out);
  EXPECT_EQ(r.x[0], 2.0);
  EXPECT_EQ(r.x[1], -0.5);
  EXPECT_DOUBLE_EQ(r.fobj, 1.25);
}

TEST(Stepit, StartOutsideTheBoundsIsClampedAndUnusableBoundsAreWidened) {
  Watched w([](std::span<const double> x) { return (x[0] - 1.0) * (x[0] - 1.0) + (x[1] - 7.0) * (x[1] - 7.0); });
  StepitSettings s = settings({10.0, 3.0}, 0.1);
  s.xmin[0] = 2.0;
  s.xmax[0] = 4.0;   // start 10 becomes 4, minimum at the lower bound 2
  s.xmin[1] = 5.0;
  s.xmax[1] = 5.0;   // equal bounds: the variable is free
  qx::StringOutput out;
  const auto r = w.run(s, out);
  EXPECT_EQ(w.points.front()[0], 4.0);
  EXPECT_EQ(r.x[0], 2.0);
  EXPECT_NEAR(r.x[1], 7.0, 1e-6);
}

TEST(Stepit, NegligibleStartStepsBecomeOnePercent) {
  // X = 0: step 0.01; X = 5: step 0.05, both from the single-precision 0.01.
  Watched w([](std::span<const double> x) { return (x[0] - 0.3) * (x[0] - 0.3) + (x[1] - 5.2) * (x[1] - 5.2); });
  StepitSettings s = settings({0.0, 5.0});
  s.deltax[1] = 1e-9;   // |step| * 2E8 <= |X|: as good as no step
  qx::StringOutput out;
  const auto r = w.run(s, out);
  ASSERT_GE(w.points.size(), 3u);
  const double step0 = w.points[1][0] - 0.0;
  EXPECT_NEAR(step0, 0.01, 1e-9);
  EXPECT_NE(step0, 0.01);   // 0.01 rounded to single precision
  // The first trial of the second variable follows the search of the first.
  std::size_t k = 1;
  while (k < w.points.size() && w.points[k][1] == 5.0) ++k;
  ASSERT_LT(k, w.points.size());
  EXPECT_NEAR(w.points[k][1] - 5.0, 0.05, 1e-7);
  EXPECT_NEAR(r.x[0], 0.3, 1e-6);
  EXPECT_NEAR(r.x[1], 5.2, 1e-6);
}

TEST(Stepit, SearchEndsWhenEveryStepIsBelowItsMinimum) {
  Watched w([](std::span<const double> x) { return std::fabs(x[0] - 0.123456789) + std::fabs(x[1] + 0.5); });
  qx::StringOutput out;
  StepitSettings s = settings({0.0, 0.0}, 0.1);
  s.delmin[1] = 1e-4;   // the first keeps the default |DELTAX| / 2E8
  const auto r = w.run(s, out);
  EXPECT_LE(std::fabs(r.steps[0]) * 10.0, 0.1 / 2.0E8);
  EXPECT_LE(std::fabs(r.steps[1]) * 10.0, 1e-4);
  EXPECT_NEAR(r.x[0], 0.123456789, 1e-8);
  EXPECT_NEAR(r.x[1], -0.5, 1e-4);
}

TEST(Stepit, ParabolasLandOnTheVertexOfAQuadratic) {
  qx::StringOutput out;
  {
    // 1 is lower than 0, 3 is not: the parabola through 0, 1, 3 has its vertex at 1.7.
    Watched w([](std::span<const double> x) { return (x[0] - 1.7) * (x[0] - 1.7); });
    w.run(settings({0.0}, 1.0), out);
    ASSERT_GE(w.points.size(), 4u);
    EXPECT_NEAR(w.points[3][0], 1.7, 1e-12);
  }
  {
    // Neither 1 nor -1 is lower than 0: the vertex through -1, 0, 1 lies at 0.3.
    Watched w([](std::span<const double> x) { return (x[0] - 0.3) * (x[0] - 0.3); });
    w.run(settings({0.0}, 1.0), out);
    ASSERT_GE(w.points.size(), 4u);
    EXPECT_EQ(w.points[1][0], 1.0);
    EXPECT_EQ(w.points[2][0], -1.0);
    EXPECT_NEAR(w.points[3][0], 0.3, 1e-12);
  }
}

TEST(Stepit, NegativeStepsWorkLikePositiveOnes) {
  // Steps and their minima are compared by magnitude, the default minimum included.
  for (const double delmin : {-1e-9, 0.0}) {
    Watched w([](std::span<const double> x) { return (x[0] + 2.5) * (x[0] + 2.5); });
    qx::StringOutput out;
    const auto r = w.run(settings({4.0}, -0.2, delmin), out);
    EXPECT_EQ(r.status, StepitStatus::converged);
    EXPECT_NEAR(r.x[0], -2.5, 1e-8);
    EXPECT_LT(r.nfunc, 500);
  }
}

TEST(Stepit, HeldVariablesStayAndAllHeldMeansAllVaried) {
  auto f = [](std::span<const double> x) {
    return (x[0] - 1.0) * (x[0] - 1.0) + (x[1] - 2.0) * (x[1] - 2.0) + (x[2] - 3.0) * (x[2] - 3.0);
  };
  qx::StringOutput out;
  {
    Watched w(f);
    StepitSettings s = settings({0.0, 0.0, 0.0}, 0.1);
    s.mask[1] = 1;
    const auto r = w.run(s, out);
    EXPECT_NEAR(r.x[0], 1.0, 1e-6);
    EXPECT_EQ(r.x[1], 0.0);
    EXPECT_NEAR(r.x[2], 3.0, 1e-6);
  }
  {
    Watched w(f);
    StepitSettings s = settings({0.0, 0.0, 0.0}, 0.1);
    s.mask = {1, -1, 7};
    const auto r = w.run(s, out);
    EXPECT_NEAR(r.x[0], 1.0, 1e-6);
    EXPECT_NEAR(r.x[1], 2.0, 1e-6);
    EXPECT_NEAR(r.x[2], 3.0, 1e-6);
  }
}

TEST(Stepit, NoVariablesMeansOneEvaluation) {
  Watched w([](std::span<const double> x) { return 42.0 + static_cast<double>(x.size()); });
  qx::StringOutput out;
  StepitSettings s = settings({});
  s.matrx = 100;
  const auto r = w.run(s, out);
  EXPECT_EQ(r.status, StepitStatus::converged);
  EXPECT_EQ(r.nfunc, 1);
  EXPECT_EQ(w.values.size(), 1u);
  EXPECT_EQ(r.fobj, 42.0);
  EXPECT_FALSE(r.err_valid);
}

TEST(Stepit, FlatAndNaNObjectivesEndAndNaNIsNeverAnImprovement) {
  qx::StringOutput out;
  for (const double level : {1.0, kNaN}) {
    Watched w([&](std::span<const double>) { return level; });
    const auto r = w.run(settings({1.0, 2.0, 3.0}, 0.5), out);
    EXPECT_EQ(r.status, StepitStatus::converged);
    EXPECT_LT(r.nfunc, 200);
    EXPECT_EQ(r.x[0], 1.0);
    EXPECT_EQ(r.x[2], 3.0);
  }
  {
    // NaN where the true minimum is: the search must settle on a number.
    Watched w([](std::span<const double> x) {
      const double d = std::hypot(x[0] - 1.0, x[1] - 1.0);
      return d < 0.3 ? kNaN : d;
    });
    const auto r = w.run(settings({-2.0, -1.0}, 0.2), out);
    EXPECT_TRUE(std::isfinite(r.fobj));
    EXPECT_GE(r.fobj, 0.3);
    EXPECT_LT(r.fobj, 0.31);
  }
  {
    // A NaN start: any number is better.
    Watched w([](std::span<const double> x) { return x[0] < 1.0 ? kNaN : (x[0] - 2.0) * (x[0] - 2.0); });
    const auto r = w.run(settings({0.95}, 0.1), out);
    EXPECT_NEAR(r.x[0], 2.0, 1e-6);
  }
  {
    // Infinities are values: never taken for a parabola's vertex.
    Watched w([](std::span<const double> x) { return x[0] > 3.0 ? std::numeric_limits<double>::infinity() : -x[0]; });
    const auto r = w.run(settings({0.0}, 0.1), out);
    EXPECT_NEAR(r.x[0], 3.0, 1e-6);
  }
  EXPECT_EQ(out.text(), "");
}

TEST(Stepit, EvaluationLimitStopsTheSearchWithTheBestPoint) {
  Watched w(rosenbrock);
  qx::StringOutput out;
  StepitSettings s = settings({-1.2, 1.0, -1.2, 1.0}, 0.1, 1e-12);
  s.nfmax = 150;
  const auto r = w.run(s, out);
  EXPECT_EQ(r.status, StepitStatus::limit_reached);
  EXPECT_EQ(r.nfunc, 150);
  EXPECT_EQ(w.values.size(), 150u);
}

TEST(Stepit, InvalidCallsChangeNothing) {
  qx::StringOutput out;
  int calls = 0;
  const qx::StepitObjective f = [&](std::span<const double>, int) { return ++calls, 0.0; };
  StepitSettings s = settings({1.0, 2.0});
  s.nv = 21;
  auto r = qx::stepit(s, f, out);
  EXPECT_EQ(r.status, StepitStatus::invalid_input);
  s.nv = -1;
  r = qx::stepit(s, f, out);
  EXPECT_EQ(r.status, StepitStatus::invalid_input);
  s.nv = 2;
  s.xmax[1] = std::numeric_limits<double>::infinity();
  r = qx::stepit(s, f, out);
  EXPECT_EQ(r.status, StepitStatus::invalid_input);
  EXPECT_EQ(r.x[0], 1.0);
  EXPECT_EQ(calls, 0);
  EXPECT_NE(out.text(), "");   // said even when the trace is off
}

// ---- Error matrix ----

// f = 1/2 (x - c)' H (x - c) + offset: the error matrix is H^-1 whatever the increments,
// as long as they are large enough for the differences to stand out of the offset.
struct Quadratic {
  double h[3][3] = {{4.0, 1.2, 0.0}, {1.2, 2.0, -0.5}, {0.0, -0.5, 1.0}};
  double c[3] = {0.7, -1.1, 2.0};
  double offset = 5.0;
  double operator()(std::span<const double> x) const {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) sum += 0.5 * (x[i] - c[i]) * h[i][j] * (x[j] - c[j]);
    return sum + offset;
  }
};

TEST(StepitErrorMatrix, InverseOfTheSecondDerivatives) {
  // The inverse, worked out by hand (cofactors of H, det H = 5.56).
  const double inv[3][3] = {{1.75 / 5.56, -1.2 / 5.56, -0.6 / 5.56},
                            {-1.2 / 5.56, 4.0 / 5.56, 2.0 / 5.56},
                            {-0.6 / 5.56, 2.0 / 5.56, 6.56 / 5.56}};
  for (const int matrx : {100, 106}) {
    Quadratic q;
    q.offset = matrx == 100 ? 0.0 : 5.0;   // the final steps alone are tiny
    Watched w(q);
    qx::StringOutput out;
    StepitSettings s = settings({0.0, 0.0, 0.0}, 0.1, 1e-7);
    s.matrx = matrx;
    const auto r = w.run(s, out);
    ASSERT_TRUE(r.err_valid) << matrx;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(r.err[i][j], inv[i][j], 2e-4 * std::fabs(inv[i][i])) << i << j;
    EXPECT_EQ(r.err[3][3], 0.0);
    // The probes come after the search: the count is the search's own.
    EXPECT_GT(static_cast<long>(w.values.size()), r.nfunc);
  }
}

TEST(StepitErrorMatrix, OnlyBetween50And150AndOverActiveVariables) {
  for (const int matrx : {0, 49, 151}) {
    Watched w(Quadratic{});
    qx::StringOutput out;
    StepitSettings s = settings({0.0, 0.0, 0.0}, 0.1, 1e-7);
    s.matrx = matrx;
    const auto r = w.run(s, out);
    EXPECT_FALSE(r.err_valid);
    EXPECT_EQ(static_cast<long>(w.values.size()), r.nfunc) << matrx;
  }
  Watched w(Quadratic{});
  qx::StringOutput out;
  StepitSettings s = settings({0.0, 0.0, 0.0}, 0.1, 1e-7);
  s.matrx = 104;
  s.mask[1] = 1;
  const auto r = w.run(s, out);
  ASSERT_TRUE(r.err_valid);
  // With the second held, the others' block of H is diagonal.
  EXPECT_NEAR(r.err[0][0], 0.25, 1e-5);
  EXPECT_NEAR(r.err[2][2], 1.0, 1e-5);
  EXPECT_NEAR(r.err[0][2], 0.0, 1e-5);
  EXPECT_EQ(r.err[1][1], 0.0);
  EXPECT_EQ(r.err[0][1], 0.0);
}

TEST(StepitErrorMatrix, IncrementsStayInsideTheBounds) {
  // The minimum lies on a bound and the increments are large: the stencil moves inward.
  Watched w([](std::span<const double> x) { return (x[0] - 3.0) * (x[0] - 3.0) + x[0] * x[1] + x[1] * x[1]; });
  StepitSettings s = settings({0.0, 0.0}, 0.1);
  s.xmin[0] = -1.0;
  s.xmax[0] = 1.0;
  s.xmin[1] = -0.75;
  s.xmax[1] = 0.75;
  s.matrx = 110;   // increments far wider than the intervals
  qx::StringOutput out;
  const auto r = w.run(s, out);
  EXPECT_EQ(r.x[0], 1.0);
  ASSERT_TRUE(r.err_valid);
  // H = [[2, 1], [1, 2]] exactly for a quadratic, wherever the stencil sits.
  EXPECT_NEAR(r.err[0][0], 2.0 / 3.0, 1e-9);
  EXPECT_NEAR(r.err[0][1], -1.0 / 3.0, 1e-9);
}

TEST(StepitErrorMatrix, SingularMatrixGivesNone) {
  Watched w([](std::span<const double> x) { return (x[0] - 1.0) * (x[0] - 1.0) + 0.0 * x[1]; });
  qx::StringOutput out;
  StepitSettings s = settings({0.0, 0.0}, 0.1);
  s.matrx = 100;
  const auto r = w.run(s, out);
  EXPECT_FALSE(r.err_valid);
  EXPECT_NEAR(r.x[0], 1.0, 1e-6);
}

// ---- Printed records ----

// The expected records of a hand-worked case, written by a Fortran runtime with the same
// layouts (tests/fortran/stepit_expected.f90).
std::string fortran_expected(const std::string& which) {
  qxtest::TempDir dir;
  const qxtest::RunResult r = qxtest::run_program(qxtest::fortran_exe("stepit_expected"), "", dir.path(), {which});
  EXPECT_EQ(r.status, 0) << which;
  return r.out;
}

void expect_same_lines(const std::string& got, const std::string& want) {
  const std::vector<std::string> g = qxtest::split_lines(got);
  const std::vector<std::string> w = qxtest::split_lines(want);
  for (std::size_t i = 0; i < std::min(g.size(), w.size()); ++i) EXPECT_EQ(g[i], w[i]) << "line " << i + 1;
  EXPECT_EQ(g.size(), w.size());
}

std::string printed(const StepitSettings& s, const Function& f) {
  qx::StringOutput out;
  Watched w(f);
  w.run(s, out);
  return out.text();
}

TEST(StepitRecords, FullTraceOfOneVariable) {
  StepitSettings s = settings({0.0}, 0.125);
  s.ntrace = 1;
  const std::string got = printed(s, [](std::span<const double> x) { return std::max(0.0, 0.75 - x[0]); });
  expect_same_lines(got, fortran_expected("A"));
}

TEST(StepitRecords, SummaryWithoutVariables) {
  StepitSettings s = settings({});
  s.ntrace = 0;
  s.matrx = 100;
  expect_same_lines(printed(s, [](std::span<const double>) { return 42.0; }), fortran_expected("B"));
}

TEST(StepitRecords, ContinuationLinesBeyondTenAndSevenValues) {
  StepitSettings s = settings(std::vector<double>(12, 0.0), 0.5);
  s.ntrace = 0;
  const std::string got = printed(s, [](std::span<const double> x) {
    double sum = 0.0;
    for (const double v : x) sum += v * v;
    return sum;
  });
  expect_same_lines(got, fortran_expected("G"));
}

TEST(StepitRecords, ErrorMatrixAndItsWarnings) {
  struct Case {
    const char* which;
    int matrx;
    Function f;
  };
  const Case cases[] = {
      {"C", 100, [](std::span<const double> x) { return x[0] * x[0] + 2.0 * x[1] * x[1] + x[0] * x[1]; }},
      {"D", 100, [](std::span<const double> x) { return x[0] * x[0]; }},
      {"E", 111,
       [](std::span<const double> x) {
         const double x2 = x[0] * x[0], y2 = x[1] * x[1];
         return x2 + y2 + 0.25 * x[0] * x[1] - x2 * x2 - y2 * y2;
       }},
      {"F", 111,
       [](std::span<const double> x) {
         const double x2 = x[0] * x[0];
         return x2 - x2 * x2 + x[1] * x[1] + 0.5 * x[0] * x[1];
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.which);
    StepitSettings s = settings({0.0, 0.0}, 0.5);
    s.ntrace = 0;
    s.matrx = c.matrx;
    expect_same_lines(printed(s, c.f), fortran_expected(c.which));
  }
}

TEST(StepitRecords, EvaluationLimitIsReported) {
  StepitSettings s = settings({-1.2, 1.0}, 0.1);
  s.ntrace = 0;
  s.nfmax = 150;
  const std::string got = printed(s, rosenbrock);
  const std::string stopped =
      "\n\n SEARCH STOPPED AFTER THE LIMIT OF    150 FUNCTION COMPUTATIONS.\n\n\n   150 FUNCTION COMPUTATIONS \n";
  EXPECT_NE(got.find(stopped), std::string::npos) << got;
}

TEST(StepitRecords, OscillationGiantStepsStartFromTheEarlierPoint) {
  // After "PERIOD p", the first giant step goes from the point p cycles back through the
  // current best point X and beyond: X(k) + ACK d lands on X, so the first new point is
  // X + ACK**2 d with d = (X - X(k)) / ACK. Each evaluation is marked in the transcript
  // so that it can be placed among the records.
  qx::StringOutput out;
  std::vector<StepitVector> points;
  std::vector<double> values;
  const qx::StepitObjective f = [&](std::span<const double> x, int) {
    points.push_back({x[0], x[1]});
    values.push_back(rosenbrock(x));
    out.put("@\n");
    return values.back();
  };
  StepitSettings s = settings({-1.2, 1.0}, 0.1);
  s.ntrace = 1;
  qx::stepit(s, f, out);

  const std::regex oscillation("^ \\*{8}      POSSIBLE OSCILLATION WITH PERIOD +(\\d+) DETECTED\\.$");
  std::vector<StepitVector> cycle_ends;   // the best point at each cycle record of this step size
  StepitVector best{};
  double fbest = std::numeric_limits<double>::infinity();
  std::size_t k = 0;
  bool pending = false;
  StepitVector expect{};
  int checked = 0;
  std::smatch m;
  for (const std::string& l : qxtest::split_lines(out.text())) {
    if (l == "@") {
      if (pending) {
        for (int i = 0; i < 2; ++i) EXPECT_NEAR(points[k][i], expect[i], 1e-12 * (1.0 + std::fabs(expect[i]))) << k;
        pending = false;
        ++checked;
      }
      if (values[k] < fbest) fbest = values[k], best = points[k];
      ++k;
    } else if (l.find("NO. OF STEPS") != std::string::npos) {
      cycle_ends.push_back(best);
    } else if (l == " STEP SIZES REDUCED TO....") {
      cycle_ends.clear();
    } else if (std::regex_match(l, m, oscillation)) {
      const std::size_t period = std::stoul(m[1]);
      ASSERT_LT(period, cycle_ends.size());
      const StepitVector& earlier = cycle_ends[cycle_ends.size() - 1 - period];
      for (int i = 0; i < 2; ++i) expect[i] = best[i] + 2.0 * (best[i] - earlier[i]);
      pending = true;
    }
  }
  EXPECT_GT(checked, 3);
}

double chisq_of(const std::string& field) { return std::strtod(field.c_str(), nullptr); }

// Fields of the trace records, exactly as wide as their edit descriptors.
const std::string kE15_8 = "([ -]0\\.\\d{8}E[+-]\\d\\d)";
const std::string kF9_2 = "([ \\d-]{6}\\.\\d\\d)";
const std::string kE12_5 = "( [ -]0\\.\\d{5}E[+-]\\d\\d)";   // with its 1X

TEST(StepitRecords, TraceOfALongSearchKeepsItsLayouts) {
  // Rosenbrock's valley brings every kind of trace record. Each must keep its layout, and
  // the values they report are the best so far, so they never rise.
  StepitSettings s = settings({-1.2, 1.0}, 0.1);
  s.ntrace = 1;
  qx::StringOutput out;
  Watched w(rosenbrock);
  const qx::StepitResult r = w.run(s, out);
  const std::vector<std::string> lines = qxtest::split_lines(out.text());

  const std::regex cycle("^ CHISQ =" + kE15_8 + "     NO\\. OF STEPS =" + kF9_2 + "{2}$");
  const std::regex point("^ CHISQ =" + kE15_8 + "$");
  const std::regex giant("^ CHISQ =" + kE15_8 + "  AFTER([ \\d]{2}\\d|[ \\d-]{4}\\.\\d) GIANT STEPS\\.$");
  const std::regex oscillation("^ \\*{8}      POSSIBLE OSCILLATION WITH PERIOD [ 1]\\d DETECTED\\.$");
  const std::regex growth("^ STEP SIZE  [12] INCREASED TO  0\\.\\d{5}E[+-]\\d\\d$");
  const std::regex values("^" + kE12_5 + "{2}$");
  int n_cycle = 0, n_point = 0, n_giant = 0, n_osc = 0, n_growth = 0, n_reduced = 0;
  double last = std::numeric_limits<double>::infinity();
  std::smatch m;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    double value = kNaN;
    if (std::regex_match(l, m, cycle)) {
      ++n_cycle, value = chisq_of(m[1]);
    } else if (std::regex_match(l, m, giant)) {
      ++n_giant, value = chisq_of(m[1]);
      EXPECT_EQ(lines[i - 1], "");
    } else if (l.rfind(" CHISQ =", 0) == 0 && std::regex_match(l, m, point)) {
      if (i + 2 >= lines.size() || lines[i + 1] != " X(I)....") continue;   // the summary's
      ++n_point, value = chisq_of(m[1]);
      EXPECT_TRUE(std::regex_match(lines[i + 2], values)) << lines[i + 2];
    } else if (std::regex_match(l, oscillation)) {
      ++n_osc;
      EXPECT_EQ(lines[i - 1], "");
    } else if (std::regex_match(l, growth)) {
      ++n_growth;
    } else if (l == " STEP SIZES REDUCED TO....") {
      ++n_reduced;
      EXPECT_EQ(lines[i - 2].size(), 120u);
      EXPECT_TRUE(std::regex_match(lines[i + 2], values)) << lines[i + 2];
    } else if (l.find("CHISQ") != std::string::npos && l.find("FINAL") == std::string::npos) {
      ADD_FAILURE() << "unexpected record: " << l;
    }
    if (!std::isnan(value)) {
      EXPECT_LE(value, last) << l;
      last = value;
    }
  }
  EXPECT_GT(n_cycle, 0);
  EXPECT_GT(n_point, 0);
  EXPECT_GT(n_giant, 0);
  EXPECT_GT(n_osc, 0);
  EXPECT_GT(n_growth, 0);
  EXPECT_GT(n_reduced, 0);
  std::string count_field = std::to_string(r.nfunc);
  count_field.insert(0, 5 - count_field.size(), ' ');
  EXPECT_NE(out.text().find("\n\n\n " + count_field + " FUNCTION COMPUTATIONS \n"), std::string::npos);

  // The summary alone: the same records without those of the trace.
  s.ntrace = 0;
  qx::StringOutput summary;
  Watched again(rosenbrock);
  again.run(s, summary);
  const std::vector<std::string> brief = qxtest::split_lines(summary.text());
  const auto map = std::find(lines.begin(), lines.end(), " TRACE MAP OF THE MINIMIZATION PROCESS");
  ASSERT_NE(map, lines.end());
  const std::size_t head = static_cast<std::size_t>(map - lines.begin()) - 3;   // blank, stars, blank
  const auto count = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("FUNCTION COMPUTATIONS") != std::string::npos;
  });
  const std::size_t tail = static_cast<std::size_t>(lines.end() - count) + 2;   // two blank lines before it
  ASSERT_EQ(brief.size(), head + tail);
  for (std::size_t i = 0; i < head; ++i) EXPECT_EQ(brief[i], lines[i]);
  for (std::size_t i = 1; i <= tail; ++i) EXPECT_EQ(brief[brief.size() - i], lines[lines.size() - i]);
}

TEST(StepitRecords, TraceRecordsOfMoreThanTenVariablesContinue) {
  // Twelve values: ten on the first line, two on a continuation line of the same layout.
  StepitSettings s = settings(std::vector<double>(12, -1.2), 0.1);
  s.ntrace = 1;
  s.nfmax = 2000;
  const std::vector<std::string> lines = qxtest::split_lines(printed(s, rosenbrock));
  const std::regex cycle("^ CHISQ =" + kE15_8 + "     NO\\. OF STEPS =" + kF9_2 + "{10}$");
  const std::regex cycle_more("^ {42}" + kF9_2 + "{2}$");
  const std::regex values("^" + kE12_5 + "{10}$");
  const std::regex values_more("^" + kE12_5 + "{2}$");
  int n_cycle = 0, n_values = 0;
  for (std::size_t i = 0; i + 2 < lines.size(); ++i) {
    if (std::regex_match(lines[i], cycle)) {
      ++n_cycle;
      EXPECT_TRUE(std::regex_match(lines[i + 1], cycle_more)) << lines[i + 1];
    } else if (lines[i] == " X(I)...." || lines[i] == " STEP SIZES REDUCED TO....") {
      const std::size_t v = lines[i] == " X(I)...." ? i + 1 : i + 2;
      ++n_values;
      EXPECT_TRUE(std::regex_match(lines[v], values)) << lines[v];
      EXPECT_TRUE(std::regex_match(lines[v + 1], values_more)) << lines[v + 1];
    }
  }
  EXPECT_GT(n_cycle, 0);
  EXPECT_GT(n_values, 0);
}

}  // namespace
