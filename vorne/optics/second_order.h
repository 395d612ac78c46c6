// Second-order transfer: each element's 14x14 map over the monomial vector
//   1 x, 2 theta, 3 y, 4 phi, 5 x^2, 6 x theta, 7 x y, 8 x phi, 9 theta^2, 10 theta y,
//   11 theta phi, 12 y^2, 13 y phi, 14 phi^2
// (T2(i,j) = the coefficient of monomial j in output i). The walk composes them into the
// system map S2 := T2 x S2; the second-order coefficients of the system are S2's rows 1-4,
// columns 5-14 (for example x/theta^2 = S2(1,9)).
#pragma once

#include "system/matrix.h"
#include "system/system.h"
#include "system/walk_settings.h"

namespace vorne {

// Index (5-14) of the monomial in(a) in(b), a, b in 1..4 in either order.
int monomial(int a, int b);

// The linear extension of a first-order matrix: rows 1-4 hold a, the quadratic rows the
// products of its rows, T2((p,q),(r,s)) = A(p,r) A(q,s) + A(p,s) A(q,r) for r < s and
// A(p,r) A(q,r) for r = s; everything else 0.
Mat14 linear_extension(const Mat4& a);

// Writes the second-order entries of a sextupole of signed strength k (1/m^3, the force is
// x'' = -k (x^2 - y^2), y'' = 2 k x y) and length len into rows 1-4 of t2.
void set_sextupole_entries(double k, double len, Mat14& t2);

// Signed sextupole strength K = SIGN(k^2, P2) of a row from its field P2 and radius P3, with
// the kinetic energy taken as |T q|: k^2 = (e/p) |P2| / P3^2 magnetic, |P2 / (P3^3 W)| electric.
double sextupole_strength(const LensSystem& s, int row);

// The element's map: the linear extension of a, plus the entries of a sextupole row or of a
// supra sextupole superimposed on a quadrupole. A quadrupole or sextupole whose radius is
// below 1E-10 gets "Zero radius second order element at" on the terminal and only the linear
// part. Does not change the table.
void element_second_order(const LensSystem& s, int iz, const WalkSettings& settings, const Mat4& a, Mat14& t2);

}  // namespace vorne
