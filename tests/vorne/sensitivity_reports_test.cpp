// PARASI, ROTN and DISP: layouts written from their records, values from walks of tables
// perturbed by hand, the system put back exactly, and the edge cases.
#include <filesystem>
#include <vector>

#include "aberration_reference.h"
#include "reports/sensitivity.h"
#include "optics/third_order.h"
#include "vorne_session.h"

namespace {

using optics_test::Rig;

std::string g12(double v) { return qx::edit_g(v, 12, 5, 1); }
std::string g13(double v) { return qx::edit_g(v, 13, 5, 1); }

struct Snapshot {
  std::vector<double> table, tilts, dx, dy;
};
Snapshot snapshot(const vorne::LensSystem& s) {
  Snapshot n;
  for (int iz = 1; iz <= vorne::kRows; ++iz) {
    for (int c = 1; c <= vorne::kColumns; ++c) n.table.push_back(s.p(iz, c));
    n.tilts.push_back(s.rotation(iz));
    n.dx.push_back(s.dx(iz));
    n.dy.push_back(s.dy(iz));
  }
  return n;
}

// A system with tilts and offsets on its lenses, walked at first order.
void prepare(Rig& r, const char* name) {
  r.load(name);
  r.walk(1);
  for (int iz = 3; iz < r.s.izend; ++iz) {
    r.s.rotation(iz) = 1e-3 * iz;
    r.s.dx(iz) = 1.1e-4 * iz;
    r.s.dy(iz) = -0.7e-4 * iz;
  }
  r.walk(1);
}

TEST(SensitivityReports, EveryReportPutsTheSystemBack) {
  for (int report = 0; report < 5; ++report) {
    Rig r;
    prepare(r, "sextupole_triplet.vrn");
    const Snapshot before = snapshot(r.s);
    const int izend = r.s.izend;
    if (report == 0) vorne::parasitic_report(r.v, 'S', 0.0);
    if (report == 1) vorne::parasitic_report(r.v, 'O', 3.0);
    if (report == 2) vorne::parasitic_report(r.v, ' ', 0.0);
    if (report == 3) vorne::rotational_report(r.v, 'D', 2.0);
    if (report == 4) vorne::displacement_aberration_report(r.v, 0.0);
    const Snapshot after = snapshot(r.s);
    EXPECT_EQ(after.table, before.table) << report;
    EXPECT_EQ(after.tilts, before.tilts) << report;
    EXPECT_EQ(r.s.izend, izend);
    if (report == 4) {
      // The displacement report keeps the offsets in single precision.
      for (std::size_t i = 0; i < before.dx.size(); ++i) {
        EXPECT_EQ(after.dx[i], static_cast<double>(static_cast<float>(before.dx[i]))) << i;
        EXPECT_EQ(after.dy[i], static_cast<double>(static_cast<float>(before.dy[i]))) << i;
      }
      EXPECT_NE(after.dx, before.dx);
    } else {
      EXPECT_EQ(after.dx, before.dx) << report;
      EXPECT_EQ(after.dy, before.dy) << report;
    }
  }
}

TEST(SensitivityReports, RotationalLayoutAndValues) {
  for (const char letter : {'D', 'R'}) {
    Rig r;
    prepare(r, "triplet_focused.vrn");
    const double rad = 2.5 * static_cast<double>(0.0175f);
    std::string want = " \n Rotational aberration coefficients (" + g12(rad / static_cast<double>(0.0175f)) +
                       " deg) :\n\n Quadrupole       Position     (x/ph.rho)        (y/th.rho)\n\n";
    Rig t;
    prepare(t, "triplet_focused.vrn");
    for (int iz = 1; iz <= vorne::kRows; ++iz) t.s.rotation(iz) = 0.0;
    int n = 0;
    const double scale = letter == 'D' ? static_cast<double>(0.0175f) : 1.0;
    for (const int iz : {4, 6, 8}) {
      t.s.rotation(iz) = rad;
      t.walk(1);
      want += "    " + qx::edit_i(++n, 2) + std::string(15, ' ') + qx::edit_i(iz, 2) + std::string(9, ' ') +
              g12(scale * t.v.walk.s(1, 4) / rad) + "      " + g12(scale * t.v.walk.s(3, 2) / rad) + "\n";
      t.s.rotation(iz) = 0.0;
    }
    want += letter == 'D' ? " \n                 Units: m/rad/degree\n\n" : " \n                 Units: m/rad^2\n\n";
    r.take();
    vorne::rotational_report(r.v, letter, 2.5);
    EXPECT_EQ(r.take(), want) << letter;
  }
}

TEST(SensitivityReports, DisplacementLayoutAndValues) {
  Rig r;
  r.load("doublet_focused.vrn");
  r.walk(1);
  r.s.dx(6) = 2e-4;  // a user offset, in place for orders 2 and 3
  const double d = 5e-4;
  std::string want;
  for (int order = 1; order <= 3; ++order) {
    want += " \n " + qx::edit_i(order, 2) + " Order displacement aberration coefficients (offset " + g12(d * 1000) +
            " mm) :\n\n Quadrupole       Position     (x/a)        (y/b)\n\n";
    Rig t;
    t.load("doublet_focused.vrn");
    if (order > 1) t.s.dx(6) = static_cast<float>(2e-4);
    int n = 0;
    for (const int iz : {4, 6}) {
      const double keep = t.s.dx(iz);
      t.s.dx(iz) = d;
      t.walk(order);
      const float xa = (static_cast<float>(t.s.p(2, 7)) - static_cast<float>(t.s.p(2, 2))) / static_cast<float>(d);
      t.s.dx(iz) = 0.0;
      t.s.dy(iz) = d;
      t.walk(order);
      const float yb = (static_cast<float>(t.s.p(2, 9)) - static_cast<float>(t.s.p(2, 4))) / static_cast<float>(d);
      t.s.dy(iz) = 0.0;
      (void)keep;
      want += "    " + qx::edit_i(++n, 2) + std::string(15, ' ') + qx::edit_i(iz, 2) + std::string(9, ' ') +
              g12(static_cast<double>(xa)) + "      " + g12(static_cast<double>(yb)) + "\n";
    }
    want += " \n                 Units: m/m\n\n";
  }
  r.take();
  vorne::displacement_aberration_report(r.v, d);
  EXPECT_EQ(r.take(), want);
}

// The parasitic report of one order, written from a table perturbed by hand.
std::string parasitic_expected(const char* name, int order, double percent) {
  std::string want = order == 2 ? " \n Reduced Parasitic Sextupole Aberration Coefficients: (m/rad^2/%)\n\n"
                                : " \n Reduced Parasitic Octupole Aberration Coefficients: (micron/millirad^3/%)\n\n";
  Rig base;
  base.load(name);
  for (int iz = 3; iz < base.s.izend; ++iz) {
    const aberration_ref::Code c = aberration_ref::code_at(base, iz);
    if (c.type == (order == 2 ? 6 : 8)) base.s.p(iz, 3) = 0.0;
  }
  base.walk(3);
  const vorne::ThirdOrderSet reference =
      vorne::magnification_included(base.v.walk.total, vorne::mag(base.v, base.s.izend));
  std::vector<int> quads;
  for (int iz = 3; iz < base.s.izend; ++iz) {
    const aberration_ref::Code c = aberration_ref::code_at(base, iz);
    if (c.type == 4 && c.supra == 0) quads.push_back(iz);
  }
  int n = 0;
  for (const int iz : quads) {
    Rig t;
    t.load(name);
    for (int row = 3; row < t.s.izend; ++row)
      if (aberration_ref::code_at(t, row).type == (order == 2 ? 6 : 8)) t.s.p(row, 3) = 0.0;
    for (int row = t.s.izend; row > iz; --row)
      for (int c = 1; c <= 12; ++c) t.s.p(row + 1, c) = t.s.p(row, c);
    t.s.izend += 1;
    const bool magnetic = aberration_ref::code_at(t, iz).polarity > 0;
    t.s.p(iz + 1, 1) = order == 2 ? (magnetic ? 26.0 : 36.0) : (magnetic ? 28.0 : 38.0);
    t.s.p(iz + 1, 2) = t.s.p(iz, 2);
    t.s.p(iz + 1, 4) = t.s.p(iz, 4);
    double f = percent > 1e-10 ? percent / 100 : static_cast<double>(0.05f);
    if (order == 3) f *= 20;
    t.s.p(iz + 1, 3) = t.s.p(iz, 3) * f;
    const double pct = t.s.p(iz + 1, 3) * 100 / t.s.p(iz, 3);
    t.walk(order);
    want += " Quadrupole lens " + qx::edit_i(++n, 2) + " in position " + qx::edit_i(iz, 2) + " Parasitic lens field " +
            g12(t.s.p(iz + 1, 3)) + " (" + qx::edit_f(pct, 7, 2) + "%)\n";
    if (order == 2) {
      const vorne::Mat14& s2 = t.v.walk.s2;
      want += "   (X/TH2S)  " + g13(s2(1, 9) / pct) + "   (Y/TH2S)  " + g13(s2(3, 9) / pct) + "\n" + "   (X/THPHS) " +
              g13(s2(1, 11) / pct) + "   (Y/THPHS) " + g13(s2(3, 11) / pct) + "\n" + "   (X/PH2S)  " +
              g13(s2(1, 14) / pct) + "   (Y/PH2S)  " + g13(s2(3, 14) / pct) + "\n\n";
    } else {
      const vorne::ThirdOrderSet m = vorne::magnification_included(t.v.walk.total, vorne::mag(t.v, t.s.izend));
      want += "   (X/TH3O)   " + g13((m(1, 1) - reference(1, 1)) / pct) + "   (Y/PH3O)   " +
              g13((m(2, 1) - reference(2, 1)) / pct) + "\n" + "   (X/THPH2O) " +
              g13((m(1, 2) - reference(1, 2)) / pct) + "   (Y/TH2PHO) " + g13((m(2, 2) - reference(2, 2)) / pct) +
              "\n\n";
    }
  }
  return want;
}

TEST(SensitivityReports, ParasiticLayoutAndValues) {
  for (const char* name : {"sextupole_triplet.vrn", "supra_octupole.vrn", "electrostatic_quads.vrn"}) {
    Rig r;
    r.load(name);
    r.walk(1);
    vorne::parasitic_report(r.v, 'S', 0.0);
    EXPECT_EQ(r.take(), parasitic_expected(name, 2, 0.0)) << name;
    vorne::parasitic_report(r.v, 'O', 2.0);
    EXPECT_EQ(r.take(), parasitic_expected(name, 3, 2.0)) << name;
    vorne::parasitic_report(r.v, 'B', 0.0);
    EXPECT_EQ(r.take(), parasitic_expected(name, 2, 0.0) + parasitic_expected(name, 3, 0.0)) << name;
  }
}

TEST(SensitivityReports, ExistingMultipolesStayOffForEveryQuadrupole) {
  // The parasitic figures belong to the parasitic lens alone: the same with or without the
  // system's own sextupoles and octupoles.
  auto report = [](bool own_multipoles, char kind) {
    Rig r;
    r.load("sextupole_triplet.vrn");
    if (!own_multipoles)
      for (const int iz : {4, 9, 15}) r.s.p(iz, 3) = 0.0;
    vorne::parasitic_report(r.v, kind, 0.0);
    return r.take();
  };
  EXPECT_EQ(report(true, 'S'), report(false, 'S'));
  Rig a;
  a.load("quadruplet_octupoles.vrn");
  vorne::parasitic_report(a.v, 'O', 0.0);
  Rig b;
  b.load("quadruplet_octupoles.vrn");
  for (const int iz : {6, 10, 14}) b.s.p(iz, 3) = 0.0;
  vorne::parasitic_report(b.v, 'O', 0.0);
  EXPECT_EQ(a.take(), b.take());
}

TEST(SensitivityReports, ZeroFieldQuadrupoleNoQuadrupolesAndAFullTable) {
  // A quadrupole of no field is given 1.0 for its run, and keeps 0 afterwards.
  Rig z;
  z.load("doublet_focused.vrn");
  z.s.p(6, 3) = 0.0;
  vorne::parasitic_report(z.v, 'S', 0.0);
  EXPECT_NE(z.take().find(" Quadrupole lens  2 in position  6 Parasitic lens field " + g12(static_cast<double>(0.05f)) +
                          " (   5.00%)\n"),
            std::string::npos);
  EXPECT_EQ(z.s.p(6, 3), 0.0);

  Rig none;
  none.add(3.0, 1.0);
  none.add(8.0, 0.1, 0.01, 0.01);
  none.add(3.0, 1.0);
  none.end();
  vorne::parasitic_report(none.v, ' ', 0.0);
  EXPECT_EQ(none.take(),
            " \n Reduced Parasitic Sextupole Aberration Coefficients: (m/rad^2/%)\n\n"
            " \n Reduced Parasitic Octupole Aberration Coefficients: (micron/millirad^3/%)\n\n");
  vorne::rotational_report(none.v, 'X', 0.0);
  EXPECT_EQ(none.take(),
            " \n Rotational aberration coefficients (  1.0000     deg) :\n\n"
            " Quadrupole       Position     (x/ph.rho)        (y/th.rho)\n\n"
            " \n                 Units: m/rad^2\n\n");
  vorne::displacement_aberration_report(none.v, 0.0);
  std::string want;
  for (int n = 1; n <= 3; ++n)
    want += " \n  " + std::to_string(n) + " Order displacement aberration coefficients (offset " +
            g12(static_cast<double>(0.001f) * 1000) +
            " mm) :\n\n Quadrupole       Position     (x/a)        (y/b)\n\n" + " \n                 Units: m/m\n\n";
  EXPECT_EQ(none.take(), want);

  // Forty rows leave no room for the parasitic lens.
  Rig full;
  full.add(3.0, 1.0);
  full.add(4.0, 0.05, 0.1, 0.005);
  while (full.next < vorne::kRows) full.add(3.0, 0.01);
  full.end();
  ASSERT_EQ(full.s.izend, vorne::kRows);
  full.walk(3);
  const Snapshot before = snapshot(full.s);
  vorne::parasitic_report(full.v, 'S', 0.0);
  EXPECT_EQ(full.take(), " ?PARASI- No room for a parasitic lens: the table holds 40 rows.\n");
  EXPECT_EQ(snapshot(full.s).table, before.table);
}

}  // namespace

namespace {

TEST(SensitivityReports, CommandsPassTheirLetterAndNumber) {
  qxtest::TempDir dir;
  std::filesystem::copy_file(qxtest::test_data("doublet_focused.vrn"), dir / "doublet.vrn");
  const auto run =
      vorne_session::run(dir, "DATA doublet\nROTN D 2\nDISP 0.002\nPARASI/O 4\nEXIT\n");
  Rig r;
  r.load("doublet_focused.vrn");
  r.walk(1);
  std::vector<std::string> want;
  vorne::rotational_report(r.v, 'D', 2.0);
  want.push_back(r.take());
  vorne::displacement_aberration_report(r.v, 0.002);
  want.push_back(r.take());
  vorne::parasitic_report(r.v, 'O', 4.0);
  want.push_back(r.take());
  // Each report follows its prompt, whose line its first record (a blank) continues.
  for (const std::string& w : want) EXPECT_NE(run.out.find(" vrn> " + w), std::string::npos) << run.out << w;
}

}  // namespace
