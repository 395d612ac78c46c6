// Truncated power series: the monomial tables are built once at compile time; a product runs
// over a precomputed list of the index pairs whose product survives the truncation.
#include "qx/tps.h"

#include <cmath>

namespace qx {

namespace {

constexpr int kN = Tps::kSize;
constexpr int kMaxExponent = Tps::kOrder + 1;   // exponents 0..3 index the lookup table
constexpr int kLookup = kMaxExponent * kMaxExponent * kMaxExponent * kMaxExponent * 2;

constexpr bool kept(const Tps::Exponents& e) {
  int total = 0;
  for (const int k : e) {
    if (k < 0) return false;
    total += k;
  }
  return total <= Tps::kOrder && e[Tps::delta] <= 1;
}

constexpr int lookup_slot(const Tps::Exponents& e) {
  return (((e[0] * kMaxExponent + e[1]) * kMaxExponent + e[2]) * kMaxExponent + e[3]) * 2 + e[4];
}

struct Tables {
  std::array<Tps::Exponents, kN> exps{};
  std::array<int, kN> order{};
  std::array<int, kLookup> index{};
  // Products: for each left index i, the pairs (j, k) with monomial i x monomial j = monomial
  // k kept, in pair_start[i] .. pair_start[i + 1].
  std::array<int, kN + 1> pair_start{};
  std::array<short, kN * kN> pair_j{};
  std::array<short, kN * kN> pair_k{};
};

constexpr Tables make_tables() {
  Tables t;
  for (int& i : t.index) i = -1;
  int n = 0;
  for (int total = 0; total <= Tps::kOrder; ++total) {
    // Exponents in the order of the variables: x first, then theta ...
    for (int a = total; a >= 0; --a)
      for (int b = total - a; b >= 0; --b)
        for (int c = total - a - b; c >= 0; --c)
          for (int d = total - a - b - c; d >= 0; --d) {
            const int e = total - a - b - c - d;
            const Tps::Exponents ex{a, b, c, d, e};
            if (!kept(ex)) continue;
            t.exps[static_cast<std::size_t>(n)] = ex;
            t.order[static_cast<std::size_t>(n)] = total;
            t.index[static_cast<std::size_t>(lookup_slot(ex))] = n;
            ++n;
          }
  }
  int p = 0;
  for (int i = 0; i < kN; ++i) {
    t.pair_start[static_cast<std::size_t>(i)] = p;
    for (int j = 0; j < kN; ++j) {
      Tps::Exponents s{};
      for (int v = 0; v < Tps::kVariables; ++v)
        s[static_cast<std::size_t>(v)] =
            t.exps[static_cast<std::size_t>(i)][static_cast<std::size_t>(v)] +
            t.exps[static_cast<std::size_t>(j)][static_cast<std::size_t>(v)];
      if (!kept(s)) continue;
      t.pair_j[static_cast<std::size_t>(p)] = static_cast<short>(j);
      t.pair_k[static_cast<std::size_t>(p)] = static_cast<short>(t.index[static_cast<std::size_t>(lookup_slot(s))]);
      ++p;
    }
  }
  t.pair_start[kN] = p;
  return t;
}

constexpr Tables kTables = make_tables();
static_assert(kTables.order[kN - 1] == Tps::kOrder, "the last monomial is of the highest order");

// f(a0 + h) from f and its first three derivatives at a0.
Tps taylor(const Tps& a, double f0, double f1, double f2, double f3) {
  Tps h = a;
  h[0] = 0.0;
  const Tps h2 = h * h;
  const Tps h3 = h2 * h;
  Tps r = h * f1 + h2 * (f2 / 2.0) + h3 * (f3 / 6.0);
  r[0] = f0;
  return r;
}

}  // namespace

Tps Tps::variable(int v, double value) {
  Tps t(value);
  Exponents e{};
  e[static_cast<std::size_t>(v)] = 1;
  t[index(e)] = 1.0;
  return t;
}

int Tps::index(const Exponents& e) {
  if (!kept(e)) return -1;
  return kTables.index[static_cast<std::size_t>(lookup_slot(e))];
}

const Tps::Exponents& Tps::exponents(int k) { return kTables.exps[static_cast<std::size_t>(k)]; }

int Tps::order(int k) { return kTables.order[static_cast<std::size_t>(k)]; }

double Tps::coefficient(const Exponents& e) const {
  const int k = index(e);
  return k < 0 ? 0.0 : c_[static_cast<std::size_t>(k)];
}

Tps& Tps::operator+=(const Tps& b) {
  for (std::size_t k = 0; k < c_.size(); ++k) c_[k] += b.c_[k];
  return *this;
}

Tps& Tps::operator-=(const Tps& b) {
  for (std::size_t k = 0; k < c_.size(); ++k) c_[k] -= b.c_[k];
  return *this;
}

Tps& Tps::operator*=(double s) {
  for (double& ck : c_) ck *= s;
  return *this;
}

double Tps::operator()(const Point& p) const {
  double sum = 0.0;
  for (int k = 0; k < kN; ++k) {
    const double ck = c_[static_cast<std::size_t>(k)];
    if (ck == 0.0) continue;
    double term = ck;
    const Exponents& e = exponents(k);
    for (std::size_t v = 0; v < e.size(); ++v)
      for (int n = 0; n < e[v]; ++n) term *= p[v];
    sum += term;
  }
  return sum;
}

Tps Tps::derivative(int v) const {
  Tps r;
  const std::size_t sv = static_cast<std::size_t>(v);
  for (int k = 0; k < kN; ++k) {
    Exponents e = exponents(k);
    if (e[sv] == 0) continue;
    const double factor = e[sv];
    --e[sv];
    r[index(e)] += factor * c_[static_cast<std::size_t>(k)];
  }
  return r;
}

Tps Tps::compose(const std::array<Tps, kVariables>& args) const {
  // Powers of each argument up to the order (delta to the first only).
  std::array<std::array<Tps, kOrder + 1>, kVariables> pw;
  for (std::size_t v = 0; v < pw.size(); ++v) {
    pw[v][0] = Tps(1.0);
    for (int n = 1; n <= kOrder; ++n) pw[v][static_cast<std::size_t>(n)] = pw[v][static_cast<std::size_t>(n - 1)] * args[v];
  }
  Tps r;
  for (int k = 0; k < kN; ++k) {
    const double ck = c_[static_cast<std::size_t>(k)];
    if (ck == 0.0) continue;
    const Exponents& e = exponents(k);
    Tps term(ck);
    for (std::size_t v = 0; v < e.size(); ++v)
      if (e[v] > 0) term = term * pw[v][static_cast<std::size_t>(e[v])];
    r += term;
  }
  return r;
}

double Tps::max_abs() const {
  double m = 0.0;
  for (const double ck : c_) m = std::fmax(m, std::fabs(ck));
  return m;
}

Tps operator+(Tps a, const Tps& b) { return a += b; }
Tps operator-(Tps a, const Tps& b) { return a -= b; }
Tps operator-(Tps a) { return a *= -1.0; }
Tps operator*(Tps a, double s) { return a *= s; }
Tps operator*(double s, Tps a) { return a *= s; }
Tps operator+(Tps a, double s) { return a += s; }

Tps operator*(const Tps& a, const Tps& b) {
  Tps r;
  for (int i = 0; i < kN; ++i) {
    const double ai = a[i];
    if (ai == 0.0) continue;
    const int end = kTables.pair_start[static_cast<std::size_t>(i + 1)];
    for (int p = kTables.pair_start[static_cast<std::size_t>(i)]; p < end; ++p)
      r[kTables.pair_k[static_cast<std::size_t>(p)]] += ai * b[kTables.pair_j[static_cast<std::size_t>(p)]];
  }
  return r;
}

Tps sqrt(const Tps& a) {
  const double s = std::sqrt(a.constant());
  return taylor(a, s, 0.5 / s, -0.25 / (s * a.constant()), 0.375 / (s * a.constant() * a.constant()));
}

Tps reciprocal(const Tps& a) {
  const double r = 1.0 / a.constant();
  return taylor(a, r, -r * r, 2.0 * r * r * r, -6.0 * r * r * r * r);
}

}  // namespace qx
