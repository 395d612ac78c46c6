// The table surgery behind INSERT, REMOVE and SQUEEZ, and ELEMEN's heading selection.
#include "system/editing.h"
#include "optics_rig.h"

namespace {

using optics_test::Rig;

// Particle, beam, drift, quadrupole (rotated, displaced), drift, drift, System End.
void build(Rig& r) {
  r.add(3.0, 1.0);
  const int q = r.add(4.10, 0.1, 0.5, 0.01);
  r.add(3.0, 0.25);
  r.add(3.0, 0.5);
  r.end();
  r.s.rotation(q) = 0.3;
  r.s.dx(q) = 1E-4;
  r.s.dy(q) = -2E-4;
}

TEST(EditingTable, RotationAndDisplacementMoveWithTheirRows) {
  Rig r;
  build(r);
  vorne::insert_drift_after(r.s, 3);
  EXPECT_EQ(r.s.izend, 8);
  EXPECT_EQ(r.s.p(4, 1), 3.0);   // the new drift: no length, no offsets
  EXPECT_EQ(r.s.rotation(4), 0.0);
  EXPECT_EQ(r.s.dx(4), 0.0);
  EXPECT_EQ(r.s.p(5, 1), 4.10);   // the quadrupole one row further, offsets with it
  EXPECT_EQ(r.s.rotation(5), 0.3);
  EXPECT_EQ(r.s.dx(5), 1E-4);
  EXPECT_EQ(r.s.dy(5), -2E-4);
  EXPECT_EQ(r.s.p(8, 1), 9.0);

  vorne::remove_row(r.s, 3);
  EXPECT_EQ(r.s.izend, 7);
  EXPECT_EQ(r.s.p(4, 1), 4.10);
  EXPECT_EQ(r.s.rotation(4), 0.3);
  EXPECT_EQ(r.s.dy(4), -2E-4);
  EXPECT_EQ(r.s.p(8, 1), 0.0);   // the freed row is empty, not a second System End
}

TEST(EditingTable, SqueezeKeepsOffsetsOfTheRowsItKeeps) {
  Rig r;
  r.add(3.0, 0.1);
  r.add(3.0, 0.2);
  r.add(3.0, 0.3);
  build(r);   // drift 1.0 continues the run; then the quadrupole and two drifts
  vorne::squeeze_drifts(r.s);
  EXPECT_EQ(r.s.izend, 6);
  EXPECT_DOUBLE_EQ(r.s.p(3, 2), 1.6);
  EXPECT_EQ(r.s.p(4, 1), 4.10);
  EXPECT_EQ(r.s.rotation(4), 0.3);
  EXPECT_EQ(r.s.dx(4), 1E-4);
  EXPECT_DOUBLE_EQ(r.s.p(5, 2), 0.75);
  EXPECT_EQ(r.s.p(6, 1), 9.0);
  for (int iz = 7; iz <= 10; ++iz) EXPECT_EQ(r.s.p(iz, 1), 0.0) << iz;
}

TEST(EditingTable, HeadingSelectionFollowsTheType) {
  struct Case {
    int type, polarity, base, count;
    const char* first;
  };
  const Case cases[] = {{0, 0, 18, 5, " Type code"},  {1, 0, 12, 6, " Type code"},  {2, 1, 23, 4, "Type code "},
                        {3, 0, 0, 2, " Type code"},   {4, -1, 0, 4, " Type code"},  {5, 0, 43, 4, "Type code "},
                        {7, -1, 31, 4, "Type code "}, {9, 0, 0, 1, " Type code"},   {11, 1, 0, 4, " Type code"},
                        {12, -1, 47, 4, "Type code "}, {13, -1, 35, 3, "Type code "}, {15, -1, 27, 4, "Type code "},
                        {17, -1, 39, 4, "Type code "}};
  for (const Case& c : cases) {
    const vorne::HeadingSelection s = vorne::headings_for(c.type, c.polarity);
    EXPECT_EQ(s.base, c.base) << c.type;
    EXPECT_EQ(s.count, c.count) << c.type;
    EXPECT_EQ(vorne::heading(s.base + 1), c.first) << c.type;
  }
  EXPECT_EQ(vorne::heading(51), "Ey (V/m)  ");
  EXPECT_EQ(vorne::heading(38), "    Radius");
  EXPECT_EQ(vorne::heading(12), "   Y-focal");
}

}  // namespace
