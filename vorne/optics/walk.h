// The system walk (STIGMAT) and the first-order properties every report uses: the system
// matrix, magnifications (MAG), focal lengths (FOCAL), the ray transform and the chromatic
// run. The walk's listings are in listings.h.
//
// Everything here takes its inputs explicitly (the table, the results, the walk's settings);
// session/walks.h runs it on the program's state. The walk goes through rows 3 to the System
// End in table order, calls one element routine per row (elements/elements.h) and composes
// S := A x S. It also fixes each lens's centre position, the total length, the lens-region
// mid-point and the System End row (izend). It allocates nothing and formats nothing unless a
// diagnostic level asks for traces, since the fits run it thousands of times.
#pragma once

#include <array>

#include "system/matrix.h"
#include "system/system.h"
#include "system/walk_settings.h"

namespace qx {
class Output;
}

namespace vorne {

// A third-order coefficient set: 2 planes x 10 coefficients, c(plane, j), 1-based. Plane 1
// gives the x deviation, plane 2 the y deviation (the coefficient order of the aberrations).
struct ThirdOrderSet {
  std::array<double, 20> c{};
  double& operator()(int plane, int j) { return c[static_cast<std::size_t>((plane - 1) * 10 + (j - 1))]; }
  double operator()(int plane, int j) const { return c[static_cast<std::size_t>((plane - 1) * 10 + (j - 1))]; }
};

// Changes of the final x and y of the two rays of the last chromatic run (shifted energy
// minus nominal).
struct ChromaticTerms {
  double xt = 0.0;   // Cxt: ray (0, 1/dE, 0, 1/dE), final x
  double yp = 0.0;   // Cyp: the same ray, final y
  double xx = 0.0;   // Cxx: ray (1/dE, 0, 1/dE, 0), final x
  double yy = 0.0;   // Cyy: the same ray, final y
};

// Results of the last system walk that other commands read. The default state means "no
// results" (DATA resets it).
struct WalkResult {
  Mat4 s = Mat4::identity();        // first-order system matrix, later elements on the left
  Mat14 s2 = Mat14::identity();     // second-order map over (x, theta, y, phi, x^2, ... phi^2)
  ThirdOrderSet element;            // the current element's own third-order set
  ThirdOrderSet total;              // system third-order sums
  ThirdOrderSet quad;               // their quadrupole contribution
  ThirdOrderSet octu;               // their octupole contribution
  Vec4 reference;                   // reference beam vector at the end (no offsets)
  int quads = 0;                    // quadrupoles met in the walk
  int sexts = 0;                    // sextupoles met
  int octus = 0;                    // octupoles met
  bool ended = false;               // the walk reached a System End
  ChromaticTerms chromatic;         // of the last chromatic run (kept across walks)
  std::array<Mat4, kRows + 1> element_matrix{};   // A of each row in the last walk (S at izend)
};

// ---- The walk -------------------------------------------------------------------------------------
// STIGMAT with the order code settings.order: working order |n| limited to 1..3; n = -3
// computes third order without the second-order map; n = -5 keeps the third-order sums it
// starts with. Results go to w; the final centroid to row 2, columns 7-10. At a positive
// level with settings.trace each element is traced on settings.report(). Whatever else it
// computes, it sets s.izend to the System End row, s.total_length and s.lens_mid.
void system_walk(LensSystem& s, WalkResult& w, const WalkSettings& settings);

// ---- First-order properties ----------------------------------------------------------------------
// The notes these print (a lens of zero magnification, an infinite focal length) go to the
// terminal when settings.warnings is on.
struct Magnification {
  double mx = 1.0;
  double my = 1.0;
};
// MAG(iz): product of the stored magnifications of the lenses from row 3 to iz inclusive.
Magnification mag(const LensSystem& s, int iz, const WalkSettings& settings);

struct FocalLengths {
  double fx = 0.0;
  double fy = 0.0;
};
// FOCAL(iz): focal lengths of the subsystem from row 3 to iz inclusive.
FocalLengths focal(const LensSystem& s, int iz, const WalkSettings& settings);

// ELELAS: the last row before the System End that FOCAL counts as a lens; 0 for none.
int last_active_lens(const LensSystem& s);

// The two terms the fits drive to zero after a first-order walk: (x|theta) and (y|phi), or at
// the thin-lens fitting level the distances from the last lens's image positions to the
// system end.
std::array<double, 2> objective_terms(const LensSystem& s, const WalkResult& w, int level);
// Their sum of squares, the fitting objective.
double squared_objective(const LensSystem& s, const WalkResult& w, int level);

// Maps a beam vector through a with order code m: first order a x; the chromatic and
// third-order terms of the last walks (w) for the higher codes.
void ray_transform(const LensSystem& s, const WalkResult& w, const WalkSettings& settings, int m, Vec4& x,
                   const Mat4& a);

// The chromatic run for an energy spread de (percent; 0.001 when 0): walks at the nominal and
// at the scaled energy (first order, with settings) and returns how far the final x and y of
// two rays move between them. The table and w are as they were afterwards.
ChromaticTerms chromatic_terms(LensSystem& s, WalkResult& w, double de, const WalkSettings& settings);

}  // namespace vorne
