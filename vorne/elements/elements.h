// First-order element routines: one per element kind, each turning one row of the element
// table into the element's 4x4 transfer matrix and writing the element's derived quantities
// (strength, image positions, magnifications, focal lengths) into the row's columns 6-12.
//
// Every routine has the same shape and explicit inputs:
//   ElementStatus name(LensSystem& s, int iz, const Particle& particle,
//                      const WalkSettings& settings, Mat4& a)
// the table and the row (the routine reads the row, the lenses before it and a superimposed
// lens after it, and writes its results into the row), the particle as it is at the row, and
// the walk's settings (diagnostic level, where messages go). It is named for the prefix of its
// messages (quad prints "?QUAD- ..."). A routine called for a row of the wrong kind prints its
// guard message and leaves a untouched.
//
// Row columns as the routines read them: 1 packed type code, 2 length L (m), 3 field (P2),
// 4 radius or second field (P3); results: 5 z of the centre (written by the walk before the
// routine runs), 6 z of the x image, 7 z of the y image, 8 strength, 9-10 x and y
// magnification, 11-12 x and y focal length.
//
// The particle's kinetic energy is the one it has at the element (energy_at): the callers
// (the system walk and the element reports) pass it in the Particle.
#pragma once

#include <cmath>
#include <optional>
#include <string_view>

#include "qx/format.h"
#include "qx/units.h"
#include "system/system.h"
#include "system/walk_settings.h"
#include "system/matrix.h"

namespace vorne {

enum class ElementStatus {
  ok,           // a holds the element's matrix
  wrong_kind,   // guard message printed, a untouched
  degenerate    // the element's error-in-element message was printed
};

// ---- Constants the element routines share -------------------------------------------------------
// Thresholds and values the program holds in single precision, converted exactly.
inline constexpr double kLensFieldThreshold = static_cast<double>(1.0E-5f);   // preceding-lens search
inline constexpr double kNoFocus = 1.0E30;              // focal length of a non-focusing plane
inline constexpr double kGapLength = static_cast<double>(0.005f);             // gap lens, m
inline constexpr double kDipaddCharge = static_cast<double>(1.6E-19f);        // dipadd's own e
inline constexpr double kDipaddMinField = static_cast<double>(1.0E-20f);
inline constexpr double kTiltThreshold = 1.0E-10;       // QUAD rotates above this tilt
inline constexpr double kMinGapEnergy = 1.0E-6;         // MeV, a gap lens at zero energy

// ---- Element routines -----------------------------------------------------------------------------
// Drift (type 3, and every zero-strength fall-back): identity with A(1,2) = A(3,4) = L; clears
// columns 5-12 of the row.
ElementStatus drift(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Quadrupole (unpacked type 4, magnetic or electric), summed with a supra quadrupole in the
// next row.
ElementStatus quad(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Sextupole (unpacked type 6): first order a drift; stores its strength.
ElementStatus sext(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Octupole (INT(ITYPE) 8 or 18): first order a drift; strength K3, images passed through.
ElementStatus octu(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Solenoid (type 11): the coupled rotating matrix.
ElementStatus solenoid(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Uniform accelerating column (type 10).
ElementStatus accel(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Thin aperture lens between accelerating columns (type 13).
ElementStatus gap(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Dipole (type 2 or 12): first order a drift.
ElementStatus dip(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Velocity selector (type 7).
ElementStatus vs(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Einzel lens (type 15) from fitted data.
ElementStatus einz(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);
// Two-cylinder lens (type 17) from fitted data.
ElementStatus cyl(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a);

// The routine of an internal type, as the walk runs it: nullptr for the rows that pass the beam
// unchanged (the beam row, a collimator, the unnamed types), dip for the dipoles and any
// other type (its guard message answers for a type that is no dipole).
using ElementRoutine = ElementStatus (*)(LensSystem&, int, const Particle&, const WalkSettings&, Mat4&);
ElementRoutine element_routine(int type);

// Centroid bend of a dipole (type 2 or 12) at row iz applied to a beam vector.
ElementStatus dipadd(const LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Vec4& beam);

// ---- Shared pieces --------------------------------------------------------------------------------
// The drift matrix of length len.
Mat4 drift_matrix(double len);

// A := R(angle) x A x R(-angle), the element turned about the beam axis.
void rotate(Mat4& a, double angle);
// Exchanges the x and y blocks: A'(i,j) = A(s(i), s(j)), s = 3,4,1,2.
void swap_planes(Mat4& a);

// Kinetic energy (MeV) at row iz: the energy as loaded (row 1, column 12) plus the energy
// gained in every accelerating column (INT(ITYPE) = 10) from row 3 to iz-1.
double energy_at(const LensSystem& s, int iz);

// True for a row the preceding-lens search accepts: a lens (polarity not 0, INT(ITYPE) at
// most 19) with |P2| at least kLensFieldThreshold.
bool images_as_lens(const LensSystem& s, int k);
// The lens before row iz: the nearest row from iz-1 down to 3 that images_as_lens; 2 when
// there is none.
int preceding_lens(const LensSystem& s, int iz);

// Object distances of row iz: z(iz) minus the x and y image positions of the preceding lens,
// or z(iz) itself when there is none.
struct ObjectDistances {
  int lens = 2;     // the preceding lens, 2 for none
  double ux = 0.0;  // m
  double uy = 0.0;
};
ObjectDistances object_distances(const LensSystem& s, int iz);

// Cardinal elements of one plane of a matrix: from the plane's A(2,1), A(2,2), A(1,1), the
// element length and the object distance u0 (from the element's centre).
struct PlaneCardinals {
  double focal = kNoFocus;  // -1/A(2,1)
  double image = 0.0;       // image distance from the element's centre
  double mag = 1.0;         // magnification
  double h1 = 0.0;          // entrance principal plane (A(2,2)-1)/A(2,1)
  double h2 = 0.0;          // exit principal plane (A(1,1)-1)/A(2,1)
};
PlaneCardinals plane_cardinals(double a11, double a21, double a22, double len, double u0);

// Thin-lens cardinal elements of one plane (the "apr> " fitting mode): focal length f and
// object distance u give v = 1/(1/f - 1/u), magnification -v/u and image distance v.
PlaneCardinals thin_lens_cardinals(double f, double u);

// The cardinal-elements routine: from a and the preceding lens, stores columns 6, 7 (image
// positions), 9, 10 (magnifications) and 11, 12 (focal lengths) of row iz.
void store_cardinals(LensSystem& s, int iz, const Mat4& a);

// The answer of a routine called for a row of another kind: its guard message with the row and
// the type code on out (none when out is null), and wrong_kind.
ElementStatus wrong_kind(qx::Output* out, const qx::Format& message, int iz, double code);

// True when every entry of a is finite.
bool all_finite(const Mat4& a);

// The end of the round lenses built from fitted data (einzel, two-cylinder): m's x block is
// copied to the y block; a matrix that does not focus or is not finite prints `error` (row,
// A(2,1), A(4,3)) on the terminal and leaves a untouched, otherwise a := m and the cardinal
// elements are stored.
ElementStatus finish_round_lens(LensSystem& s, int iz, const WalkSettings& settings, Mat4 m, const qx::Format& error,
                                Mat4& a);

// A round lens fitted in the voltage ratio R (column 3; einzel, two-cylinder): its code class,
// its guard message, the message for a ratio that gives no lens (row) and finish_round_lens's
// error, and the x block its fits give from R and the length (nothing where R gives no lens).
struct RatioLens {
  int kind;
  const qx::Format& not_kind;
  const qx::Format& bad_ratio;
  const qx::Format& error;
  std::optional<Mat4> (*fit)(double r, double len);
};

// The routine of a RatioLens: the guard, a drift at R = 1, bad_ratio on the terminal where the
// fit gives no lens, otherwise finish_round_lens.
ElementStatus ratio_lens(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings, Mat4& a,
                         const RatioLens& lens);

// ---- Used by quad and sext --------------------------------------------------------------------------
// Strength of a quadrupole (order 2) or sextupole (order 3) row, summed with a supra lens of
// the same kind in the next row. Clears the derived columns of a supra row that follows and
// gives it the electrostatic fraction of the sum in column 8.
struct MultipoleExcitation {
  double k = 0.0;     // K = KB - KE, plus the supra lens's (1/m^2 for a quadrupole)
  double kl2 = 0.0;   // K L^2, each lens with its own length
  bool valid = true;  // false: a message was printed (radius or energy unusable)
};
MultipoleExcitation multipole_excitation(LensSystem& s, int iz, const Particle& particle, const WalkSettings& settings,
                                         int order, std::string_view name);

// SIGN(a, b) of Fortran: |a| with the sign of b (b = 0 counts as positive).
inline double fortran_sign(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

}  // namespace vorne
