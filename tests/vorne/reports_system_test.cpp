// SMAT, SYSTEM, RUSS and VECTOR on the shipped example triplet, run as a user would. The
// expected replies are written from the documented layouts; the numbers come from element
// matrices integrated here, the independent aberration sums and FISHK's thin-lens formulas.
#include <cmath>

#include "reports_rig.h"

namespace {

using namespace reports_test;
using qxtest::TempDir;

const vorne::LensSystem& example_table() {
  static const vorne::LensSystem table = [] {
    Rig r;
    r.load_path(qxtest::example("triplet.vrn"));
    return r.s;
  }();
  return table;
}

Transcript run_example(const std::string& commands) {
  TempDir dir;
  std::filesystem::copy_file(qxtest::example("triplet.vrn"), dir / "triplet.vrn");
  return vorne_session::run(dir, "DATA triplet\n" + commands);
}

// The example loaded in a rig and walked to third order, for the independent aberration sums.
ref::Sums example_sums() {
  Rig r;
  r.load_path(qxtest::example("triplet.vrn"));
  r.walk(3);
  return ref::system_sums(r, -1);
}

TEST(ReportsSmat, TheSystemMatrixEntryByEntry) {
  const Model m = quad_model(example_table(), 3.0);
  const char* names[4] = {"X", "TH", "Y", "PH"};
  std::string want = " \n System Beam Matrix:\n";
  for (int i = 1; i <= 4; ++i) {
    want += " ";
    for (int j = 1; j <= 4; ++j) {
      std::string label = std::string("(") + names[i - 1] + "/" + names[j - 1] + ")";
      label.resize(7, ' ');
      want += " " + label + "=" + g10(m.s(i, j));
    }
    want += "\n";
  }
  want += " Units: m, rad\n\n";
  expect_lines(run_example("SMAT\n").reply(2), want, "SMAT");
}

TEST(ReportsSystem, SystemEndListingAngularMagnificationsAndFigureOfMerit) {
  const Model m = quad_model(example_table(), 3.0);
  const ref::Sums s = example_sums();
  const double thth = m.s(2, 2), phph = m.s(4, 4);
  const double xth3 = m.mx * s.total.c[1][1] * 1e-3, yph3 = m.my * s.total.c[2][1] * 1e-3;
  // The triplet images one plane inverted: the figure of merit takes the product's size.
  ASSERT_LT(thth * phph, 0.0);
  const double q = std::fabs(thth * phph) / std::cbrt(std::fabs(xth3 * yph3));
  EXPECT_GT(q, 0.0);
  const std::string reply = run_example("SYSTEM\n").reply(2);

  const std::string from = " \n From system  B - matrix\n \n 10             System End\n";
  ASSERT_EQ(reply.substr(0, from.size()), from);
  EXPECT_NE(reply.find("             Focal length    " + g12(-1 / m.s(2, 1)) + " m " + g12(-1 / m.s(4, 3)) + " m \n"),
            std::string::npos);
  const std::string merit = " (th/th)=" + g12(thth) + " (ph/ph)=" + g12(phph) + "\n" + " (x/th3)=" + g12(xth3) +
                            " (y/ph3)=" + g12(yph3) + "\n" + " \n Pellow's Figure of Merit:\n" +
                            " Q = [(th/th)*(ph/ph)]/[(x/th3)*(y/ph3)]^1/3 = " + g12(q) + "\n\n";
  // The geometric listing ends with the particle data and the astigmatism note.
  const std::size_t at = reply.find(" (th/th)=");
  ASSERT_NE(at, std::string::npos) << reply;
  EXPECT_NE(reply.rfind("This is an ASTIGMATIC system", at), std::string::npos);
  expect_lines(reply.substr(at), merit, "SYSTEM");
}

TEST(ReportsRuss, FocalLengthsMagnificationsImageErrorsAndThinLens) {
  const Model m = quad_model(example_table(), 3.0);
  const ModelLens& last = m.lenses.back();
  const double mid = (m.first_entrance + m.last_exit) / 2;
  const double thin = 1 / (1 / mid + 1 / (m.total - mid));
  const std::string want =
      std::string(" \n") + " " + std::string(11, ' ') + "RUSSIAN PARAMETERS" + std::string(7, ' ') + "X-Plane" +
      std::string(6, ' ') + "Y-Plane\n" +
      " " + std::string(5, ' ') + "            Focal Length" + "   " + " " + f10(-1 / m.s(2, 1)) + " m" + " " +
      f10(-1 / m.s(4, 3)) + " m\n" +
      " " + std::string(5, ' ') + "           Magnification" + "   " + " " + f10(m.mx) + " m" + " " + f10(m.my) +
      " m\n" +
      " " + std::string(3, ' ') + "Errors (Totlen-L.Quad Im.)" + std::string(5, ' ') + " " +
      g10((last.ximage - m.total) * 1e6) + " " + g10((last.yimage - m.total) * 1e6) + " micron\n" +
      " " + std::string(5, ' ') + "  Thin Lens Focal Length" + std::string(9, ' ') + f10(thin) + " m\n" +
      " " + std::string(5, ' ') + "     System Total Length" + std::string(9, ' ') + f10(m.total) + " m\n" + "\n";
  expect_lines(run_example("RUSS\n").reply(2), want, "RUSS");
}

TEST(ReportsRuss, ASystemWithoutLensesHasNoParametersNoMeritNoThinLensVectors) {
  TempDir dir;
  const std::string drifts =
      " Drifts\n 0.00, 1.0, 1.00728, 3.0, -1.0\n 1.00, 5.0E-6, 2.0E-4, 5.0E-6, 2.0E-4, 0.01\n"
      " 3.00, 1.0, 0.0, 0.0\n 9.00, 0.0, 0.0, 0.0\n SENTINEL\n";
  const Transcript t = vorne_session::run(dir, "DATA drifts\nRUSS\nSYSTEM\nVECTOR -4\n", {{"drifts.vrn", drifts}});
  EXPECT_EQ(t.reply(2), " %RUSS- No active lens in the system.\n");
  // Without quadrupoles FISHK has no coefficients to offer: no vectors either.
  EXPECT_EQ(t.reply(4), " %FISHK- The system is unsuited for FISHK/CRAMER Number of quads =  0\n");
  // No aberration: no figure of merit, and no division by zero.
  EXPECT_NE(t.reply(3).find(" (x/th3)=" + g12(0.0) + " (y/ph3)=" + g12(0.0) + "\n \n"
                            " %SYSTEM- No spherical aberration: the figure of merit is not defined.\n\n"),
            std::string::npos)
      << t.reply(3);
}

// ---- VECTOR ----------------------------------------------------------------------------------------------

// FISHK's thin-lens sums for three quadrupoles from the focal lengths and centres the walk left.
struct Spherical {
  double p, s, pb;
};
Spherical thin_lens_triplet() {
  Rig r;
  r.load_path(qxtest::example("triplet.vrn"));
  r.walk(1);
  std::vector<int> rows;
  for (int iz = 3; iz < r.s.izend; ++iz)
    if (static_cast<int>(r.s.p(iz, 1) + 1e-6) == 4) rows.push_back(iz);
  EXPECT_EQ(rows.size(), 3u);
  const auto z = [&](int k) { return r.s.p(rows[static_cast<std::size_t>(k)], 5); };
  const auto fx = [&](int k) { return r.s.p(rows[static_cast<std::size_t>(k)], 11); };
  const auto fy = [&](int k) { return r.s.p(rows[static_cast<std::size_t>(k)], 12); };
  const auto len = [&](int k) { return r.s.p(rows[static_cast<std::size_t>(k)], 2); };
  const double z1 = z(0), d12 = z(1) - z(0), d23 = z(2) - z(1);
  const double hx[3] = {z1, z1 + d12 - z1 * d12 / fx(0),
                        z1 + d12 + d23 - (d12 + d23) * z1 / fx(0) - (z1 + d12) * d23 / fx(1) +
                            z1 * d12 * d23 / (fx(0) * fx(1))};
  const double hy[3] = {z1, z1 + d12 - z1 * d12 / fy(0),
                        z1 + d12 + d23 - (d12 + d23) * z1 / fy(0) - (z1 + d12) * d23 / fy(1) +
                            z1 * d12 * d23 / (fy(0) * fy(1))};
  Spherical s{0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    const double c1 = 1.0 / 3.0, c2 = 1.0;   // magnetic lenses
    s.p += c1 * std::pow(hx[k], 4) / (len(k) * fx(k) * fx(k));
    s.s += -c2 * std::pow(hx[k] * hy[k], 2) / (len(k) * fx(k) * fy(k));
    s.pb += c1 * std::pow(hy[k], 4) / (len(k) * fy(k) * fy(k));
  }
  return s;
}

std::string vectors(int order, const Vec4& a, const Vec4& b) {
  const auto line = [](const char* name, double x, double y, const char* unit) {
    return std::string(" ") + std::string(10, ' ') + name + g13(x) + "  " + g13(y) + "  " + unit + "\n";
  };
  return std::string(" ") + std::string(19, ' ') + "Beam Vectors\n" + " " + std::string(19, ' ') + "Initial" +
         std::string(8, ' ') + "Final" + std::string(6, ' ') + "Order = " + i2(order) + "\n" +
         line(" X    ", a(1) * 1e6, b(1) * 1e6, "micron") + line(" Theta", a(2) * 1e3, b(2) * 1e3, "mrad") +
         line(" Y    ", a(3) * 1e6, b(3) * 1e6, "micron") + line(" Phi  ", a(4) * 1e3, b(4) * 1e3, "mrad");
}

TEST(ReportsVector, EveryOrderWithItsTermsAndNote) {
  const vorne::LensSystem& t = example_table();
  const Model m = quad_model(t, 3.0);
  const Vec4 v0 = initial_beam(t);
  const double x = v0(1), th = v0(2), y = v0(3), ph = v0(4);
  const double delta = t.p(2, 6);
  // The chromatic terms: how the ends of rays of slope and offset 1/0.5 move when the
  // energy is raised by 0.5 %.
  const Model hot = quad_model(t, 3.0 * 1.005);
  const auto change = [&](const Vec4& ray) {
    const Vec4 a = vorne::apply(hot.s, ray), b = vorne::apply(m.s, ray);
    return Vec4{{a(1) - b(1), a(2) - b(2), a(3) - b(3), a(4) - b(4)}};
  };
  const Vec4 angle_ray = change(Vec4{{0, 2, 0, 2}});
  const Vec4 offset_ray = change(Vec4{{2, 0, 2, 0}});
  const ref::Sums s = example_sums();
  const ref::Set& c = s.total;
  const Spherical thin = thin_lens_triplet();

  const Vec4 first = vorne::apply(m.s, v0);
  Vec4 angle_chromatic = first;
  angle_chromatic(1) += angle_ray(1) * th * delta;
  angle_chromatic(3) += angle_ray(3) * ph * delta;
  Vec4 all_chromatic = angle_chromatic;
  all_chromatic(1) += offset_ray(1) * x * delta;
  all_chromatic(3) += offset_ray(3) * y * delta;
  const auto spherical = [&](Vec4 v, double p, double sx, double pb, double sy) {
    v(1) += m.mx * (p * th * th * th + sx * th * ph * ph);
    v(3) += m.my * (pb * ph * ph * ph + sy * ph * th * th);
    return v;
  };
  Vec4 all_third = spherical(all_chromatic, c.c[1][1], c.c[1][2], c.c[2][1], c.c[2][2]);
  all_third(1) += m.mx * (c.c[1][3] * th * th * x + c.c[1][4] * ph * ph * x + c.c[1][5] * th * ph * y +
                          c.c[1][6] * th * x * x + c.c[1][7] * th * y * y + c.c[1][8] * x * ph * y +
                          c.c[1][9] * x * x * x + c.c[1][10] * x * y * y);
  all_third(3) += m.my * (c.c[2][3] * ph * ph * y + c.c[2][4] * th * th * y + c.c[2][5] * ph * th * x +
                          c.c[2][6] * ph * y * y + c.c[2][7] * ph * x * x + c.c[2][8] * y * th * x +
                          c.c[2][9] * y * y * y + c.c[2][10] * y * x * x);

  const Transcript tr = run_example("VECTOR\nVECTOR 2\nVECTOR -2\nVECTOR -3\nVECTOR 3\nVECTOR -4\nFISHK\n");
  const std::string note = std::string(" ") + std::string(10, ' ');
  expect_lines(tr.reply(2), vectors(1, v0, first), "VECTOR");
  expect_lines(tr.reply(3), vectors(2, v0, all_chromatic) + note + "First order and all Chromatic aberrations.\n",
               "VECTOR 2");
  expect_lines(tr.reply(4),
               vectors(-2, v0, angle_chromatic) + note + "First order and angle Chromatic aberrations only.\n",
               "VECTOR -2");
  expect_lines(tr.reply(5),
               vectors(-3, v0, spherical(first, c.c[1][1], c.c[1][2], c.c[2][1], c.c[2][2])) + note +
                   "First order and Spherical aberrations only.\n",
               "VECTOR -3");
  expect_lines(tr.reply(6), vectors(3, v0, all_third) + note + "First, Chromatic and all third order aberrations.\n",
               "VECTOR 3");
  // FISHK's report comes first (its P, S, PB and SB stand for the walk's), then the vectors.
  expect_lines(tr.reply(7),
               tr.reply(8) + vectors(-4, v0, spherical(first, thin.p, thin.s, thin.pb, thin.s)) + note +
                   "First order and Fishk spherical aberraions only.\n",
               "VECTOR -4");
  // The chromatic and spherical terms are there at all.
  EXPECT_GT(std::fabs(all_chromatic(1) - first(1)), 1e-8);
  EXPECT_GT(std::fabs(all_third(3) - all_chromatic(3)), 1e-7);
}

TEST(ReportsVector, OrderOutOfRangeIsRefused) {
  const Transcript t = run_example("VECTOR 1000\nVECTOR 99.9\n");
  EXPECT_EQ(t.reply(2), " ?VECTOR- Order out of range: " + g13(1000.0) + "\n");
  EXPECT_NE(t.reply(3).find("Order = 99"), std::string::npos);
}

}  // namespace
