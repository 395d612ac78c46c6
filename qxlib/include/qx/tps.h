// Truncated power series in the five phase-space variables (x, theta, y, phi, delta): every
// monomial x^a theta^b y^c phi^d delta^e with a + b + c + d + e <= 3 and e <= 1, so a map is
// carried to third order in the transverse variables and to first order in the energy error.
//
// A Tps is a plain value: 50 coefficients in a fixed array, no allocation anywhere, so an
// integrator can build and drop millions of them. Arithmetic truncates: terms beyond the
// order (or with delta squared) are dropped.
//
// Monomials are numbered 0..49 by total order, then by exponents in the order of the
// variables (x before theta ...). Index 0 is the constant term.
#pragma once

#include <array>
#include <cstddef>

namespace qx {

class Tps {
 public:
  static constexpr int kVariables = 5;
  static constexpr int kOrder = 3;   // highest total order kept
  static constexpr int kSize = 50;   // number of monomials
  enum Variable : int { x = 0, theta = 1, y = 2, phi = 3, delta = 4 };
  using Exponents = std::array<int, kVariables>;
  using Point = std::array<double, kVariables>;

  Tps() = default;
  // A constant.
  explicit Tps(double c) { c_[0] = c; }
  // The variable v plus a constant value: value + v.
  static Tps variable(int v, double value = 0.0);

  // Monomial index of the exponents; -1 when the monomial is beyond the truncation.
  static int index(const Exponents& e);
  // Exponents and total order of monomial k.
  static const Exponents& exponents(int k);
  static int order(int k);

  double operator[](int k) const { return c_[static_cast<std::size_t>(k)]; }
  double& operator[](int k) { return c_[static_cast<std::size_t>(k)]; }
  // Coefficient of a monomial (0 when it is beyond the truncation).
  double coefficient(const Exponents& e) const;
  double constant() const { return c_[0]; }

  Tps& operator+=(const Tps& b);
  Tps& operator-=(const Tps& b);
  Tps& operator*=(double s);
  Tps& operator+=(double s) {
    c_[0] += s;
    return *this;
  }

  // Value at a point (the variables' values).
  double operator()(const Point& p) const;
  // Partial derivative with respect to variable v (its highest terms are lost to the order).
  Tps derivative(int v) const;
  // Substitution of series for the variables: this(args[0], ..., args[4]). Exact to the
  // order when the arguments have no constant terms (the case of maps about a reference ray).
  Tps compose(const std::array<Tps, kVariables>& args) const;

  // Largest coefficient magnitude (a scale for error estimates).
  double max_abs() const;

  bool operator==(const Tps&) const = default;

 private:
  std::array<double, kSize> c_{};
};

Tps operator+(Tps a, const Tps& b);
Tps operator-(Tps a, const Tps& b);
Tps operator-(Tps a);
Tps operator*(const Tps& a, const Tps& b);
Tps operator*(Tps a, double s);
Tps operator*(double s, Tps a);
Tps operator+(Tps a, double s);

// Functions of a series: f(a0 + h) = f(a0) + f'(a0) h + f''(a0) h^2/2 + f'''(a0) h^3/6, exact
// to the order since h (no constant term) has no power above the third.
Tps sqrt(const Tps& a);        // a0 > 0
Tps reciprocal(const Tps& a);  // a0 != 0

}  // namespace qx
