// Small fixed-size matrices of the optics: the 4x4 first-order transfer matrix over
// (x, theta, y, phi) and the 14x14 second-order map over the monomial vector.
//
// Indices are 1-based and storage is column by column, as the formulas number them, so
// a(2, 1) is the entry the text calls A(2,1). A product "b := a x b" (later elements on the
// left) is mul_left(a, b).
#pragma once

#include <array>
#include <cstddef>

namespace vorne {

template <int N>
struct Mat {
  std::array<double, static_cast<std::size_t>(N * N)> v{};   // column-major

  double& operator()(int i, int j) { return v[static_cast<std::size_t>((j - 1) * N + (i - 1))]; }
  double operator()(int i, int j) const { return v[static_cast<std::size_t>((j - 1) * N + (i - 1))]; }

  static Mat identity() {
    Mat m;
    for (int i = 1; i <= N; ++i) m(i, i) = 1.0;
    return m;
  }
  bool operator==(const Mat&) const = default;
};

using Mat4 = Mat<4>;
using Mat14 = Mat<14>;

// A beam vector (x, theta, y, phi), 1-based like the matrices.
struct Vec4 {
  std::array<double, 4> v{};
  double& operator()(int i) { return v[static_cast<std::size_t>(i - 1)]; }
  double operator()(int i) const { return v[static_cast<std::size_t>(i - 1)]; }
};

// b := a x b. For the 14x14 maps zero entries of b are skipped, which their block structure
// makes worth while; the sums keep the order k = 1..N either way, so the result is the same.
template <int N>
void mul_left(const Mat<N>& a, Mat<N>& b) {
  Mat<N> r;
  for (int j = 1; j <= N; ++j) {
    for (int k = 1; k <= N; ++k) {
      const double bkj = b(k, j);
      if (N > 4 && bkj == 0.0) continue;
      for (int i = 1; i <= N; ++i) r(i, j) += a(i, k) * bkj;
    }
  }
  b = r;
}

// a x b as a new matrix.
template <int N>
Mat<N> product(const Mat<N>& a, const Mat<N>& b) {
  Mat<N> r = b;
  mul_left(a, r);
  return r;
}

// a x v.
inline Vec4 apply(const Mat4& a, const Vec4& x) {
  Vec4 u;
  for (int i = 1; i <= 4; ++i) u(i) = a(i, 1) * x(1) + a(i, 2) * x(2) + a(i, 3) * x(3) + a(i, 4) * x(4);
  return u;
}

}  // namespace vorne
