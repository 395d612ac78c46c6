// EXCITE and CHROM run as a user would, their replies written from the documented layouts
// with numbers from perturbed systems integrated here; and every report that perturbs the
// system (EXCITE, CHROM, VECTOR 2) leaves the element table exactly as it was, bit for bit.
#include <bit>
#include <cmath>
#include <cstdint>

#include "reports/excitation_reports.h"
#include "reports/system_reports.h"
#include "app/commands.h"
#include "reports_rig.h"

namespace {

using namespace reports_test;
using qxtest::TempDir;

struct Group {
  std::vector<int> rows;
  double value = 0.0;   // |field| of the first member
};

// Coupling groups read from the packed codes: tenths digit n (same sign) or hundredths digit n
// (opposite sign) joins group n; groups are numbered by first appearance.
std::vector<Group> groups_of(const vorne::LensSystem& t) {
  std::vector<Group> groups;
  std::vector<int> codes;
  for (int iz = 3; iz < t.izend; ++iz) {
    const long hundredths = static_cast<long>(100.0 * t.p(iz, 1) + 1e-4);
    const int code = static_cast<int>(hundredths % 100 >= 10 ? hundredths % 100 / 10 : hundredths % 10);
    if (code == 0) continue;
    std::size_t g = 0;
    while (g < codes.size() && codes[g] != code) ++g;
    if (g == codes.size()) {
      codes.push_back(code);
      groups.push_back({{}, std::fabs(t.p(iz, 3))});
    }
    groups[g].rows.push_back(iz);
  }
  return groups;
}

bool whole_is(const vorne::LensSystem& t, int iz, int whole) { return static_cast<int>(t.p(iz, 1) + 1e-6) == whole; }

// The final x and y (micrometres per milliradian, x 1E3) of the ray (0, a, 0, a), a = 1/P,
// through the system with the fields of `rows` raised by P percent.
std::pair<double, double> first_order_shift(const vorne::LensSystem& table, const std::vector<int>& rows, double pct) {
  vorne::LensSystem t = table;
  for (const int iz : rows) t.p(iz, 3) *= 1.0 + pct / 100.0;
  const Model m = quad_model(t, t.p(1, 4));
  const double a = 1.0 / pct;
  return {(m.s(1, 2) * a + m.s(1, 4) * a) * 1e3, (m.s(3, 2) * a + m.s(3, 4) * a) * 1e3};
}

std::string coefficient_line(const char* x, const char* y, int n, double vx, double vy) {
  return std::string("     ") + x + std::to_string(n) + "   " + g13(vx) + "    " + y + std::to_string(n) + "   " +
         g13(vy) + "\n";
}

// The EXCITE reply's first-order part: heading, lenses, coupled groups. unit_factor 0 means
// per percent.
std::string first_order_part(const vorne::LensSystem& t, double pct, const std::string& unit, double unit_factor) {
  std::string s = " \n Excitation Aberration Coefficients  (" + unit + ") Perturbation = " + qx::edit_f(pct, 9, 4) +
                  "%\n First Order\n";
  int n = 0;
  for (int iz = 3; iz < t.izend; ++iz) {
    if (!whole_is(t, iz, 4)) continue;
    const auto [x, y] = first_order_shift(t, {iz}, pct);
    const double f = unit_factor == 0.0 ? 1.0 : 100.0 / (t.p(iz, 3) * unit_factor);
    s += coefficient_line("X/THE", "Y/PHE", ++n, x * f, y * f);
  }
  const std::vector<Group> groups = groups_of(t);
  if (groups.size() >= 2) {
    s += " \n Coupled excitation  First order\n";
    n = 0;
    for (const Group& g : groups) {
      const auto [x, y] = first_order_shift(t, g.rows, pct);
      const double f = unit_factor == 0.0 ? 1.0 : 100.0 / (g.value * unit_factor);
      s += coefficient_line("X/THG", "Y/PHG", ++n, x * f, y * f);
    }
    s += " Units: micron/milliradian/%power supply error\n";
  }
  return s;
}

const vorne::LensSystem& loaded(const std::string& name) {
  static std::map<std::string, vorne::LensSystem> tables;
  auto it = tables.find(name);
  if (it == tables.end()) {
    Rig r;
    if (name == "triplet.vrn")
      r.load_path(qxtest::example(name));
    else
      r.load(name);
    it = tables.emplace(name, r.s).first;
  }
  return it->second;
}

Transcript run_on(const std::string& name, const std::string& commands) {
  TempDir dir;
  if (name == "triplet.vrn")
    std::filesystem::copy_file(qxtest::example(name), dir / name);
  else
    copy_system(dir, name);
  return vorne_session::run(dir, "DATA " + name + "\n" + commands);
}

TEST(ReportsExcite, PerPercentPerGaussAndAskedPerturbation) {
  const vorne::LensSystem& t = loaded("triplet.vrn");
  ASSERT_EQ(groups_of(t).size(), 2u);
  const Transcript tr = run_on("triplet.vrn", "EXCITE\nEXCITE G\nEXCITE S\n0.2\nEXCITE 1.5\nEXCITE K\nEXCITE X\n");
  // No number: 0.5 %.
  expect_lines(tr.reply(2), first_order_part(t, 0.5, "  %  ", 0.0), "EXCITE");
  // G: coefficients per gauss of each lens's field (and of each group's value).
  expect_lines(tr.reply(3), first_order_part(t, 0.5, "Gauss", 10000.0), "EXCITE G");
  // S asks for the perturbation and keeps the unit.
  expect_lines(tr.reply(4), " Perturbation > " + first_order_part(t, 0.2, "Gauss", 10000.0), "EXCITE S");
  // A number stands in the argument's first column of the canonical line: per percent again.
  expect_lines(tr.reply(5), first_order_part(t, 1.5, "  %  ", 0.0), "EXCITE 1.5");
  expect_lines(tr.reply(6), first_order_part(t, 0.5, "kG   ", 10.0), "EXCITE K");
  // Another letter keeps the unit.
  expect_lines(tr.reply(7), first_order_part(t, 0.5, "kG   ", 10.0), "EXCITE X");
}

TEST(ReportsExcite, OctupolesGetThirdOrderCoefficients) {
  const vorne::LensSystem& t = loaded("quadruplet_octupoles.vrn");
  const double pct = 0.5, a = 1.0 / pct;
  std::string third = " \n Third Order\n";
  int n = 0;
  for (int iz = 3; iz < t.izend; ++iz) {
    if (!whole_is(t, iz, 8)) continue;
    Rig r;
    r.load("quadruplet_octupoles.vrn");
    r.s.p(iz, 3) *= 1.0 + pct / 100.0;
    r.walk(3);
    const ref::Set c = ref::system_sums(r, -2).total;
    const Model m = quad_model(r.s, 3.0);
    // The ray (0, a, 0, 0) for x, then (0, 0, 0, a) for y, through the perturbed system.
    const double x = m.s(1, 2) * a + m.mx * c.c[1][1] * a * a * a;
    const double y = m.s(3, 4) * a + m.my * c.c[2][1] * a * a * a;
    const double per = a * a * a * 1e5 * pct / 100.0;
    ++n;
    third += " 3RD X/TH3F" + std::to_string(n) + "   " + g13(x / per) + "    Y/PH3F" + std::to_string(n) + "   " +
             g13(y / per) + "\n";
  }
  ASSERT_EQ(n, 3);
  third += " Units: micron/milliradian^3/%power supply error\n";
  const Transcript tr = run_on("quadruplet_octupoles.vrn", "EXCITE\nEXCITE 50\nCHROM\nEXCITE 50\n");
  expect_lines(tr.reply(2), first_order_part(t, pct, "  %  ", 0.0) + third, "EXCITE");
  // A chromatic run in between changes nothing (at 50 % the rays are slopes of 0.02, where
  // chromatic terms left over would show in the third-order lines).
  EXPECT_EQ(tr.reply(5), tr.reply(3));
}

TEST(ReportsChrom, CoefficientsOfAMomentumError) {
  const vorne::LensSystem& t = loaded("triplet.vrn");
  const auto expected = [&](double pct) {
    // Each ray's end at the raised energy minus its end at the nominal energy.
    const Model hot = quad_model(t, 3.0 * (1.0 + pct / 100.0));
    const Model cold = quad_model(t, 3.0);
    const auto change = [&](const Vec4& ray) {
      const Vec4 a = vorne::apply(hot.s, ray), b = vorne::apply(cold.s, ray);
      return Vec4{{a(1) - b(1), a(2) - b(2), a(3) - b(3), a(4) - b(4)}};
    };
    const Vec4 angle = change(Vec4{{0, 1 / pct, 0, 1 / pct}});
    const Vec4 offset = change(Vec4{{1 / pct, 0, 1 / pct, 0}});
    return " \n Chromatic Aberration Coefficients\n Perturbation = " + qx::edit_f(pct, 9, 4) + "%\n" +
           "     X/THDM   " + g13(angle(1) * 2000) + "    Y/PHDM   " + g13(angle(3) * 2000) + "\n" +
           "     X/XDM    " + g13(offset(1) * 2) + "    Y/YDM    " + g13(offset(3) * 2) + "\n" +
           " Units: micron/milliradian/% momentum error\n\n";
  };
  const Transcript tr = run_on("triplet.vrn", "CHROM\nCHROM 1\nCHROM S\n0.25\nCHROM S\n\n");
  expect_lines(tr.reply(2), expected(0.5), "CHROM");
  expect_lines(tr.reply(3), expected(1.0), "CHROM 1");
  expect_lines(tr.reply(4), " Perturbation > " + expected(0.25), "CHROM S");
  expect_lines(tr.reply(5), " Perturbation > " + expected(0.5), "CHROM S, empty answer");
}

TEST(ReportsExcite, BadPerturbationIsAskedAgainEndOfInputCancels) {
  const Transcript tr = run_on("triplet.vrn", "EXCITE S\nlots\n1\nCHROM S\n");
  EXPECT_EQ(tr.reply(2).find(" Perturbation >  ?VORNE- Not a number: lots\n Perturbation >  \n"
                             " Excitation Aberration Coefficients  (  %  ) Perturbation =    1.0000%\n"),
            0u)
      << tr.reply(2);
  EXPECT_EQ(tr.reply(3), " Perturbation > ");
  const Transcript none = vorne_session::run(TempDir(), "EXCITE\nCHROM\n");
  EXPECT_EQ(none.reply(1), " ?VORNE- No system loaded.\n");
  EXPECT_EQ(none.reply(2), " ?VORNE- No system loaded.\n");
}

// ---- Restoring the system ----------------------------------------------------------------------------

// Every stored number of the system as its bits: the table, the side arrays, the scalars.
std::vector<std::uint64_t> bits_of(const vorne::LensSystem& s) {
  std::vector<std::uint64_t> b;
  for (int i = 1; i <= vorne::kRows; ++i) {
    for (int j = 1; j <= vorne::kColumns; ++j) b.push_back(std::bit_cast<std::uint64_t>(s.p(i, j)));
    b.push_back(std::bit_cast<std::uint64_t>(s.rotation(i)));
    b.push_back(std::bit_cast<std::uint64_t>(s.dx(i)));
    b.push_back(std::bit_cast<std::uint64_t>(s.dy(i)));
    b.push_back(static_cast<std::uint64_t>(s.link(i)));
  }
  for (int g = 1; g <= vorne::kMaxGroups; ++g) b.push_back(std::bit_cast<std::uint64_t>(s.group_value(g)));
  b.push_back(static_cast<std::uint64_t>(s.izend));
  b.push_back(static_cast<std::uint64_t>(s.nv));
  b.push_back(std::bit_cast<std::uint64_t>(s.total_length));
  b.push_back(std::bit_cast<std::uint64_t>(s.lens_mid));
  return b;
}

TEST(ReportsRestore, ExciteChromAndVectorTwoLeaveTheTableBitForBit) {
  struct Case {
    const char* command;
    void (*handler)(vorne::Vorne&, const qx::CommandLine&);
  };
  const Case cases[] = {{"EXCITE", vorne::cmd_excite}, {"EXCITE G", vorne::cmd_excite},
                        {"CHROM 2", vorne::cmd_excite}, {"VECTOR 2", vorne::cmd_vector},
                        {"VECTOR -2", vorne::cmd_vector}};
  for (const char* name : {"quadruplet_octupoles.vrn", "sextupole_triplet.vrn", "supra_octupole.vrn"}) {
    for (const Case& c : cases) {
      Rig r;
      r.load(name);
      // As DATA leaves it: offsets of a quadrupole too, so they must survive as well.
      qx::StringOutput notes;
      vorne::collect_groups(r.s, notes);
      r.s.dx(4) = 1e-4;
      r.s.rotation(4) = 0.01;
      // A field that differs from its group's value: applying the groups would change it.
      r.s.p(4, 3) *= 1.01;
      r.walk(1);
      const std::vector<std::uint64_t> before = bits_of(r.s);
      c.handler(r.v, qx::prepare_line(c.command, r.v.qx));
      EXPECT_FALSE(r.take().empty()) << c.command;
      EXPECT_TRUE(bits_of(r.s) == before) << name << " " << c.command;
    }
  }
}

}  // namespace
