// The element table's headings and its row surgery (the pieces of ELEMEN, INSERT, REMOVE and
// SQUEEZ that need no dialogue).
#include "system/editing.h"

#include <array>
#include <string_view>

namespace vorne {

namespace {

constexpr std::array<std::string_view, kHeadingCount> kHeadings = {
    // default: lenses, drift, System End; then the lens results
    " Type code", "Length (m)", " Field T,V", "Radius (m)", "  Z-center", " Z:X-image", " Z:Y-image",
    "     ALPHA", "     X-mag", "     Y-mag", "   X-focal", "   Y-focal",
    // beam
    " Type code", " X-1/2 ext", " X-1/2 div", " Y-1/2 ext", " Y-1/2 div", "En-1/2 spr",
    // particle
    " Type code", "    Charge", "Mass (amu)", "Energy MeV", "Diagnostic",
    // magnetic dipole
    "Type code ", "Length (m)", "BX yoz (T)", "BY xoz (T)",
    // einzel lens
    "Type code ", "Length (m)", "     V2/V1", "    Radius",
    // velocity selector
    "Type code ", "Length (m)", "   B-Field", "   E-Field",
    // gap lens
    "Type code ", "Length (m)", "    Radius", "?         ",
    // cylinder lens
    "Type code ", "Length (m)", "       Gap", "     Field",
    // collimator
    "Type code ", "      Zero", "    Offset", "     Width",
    // electrostatic dipole
    "Type code ", "Length (m)", "Ex (V/m)  ", "Ey (V/m)  ",
};

constexpr int kParticleBase = 18;
constexpr int kBeamBase = 12;
void clear_row(LensSystem& s, int iz) {
  for (int c = 1; c <= kColumns; ++c) s.p(iz, c) = 0.0;
  s.rotation(iz) = 0.0;
  s.dx(iz) = 0.0;
  s.dy(iz) = 0.0;
  s.link(iz) = 0;
}

}  // namespace

void copy_row(const LensSystem& from, int row, LensSystem& to, int to_row) {
  for (int c = 1; c <= kColumns; ++c) to.p(to_row, c) = from.p(row, c);
  to.rotation(to_row) = from.rotation(row);
  to.dx(to_row) = from.dx(row);
  to.dy(to_row) = from.dy(row);
  to.link(to_row) = from.link(row);
}

std::string_view heading(int k) {
  if (k < 1 || k > kHeadingCount) return "?         ";
  return kHeadings[static_cast<std::size_t>(k - 1)];
}

HeadingSelection headings_for(int type, int polarity) {
  switch (type) {
    case kParticle:
      return {kParticleBase, 5};
    case kBeam:
      return {kBeamBase, 6};
    case kDipole:
      return {23, 4};
    case kDrift:
      return {0, 2};
    case kCollimator:
      return {43, 4};
    case kVelocitySelector:
      return {31, 4};
    case kSystemEnd:
      return {0, 1};
    case kElectrostaticDipole:
      return {47, 4};
    case kGapLens:
      return {35, 3};
    case kEinzelLens:
      return {27, 4};
    case kCylinderLens:
      return {39, 4};
    default:
      return {polarity != 0 ? 0 : 23, 4};
  }
}

void insert_drift_after(LensSystem& s, int k) {
  for (int iz = s.izend; iz > k; --iz) copy_row(s, iz, s, iz + 1);
  clear_row(s, k + 1);
  s.p(k + 1, 1) = static_cast<double>(kDrift);
  ++s.izend;
}

void remove_row(LensSystem& s, int k) {
  for (int iz = k; iz < s.izend; ++iz) copy_row(s, iz + 1, s, iz);
  clear_row(s, s.izend);
  --s.izend;
}

void squeeze_drifts(LensSystem& s) {
  int kept = 0;
  int run_start = 0;   // row (in the kept numbering) of the first drift of the current run
  for (int iz = 1; iz <= s.izend; ++iz) {
    const bool drift = iz >= kFirstElementRow && s.type_at(iz).type == kDrift;
    if (drift && run_start != 0) {
      s.p(run_start, 2) += s.p(iz, 2);
      continue;
    }
    ++kept;
    if (kept != iz) copy_row(s, iz, s, kept);
    run_start = drift ? kept : 0;
  }
  for (int iz = kept + 1; iz <= s.izend; ++iz) clear_row(s, iz);
  s.izend = kept;
}

}  // namespace vorne
