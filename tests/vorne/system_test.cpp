// The lens-system model: type-code decoding, names, coupling groups, particle momentum.
#include "system/system.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "qx/units.h"

namespace vorne {
namespace {

struct UnpackCase {
  double code;
  int type, polarity, supra, coupling;
};

TEST(Unpack, DecodesTheDocumentedCodes) {
  const UnpackCase cases[] = {
      {0.00, kParticle, 0, 0, 0},        {1.00, kBeam, 0, 0, 0},
      {3.00, kDrift, 0, 0, 0},           {4.00, kQuadrupole, 1, 0, 0},
      {4.10, kQuadrupole, 1, 0, 1},      {4.01, kQuadrupole, 1, 0, -1},
      {4.90, kQuadrupole, 1, 0, 9},      {4.09, kQuadrupole, 1, 0, -9},
      {14.00, kQuadrupole, -1, 0, 0},    {14.20, kQuadrupole, -1, 0, 2},
      {24.00, kQuadrupole, 1, 1, 0},     {34.00, kQuadrupole, -1, 1, 0},
      {6.00, kSextupole, 1, 0, 0},       {16.00, kSextupole, -1, 0, 0},
      {8.00, kOctupole, 1, 0, 0},        {18.00, kOctupole, -1, 0, 0},
      {2.00, kDipole, 1, 0, 0},          {12.00, kElectrostaticDipole, -1, 0, 0},
      {7.00, kVelocitySelector, -1, 0, 0}, {9.00, kSystemEnd, 0, 0, 0},
      {10.00, kAccelerator, -1, 0, 0},   {11.00, kSolenoid, 1, 0, 0},
      {11.30, kSolenoid, 1, 0, 3},       {13.00, kGapLens, -1, 0, 0},
      {15.00, kEinzelLens, -1, 0, 0},    {17.00, kCylinderLens, -1, 0, 0},
      // A collimator has polarity 0 whatever its other digits (its coupling digit names a plane).
      {5.00, kCollimator, 0, 0, 0},      {5.20, kCollimator, 0, 0, 2},
      {25.10, kCollimator, 0, 1, 1},     {3.10, kDrift, 0, 0, 1},
  };
  for (const UnpackCase& c : cases) {
    const TypeCode t = unpack(c.code);
    EXPECT_EQ(t.type, c.type) << c.code;
    EXPECT_EQ(t.polarity, c.polarity) << c.code;
    EXPECT_EQ(t.supra, c.supra) << c.code;
    EXPECT_EQ(t.coupling, c.coupling) << c.code;
    EXPECT_FALSE(t.illegal) << c.code;
    EXPECT_FALSE(t.bad_code) << c.code;
  }
}

TEST(Unpack, ReadsThroughTheIntegerPartOfHundredths) {
  // Binary rounding of codes written with two decimals must not lose a digit ...
  for (int h = 0; h < 10000; ++h) {
    const double code = h / 100.0;
    const TypeCode t = unpack(code);
    EXPECT_EQ(std::abs(t.coupling), (h % 10 != 0) ? h % 10 : (h / 10) % 10) << code;
  }
  // ... and anything finer than hundredths is cut off, not rounded.
  EXPECT_EQ(unpack(4.105).coupling, 1);
  EXPECT_EQ(unpack(4.10999).coupling, 1);
  EXPECT_EQ(unpack(4.0999).coupling, -9);   // 409.99 reads as 409
  EXPECT_EQ(unpack(3.99999).type, kDrift);
}

TEST(Unpack, IllegalCouplingTakesTheHundredthsDigitAndReports) {
  const TypeCode t = unpack(4.12);
  EXPECT_TRUE(t.illegal);
  EXPECT_EQ(t.coupling, -2);
  qx::StringOutput out;
  unpack(4.12, out);
  EXPECT_EQ(out.text(), " %UNPACK - Illegal coupling codes. DTYPE =    4.12\n");
  out.clear();
  unpack(4.10, out);
  EXPECT_EQ(out.text(), "");
}

TEST(Unpack, CodesOutsideTheTableAreFlaggedNotDecoded) {
  for (const double code : {-1.0, 100.0, 1.0e300, std::nan(""), HUGE_VAL}) {
    const TypeCode t = unpack(code);
    EXPECT_TRUE(t.bad_code) << code;
    EXPECT_EQ(t.polarity, 0) << code;
    EXPECT_FALSE(valid_type_code(code)) << code;
  }
  EXPECT_TRUE(valid_type_code(99.99));
  EXPECT_TRUE(valid_type_code(0.0));
}

TEST(Names, TablesByInternalType) {
  EXPECT_EQ(type_name(1), "Beam data ");
  EXPECT_EQ(type_name(4), "Quadrupole");
  EXPECT_EQ(type_name(12), "Particle  ");
  EXPECT_EQ(type_name(17), "Cyl lens  ");
  EXPECT_EQ(type_name(14), "?         ");
  EXPECT_EQ(type_name(0), "?         ");
  EXPECT_EQ(type_name(21), "?         ");
  EXPECT_EQ(element_name(12), "Dipole    ");
  EXPECT_EQ(element_name(2), "Dipole    ");
  EXPECT_EQ(polarity_name(-1), "Elec");
  EXPECT_EQ(polarity_name(0), "    ");
  EXPECT_EQ(polarity_name(1), "Magn");
  EXPECT_EQ(supra_name(1), "Supra-");
  EXPECT_EQ(supra_name(0), "      ");
  for (int type = 0; type <= 20; ++type) {
    EXPECT_EQ(type_name(type).size(), 10u);
    for (const std::string_view h : column_headings(type)) EXPECT_EQ(h.size(), 10u) << type;
  }
  EXPECT_EQ(column_headings(kDrift).size(), 2u);
  EXPECT_EQ(column_headings(kGapLens).size(), 3u);
  EXPECT_EQ(column_headings(kBeam).size(), 6u);
  EXPECT_EQ(column_headings(kElectrostaticDipole)[2], "Ex (V/m)  ");
  EXPECT_TRUE(column_headings(14).empty());
  EXPECT_EQ(result_headings().size(), 8u);
}

TEST(LensSystemTable, OneBasedAccessIsBoundsChecked) {
  LensSystem s;
  s.p(1, 1) = 0.5;
  s.p(kRows, kColumns) = 7.0;
  EXPECT_EQ(s.p(1, 1), 0.5);
  EXPECT_EQ(s.p(kRows, kColumns), 7.0);
  EXPECT_THROW(s.p(0, 1), std::out_of_range);
  EXPECT_THROW(s.p(kRows + 1, 1), std::out_of_range);
  EXPECT_THROW(s.p(1, kColumns + 1), std::out_of_range);
  EXPECT_THROW(s.rotation(kRows + 1), std::out_of_range);
  EXPECT_THROW(s.group_value(kMaxGroups + 1), std::out_of_range);
  s.rotation(3) = 1.0;
  s.dx(3) = 2.0;
  s.clear_offsets();
  EXPECT_EQ(s.rotation(3), 0.0);
  EXPECT_EQ(s.dx(3), 0.0);
  EXPECT_EQ(s.p(1, 1), 0.5);
  s.izend = 5;
  s.clear_table();
  EXPECT_EQ(s.p(kRows, kColumns), 0.0);
  EXPECT_FALSE(s.loaded());
}

// A system of the given codes and fields in rows 3.., System End after them.
LensSystem system_of(std::initializer_list<std::pair<double, double>> rows) {
  LensSystem s;
  s.p(2, 1) = 1.0;
  int iz = kFirstElementRow;
  for (const auto& [code, field] : rows) {
    s.p(iz, 1) = code;
    s.p(iz, 3) = field;
    ++iz;
  }
  s.p(iz, 1) = 9.0;
  s.izend = iz;
  return s;
}

TEST(Groups, OppositeCodesFormOneGroupWithOppositeFields) {
  LensSystem s = system_of({{3.0, 0.0}, {4.10, 0.42}, {3.0, 0.0}, {4.01, -0.40}, {4.00, 0.3}});
  qx::StringOutput out;
  EXPECT_EQ(collect_groups(s, out), 1);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(s.link(4), 1);
  EXPECT_EQ(s.link(6), -1);
  EXPECT_EQ(s.link(7), 0);
  EXPECT_EQ(s.group_value(1), 0.42);
  apply_groups(s);
  EXPECT_EQ(s.p(4, 3), 0.42);
  EXPECT_EQ(s.p(6, 3), -0.42);
  EXPECT_EQ(s.p(7, 3), 0.3);   // a constant lens keeps its field
}

TEST(Groups, NumberedByFirstAppearanceNotByDigit) {
  LensSystem s = system_of({{4.70, 0.1}, {4.20, 0.2}, {4.07, -0.1}, {8.20, 5.0}});
  qx::StringOutput out;
  EXPECT_EQ(collect_groups(s, out), 2);
  EXPECT_EQ(s.link(3), 1);
  EXPECT_EQ(s.link(4), 2);
  EXPECT_EQ(s.link(5), -1);
  EXPECT_EQ(s.link(6), 2);
  EXPECT_EQ(s.group_value(1), 0.1);
  EXPECT_EQ(s.group_value(2), 0.2);
}

TEST(Groups, WrongSignIsReportedAndFlippedByApplication) {
  LensSystem s = system_of({{4.10, 0.5}, {4.01, 0.5}});
  qx::StringOutput out;
  collect_groups(s, out);
  EXPECT_EQ(out.text(), " ?COUPLE- Incorrect sign coupling at IZ =  4\n");
  EXPECT_EQ(s.link(4), -1);
  apply_groups(s);
  EXPECT_EQ(s.p(4, 3), -0.5);
}

TEST(Groups, DriftsAndCollimatorsNeverJoinNorHideAGroup) {
  // A drift or collimator written with coupling digits must not turn a later lens of the same
  // code into a member of a group without value.
  LensSystem s = system_of({{3.10, 0.0}, {5.10, 0.7}, {4.10, 0.25}, {4.01, -0.25}});
  qx::StringOutput out;
  EXPECT_EQ(collect_groups(s, out), 1);
  EXPECT_EQ(s.link(3), 0);
  EXPECT_EQ(s.link(4), 0);
  EXPECT_EQ(s.link(5), 1);
  EXPECT_EQ(s.link(6), -1);
  EXPECT_EQ(s.group_value(1), 0.25);
  apply_groups(s);
  EXPECT_EQ(s.p(4, 3), 0.7);   // the collimator's column 3 is not a field
}

TEST(Groups, CollectionStartsAfresh) {
  LensSystem s = system_of({{4.10, 0.5}});
  qx::StringOutput out;
  collect_groups(s, out);
  s.p(3, 1) = 4.0;
  EXPECT_EQ(collect_groups(s, out), 0);
  EXPECT_EQ(s.link(3), 0);
  EXPECT_EQ(s.group_value(1), 0.0);
}

TEST(Particle, MomentumAgreesWithTheRelativisticClosedForm) {
  // pc = sqrt(T^2 + 2 T mc^2), everything in joules.
  for (const double t_mev : {0.001, 3.0, 100.0, 10000.0}) {
    const double mass_amu = 1.00728;
    const double t = t_mev * 1.0e6 * kElementaryCharge;
    const double mc2 = mass_amu * kAtomicMassUnit * kSpeedOfLight * kSpeedOfLight;
    const double expected = std::sqrt(t * t + 2.0 * t * mc2) / kSpeedOfLight;
    EXPECT_NEAR(particle_momentum(t_mev, mass_amu) / expected, 1.0, 1e-13) << t_mev;
  }
  // 3 MeV protons: magnetic rigidity about 0.2505 T m.
  LensSystem s;
  s.p(1, 3) = 1.00728;
  s.p(1, 4) = 3.0;
  EXPECT_NEAR(particle_momentum(s) / kElementaryCharge, 0.2505, 0.0005);
}

TEST(SystemEnd, FoundAsTheFirstType9Row) {
  LensSystem s = system_of({{3.0, 0.0}, {4.0, 0.1}});
  EXPECT_EQ(find_system_end(s), 5);
  LensSystem none;
  EXPECT_EQ(find_system_end(none), 0);
}

}  // namespace
}  // namespace vorne
