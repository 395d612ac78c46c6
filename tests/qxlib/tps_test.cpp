// Truncated power series: the monomial table, products against expanded polynomials,
// composition against evaluation, derivatives against finite differences.
#include <gtest/gtest.h>

#include <cmath>

#include "qx/tps.h"

namespace {

using qx::Tps;

Tps var(int v) { return Tps::variable(v); }

TEST(TpsTest, MonomialTableCountsAndRoundTrips) {
  // 35 monomials of order <= 3 in four variables, 15 of order <= 2 times delta.
  int with_delta = 0;
  for (int k = 0; k < Tps::kSize; ++k) {
    EXPECT_EQ(Tps::index(Tps::exponents(k)), k);
    with_delta += Tps::exponents(k)[Tps::delta];
  }
  EXPECT_EQ(with_delta, 15);
  EXPECT_EQ(Tps::index({0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Tps::index({0, 0, 0, 0, 2}), -1);   // delta squared is dropped
  EXPECT_EQ(Tps::index({2, 1, 1, 0, 0}), -1);   // fourth order is dropped
  EXPECT_EQ(Tps::order(Tps::index({1, 0, 2, 0, 0})), 3);
}

TEST(TpsTest, ProductsExpandAndTruncate) {
  const Tps x = var(Tps::x);
  const Tps t = var(Tps::theta);
  const Tps d = var(Tps::delta);
  // (1 + x + t)^3 = 1 + 3(x+t) + 3(x+t)^2 + (x+t)^3 (all kept).
  const Tps a = Tps(1.0) + x + t;
  const Tps c = a * a * a;
  EXPECT_DOUBLE_EQ(c.coefficient({0, 0, 0, 0, 0}), 1.0);
  EXPECT_DOUBLE_EQ(c.coefficient({1, 0, 0, 0, 0}), 3.0);
  EXPECT_DOUBLE_EQ(c.coefficient({1, 1, 0, 0, 0}), 6.0);
  EXPECT_DOUBLE_EQ(c.coefficient({1, 2, 0, 0, 0}), 3.0);
  EXPECT_DOUBLE_EQ(c.coefficient({0, 3, 0, 0, 0}), 1.0);
  // x^2 * x^2 vanishes; delta * delta vanishes; delta * x^2 survives.
  EXPECT_EQ((x * x * x * x).max_abs(), 0.0);
  EXPECT_EQ((d * d).max_abs(), 0.0);
  EXPECT_DOUBLE_EQ((d * x * x).coefficient({2, 0, 0, 0, 1}), 1.0);
  // Products commute and distribute, coefficient by coefficient.
  const Tps p = Tps(0.5) + 2.0 * x - 3.0 * t * d + var(Tps::y) * var(Tps::phi);
  const Tps q = Tps(-1.5) + t * t - 0.25 * x * var(Tps::y) + d;
  EXPECT_EQ(p * q, q * p);
  const Tps lhs = p * (q + a);
  const Tps rhs = p * q + p * a;
  for (int k = 0; k < Tps::kSize; ++k) EXPECT_NEAR(lhs[k], rhs[k], 1e-14) << k;
}

TEST(TpsTest, FunctionsMatchTheirSeries) {
  const Tps u = Tps(4.0) + var(Tps::x) + 0.5 * var(Tps::y) * var(Tps::y);
  const Tps s = qx::sqrt(u);
  const Tps back = s * s;
  for (int k = 0; k < Tps::kSize; ++k) EXPECT_NEAR(back[k], u[k], 1e-14) << k;
  const Tps one = u * qx::reciprocal(u);
  EXPECT_NEAR(one[0], 1.0, 1e-15);
  for (int k = 1; k < Tps::kSize; ++k) EXPECT_NEAR(one[k], 0.0, 1e-15) << k;
}

// A polynomial with every kind of term, and its value computed by hand.
Tps sample() {
  const Tps x = var(Tps::x), t = var(Tps::theta), y = var(Tps::y), p = var(Tps::phi), d = var(Tps::delta);
  return Tps(0.3) + 1.5 * x - 0.7 * t + 2.0 * x * t - 0.4 * y * p + 3.0 * t * t * t - 1.25 * x * p * p +
         0.8 * t * d + 0.6 * x * y * d;
}
double sample_at(const Tps::Point& q) {
  const double x = q[0], t = q[1], y = q[2], p = q[3], d = q[4];
  return 0.3 + 1.5 * x - 0.7 * t + 2.0 * x * t - 0.4 * y * p + 3.0 * t * t * t - 1.25 * x * p * p + 0.8 * t * d +
         0.6 * x * y * d;
}

TEST(TpsTest, EvaluationAndDerivativesAgreeWithFiniteDifferences) {
  const Tps f = sample();
  const Tps::Point q{0.11, -0.23, 0.31, 0.07, -0.05};
  EXPECT_NEAR(f(q), sample_at(q), 1e-15);
  const double h = 1e-5;
  for (int v = 0; v < Tps::kVariables; ++v) {
    Tps::Point up = q, down = q;
    up[static_cast<std::size_t>(v)] += h;
    down[static_cast<std::size_t>(v)] -= h;
    const double fd = (sample_at(up) - sample_at(down)) / (2.0 * h);
    EXPECT_NEAR(f.derivative(v)(q), fd, 1e-9) << "variable " << v;
  }
}

TEST(TpsTest, CompositionEqualsEvaluationOfTheComposedFunctions) {
  // g_v are small maps about the origin; f(g(q)) truncated must match the exact value of
  // f(g(q)) to the truncation error, which falls as the fourth power of the scale.
  const Tps x = var(Tps::x), t = var(Tps::theta), y = var(Tps::y), p = var(Tps::phi), d = var(Tps::delta);
  const std::array<Tps, Tps::kVariables> g = {x + 0.5 * t + 0.2 * x * x * t, t - 0.3 * x + 0.1 * t * d,
                                              y + 0.4 * p - 0.5 * y * p * p, p + 0.25 * y * x, d};
  const Tps fg = sample().compose(g);
  double last_error = 0.0;
  for (const double scale : {1e-2, 5e-3}) {
    const Tps::Point q{0.7 * scale, -0.4 * scale, 0.9 * scale, 0.3 * scale, 0.0};
    Tps::Point inner{};
    for (std::size_t v = 0; v < inner.size(); ++v) inner[v] = g[v](q);
    const double err = std::fabs(fg(q) - sample_at(inner));
    EXPECT_LT(err, 50.0 * std::pow(scale, 4)) << scale;
    if (last_error > 0.0) {
      EXPECT_LT(err, last_error / 8.0);
    }
    last_error = err;
  }
  // Composition with the identity changes nothing.
  EXPECT_EQ(sample().compose({x, t, y, p, d}), sample());
}

}  // namespace
