// The lens system held in memory: the element table, its side arrays and scalars, the packed
// type code and its decoding, the coupling of variable lenses into groups, the name tables and
// the physical constants.
//
// Every command reads or changes one LensSystem (held in the program's state object, state.h).
// Rows and columns are numbered from 1, as the users and the reports number them:
//   row 1            particle: 1 type code 0.0, 2 charge, 3 mass (amu), 4 kinetic energy (MeV),
//                    5 stored diagnostic level, 12 the energy as loaded
//   row 2            beam: 1 type code 1.0, 2 x half extent (m), 3 x half divergence (rad),
//                    4 y half extent (m), 5 y half divergence (rad), 6 energy half spread,
//                    7-11 copy of 2-6 at load time (the walk leaves its final centroid in 7-10)
//   rows 3..izend-1  optical elements: 1 packed type code, 2-4 user parameters (for lenses
//                    length (m), field (T or V), bore radius (m)), 5-12 results of the walk
//   row izend        System End, type code 9.0
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "system/constants.h"

namespace qx {
class Output;
}

namespace vorne {

// ---- Limits ----------------------------------------------------------------------------------
inline constexpr int kRows = 40;            // element table rows, System End included
inline constexpr int kColumns = 12;         // parameters per row
inline constexpr int kFirstElementRow = 3;  // rows 1 and 2 are particle and beam
inline constexpr int kMaxGroups = 20;       // room for group values (at most 9 can arise)
inline constexpr int kTitleLength = 50;     // the title is a 50-character field
inline constexpr int kFileNameLength = 100; // file names are 100-character fields

// ---- Internal element types (what unpack() returns in `type`) --------------------------------
enum ElementType : int {
  kParticle = 0,
  kBeam = 1,
  kDipole = 2,               // magnetic
  kDrift = 3,
  kQuadrupole = 4,           // magnetic or electric (polarity tells)
  kCollimator = 5,
  kSextupole = 6,
  kVelocitySelector = 7,
  kOctupole = 8,
  kSystemEnd = 9,
  kAccelerator = 10,
  kSolenoid = 11,
  kElectrostaticDipole = 12,
  kGapLens = 13,
  kEinzelLens = 15,
  kCylinderLens = 17,
};

// Code classes (code_class(), the two digits before the point) in the same vocabulary: a kind's
// plain code class is its ElementType, the electric form of a multipole adds kElectricVariant
// (an electric octupole is code class 18), and a code above kLastLensCode is a lens
// superimposed on the one before it.
inline constexpr int kElectricVariant = 10;
inline constexpr int kLastLensCode = 19;
inline constexpr double kFirstSupraCode = 20.0;

// ---- Packed type code -------------------------------------------------------------------------
// Column 1 of a row, written D2 D3 . D4 D5: D3 base type, D2 variant (0 normal, 1 electric,
// 2 supra magnetic, 3 supra electric), D4 = n member of group n, D5 = n member of group n with
// the opposite field sign.
struct TypeCode {
  int type = 0;          // internal type (ElementType)
  int polarity = 0;      // -1 electric, 0 none, +1 magnetic
  int supra = 0;         // 1: superimposed on the lens in the row before
  int coupling = 0;      // +n (tenths digit), -n (hundredths digit), 0 constant
  bool illegal = false;  // both coupling digits set (the hundredths digit wins)
  bool bad_code = false; // not a finite code in [0, 100): decoded as all zero
};

// Decodes a packed type code. Codes are read through the integer part of 100 x code + 1E-4,
// so a code that is not a whole number of hundredths (4.105) reads as the one below (4.10).
TypeCode unpack(double itype);
// The same, printing "%UNPACK - Illegal coupling codes. DTYPE = " on out for an illegal code.
TypeCode unpack(double itype, qx::Output& out);

// True for a code a row may hold: finite, 0 <= code < 100.
bool valid_type_code(double itype);

// The two digits before the point (D2 D3) as unpack() reads them, 0-99: 0 particle, 1 beam,
// 9 System End ... ; -1 for a code a row may not hold. Differs from the plain integer part
// only for codes a millionth below a whole number, which unpack() reads as that number.
int code_class(double itype);

// The code as unpack() reads it, in whole hundredths (4.105 is 4.10). SAVE writes this, so a
// saved and reloaded element keeps its meaning.
double code_as_read(double itype);

// ---- Name tables ------------------------------------------------------------------------------
inline constexpr int kLastNamedType = 20;   // the name tables cover internal types 1..20

// Type name (10 characters) of an internal type 1..20; "?         " for any other.
std::string_view type_name(int type);
// The name an element is shown with: as type_name, except that the electrostatic dipole (12)
// is shown as "Dipole    " like the magnetic one.
std::string_view element_name(int type);
// True for an internal type 1..20 that names no element kind ("?" in the name tables: 14, 16,
// 18, 19, 20).
bool is_unnamed_type(int type);
// Polarity name (4 characters) of -1, 0, +1: "Elec", "    ", "Magn".
std::string_view polarity_name(int polarity);
// Supra name (6 characters) of 0, 1: "      ", "Supra-".
std::string_view supra_name(int supra);
// The 10-character column headings that ELEMEN shows for an internal type: one per stored
// column, the type code first. Empty for types that have no entry form (14, 16, 18-20 ...).
std::span<const std::string_view> column_headings(int type);

// Headings of the result columns 5-12 of a lens row ("Z-center" ... "Y-focal").
std::span<const std::string_view> result_headings();

// ---- The lens system --------------------------------------------------------------------------
class LensSystem {
 public:
  LensSystem();

  // Element table entry, 1-based: row 1..kRows, column 1..kColumns. An index outside the table
  // is a programming error (std::out_of_range), never a write past the array.
  double& p(int iz, int col);
  double p(int iz, int col) const;

  // Per-row side arrays, 1-based rows 1..kRows.
  double& rotation(int iz);        // rad, about the beam axis (ROTN)
  double rotation(int iz) const;
  double& dx(int iz);              // m, transverse displacement (DISP)
  double dx(int iz) const;
  double& dy(int iz);
  double dy(int iz) const;
  int& link(int iz);               // 0 constant, +g / -g member of group g (signed)
  int link(int iz) const;
  // Variable group values, 1-based 1..kMaxGroups: field magnitudes.
  double& group_value(int g);
  double group_value(int g) const;

  // Type code of a row, decoded (pure, no message).
  TypeCode type_at(int iz) const { return unpack(p(iz, 1)); }

  // True when a system is loaded (izend >= 1).
  bool loaded() const { return izend >= 1; }

  // Clears the table and all side arrays to 0 and the group values; keeps title, file name.
  void clear_table();
  // Clears rotations and displacements of every row (DATA does this after a load).
  void clear_offsets();

  std::string title = std::string(kTitleLength, ' ');   // 50 characters, blank padded
  std::string data_file;      // current data file name, trimmed (at most 100 characters)
  int izend = 0;              // row of the System End; 0: no system loaded
  int nv = 0;                 // number of variable groups
  double total_length = 0.0;  // m, set by the system walk
  double lens_mid = 0.0;      // m, mid-point of the lens region, set by the system walk

 private:
  std::array<double, kRows * kColumns> table_{};
  std::array<double, kRows> rotation_{};
  std::array<double, kRows> dx_{};
  std::array<double, kRows> dy_{};
  std::array<int, kRows> link_{};
  std::array<double, kMaxGroups> group_{};
};

// Index of the first row from 3 to kRows whose code class is 9 (System End);
// 0 when there is none.
int find_system_end(const LensSystem& s);

// ---- Coupling groups --------------------------------------------------------------------------
// Group collection (COUPLE's computation): over rows 3..izend, every lens (polarity not 0) gets
// its link, each new |coupling code| opens a group (numbered by first appearance) whose value is
// the first member's |field|. A coupled lens whose field sign disagrees with its code is
// reported ("?COUPLE- Incorrect sign coupling at IZ = ") and still linked with the code's sign.
// Returns nv. Illegal codes are reported by unpack on out.
int collect_groups(LensSystem& s, qx::Output& out);

// Group application: the field (column 3) of every linked lens := sign(link) x group value.
void apply_groups(LensSystem& s);

// ---- Particle ---------------------------------------------------------------------------------
// The particle as an element sees it: charge and mass of row 1, the kinetic energy it has at
// the element (the energy as loaded plus what the accelerating columns before it gave).
struct Particle {
  double charge = 0.0;   // in elementary charges, signed (row 1, column 2)
  double mass = 0.0;     // amu (row 1, column 3)
  double energy = 0.0;   // kinetic energy, MeV
};

// The particle of row 1 with the working energy (column 4).
Particle particle_of(const LensSystem& s);

// Momentum (kg m/s) of a particle of kinetic energy t_mev (MeV) and mass mass_amu (amu):
// p = e sqrt(T (T/c^2 + 2m/e)), T in eV, m in kg. The charge does not enter.
double particle_momentum(double t_mev, double mass_amu);
// The same for the working energy and mass of the system (row 1, columns 4 and 3).
double particle_momentum(const LensSystem& s);
// The same for a particle.
double particle_momentum(const Particle& p);

}  // namespace vorne
