// The chromatic run and the ray transform at every order code.
#include "optics_rig.h"

namespace {

using namespace optics_test;

TEST(ChromaticRun, TwoRaysThroughThePerturbedSystemAndEverythingRestored) {
  Rig r;
  r.load("triplet_focused.vrn");
  r.walk();
  const vorne::LensSystem before = r.s;
  const Mat4 nominal = r.v.walk.s;

  // Independently: the same table at 3 MeV x (1 + 0.5 %), walked at first order.
  Rig hot;
  hot.load("triplet_focused.vrn");
  hot.s.p(1, 12) = 3.0 * 1.005;
  hot.walk();
  const Mat4& s = hot.v.walk.s;

  // Terms of an earlier run must not enter: the two rays go through at first order.
  r.v.walk.chromatic = {5.0, 5.0, 5.0, 5.0};
  vorne::chromatic_run(r.v, 0.5);
  // Each term is the change of its ray's end from the nominal to the raised energy.
  const vorne::ChromaticTerms& c = r.v.walk.chromatic;
  const Mat4& n = nominal;
  EXPECT_NEAR(c.xt, (s(1, 2) + s(1, 4)) / 0.5 - (n(1, 2) + n(1, 4)) / 0.5, 1e-13);
  EXPECT_NEAR(c.yp, (s(3, 2) + s(3, 4)) / 0.5 - (n(3, 2) + n(3, 4)) / 0.5, 1e-13);
  EXPECT_NEAR(c.xx, (s(1, 1) + s(1, 3)) / 0.5 - (n(1, 1) + n(1, 3)) / 0.5, 1e-13);
  EXPECT_NEAR(c.yy, (s(3, 1) + s(3, 3)) / 0.5 - (n(3, 1) + n(3, 3)) / 0.5, 1e-13);
  EXPECT_GT(std::fabs(c.xt), 1e-3);   // the focused system goes out of focus
  for (int iz = 1; iz <= vorne::kRows; ++iz)
    for (int col = 1; col <= vorne::kColumns; ++col) ASSERT_EQ(r.s.p(iz, col), before.p(iz, col)) << iz << "," << col;
  EXPECT_EQ(r.v.walk.s, nominal);

  // A spread of 0 means 0.001 %.
  vorne::chromatic_run(r.v, 0.001);
  const vorne::ChromaticTerms small = r.v.walk.chromatic;
  vorne::chromatic_run(r.v, 0.0);
  EXPECT_EQ(r.v.walk.chromatic.xt, small.xt);
  EXPECT_EQ(r.v.walk.chromatic.yy, small.yy);
}

TEST(RayTransform, EveryOrderCode) {
  Rig r;
  r.load("triplet_focused.vrn");
  r.s.p(2, 6) = 0.02;   // the energy half spread delta
  r.walk(3);
  const Mat4 a = r.v.walk.s;
  r.v.walk.chromatic = {1.0, 2.0, 3.0, 4.0};
  for (int j = 1; j <= 10; ++j) {
    r.v.walk.total(1, j) = 0.1 * j;
    r.v.walk.total(2, j) = -0.2 * j;
  }
  const vorne::Magnification m = vorne::mag(r.v, r.s.izend);
  const double x = 1e-3, t = 2e-3, y = -1e-3, p = 3e-3, d = 0.02;
  auto run = [&](int code) {
    Vec4 v;
    v(1) = x;
    v(2) = t;
    v(3) = y;
    v(4) = p;
    vorne::ray_transform(r.v, code, v, a);
    return v;
  };
  Vec4 in;
  in(1) = x;
  in(2) = t;
  in(3) = y;
  in(4) = p;
  const Vec4 first = vorne::apply(a, in);
  const double angle_x = 1.0 * t * d, angle_y = 2.0 * p * d;
  const double pos_x = 3.0 * x * d, pos_y = 4.0 * y * d;
  const double sph_x = m.mx * (0.1 * t * t * t + 0.2 * t * p * p);
  const double sph_y = m.my * (-0.2 * p * p * p - 0.4 * p * t * t);
  const double rest_x = m.mx * (0.3 * t * t * x + 0.4 * p * p * x + 0.5 * t * p * y + 0.6 * t * x * x +
                                0.7 * t * y * y + 0.8 * x * p * y + 0.9 * x * x * x + 1.0 * x * y * y);
  const double rest_y = m.my * (-0.6 * p * p * y - 0.8 * t * t * y - 1.0 * p * t * x - 1.2 * p * y * y -
                                1.4 * p * x * x - 1.6 * y * t * x - 1.8 * y * y * y - 2.0 * y * x * x);
  struct Case {
    int code;
    double dx, dy;
  };
  const Case cases[] = {{1, 0, 0},
                        {-2, angle_x, angle_y},
                        {2, angle_x + pos_x, angle_y + pos_y},
                        {-3, sph_x, sph_y},
                        {-4, sph_x, sph_y},
                        {-5, sph_x + rest_x, sph_y + rest_y},
                        {3, angle_x + pos_x + sph_x + rest_x, angle_y + pos_y + sph_y + rest_y}};
  for (const Case& c : cases) {
    const Vec4 out = run(c.code);
    EXPECT_NEAR(out(1), first(1) + c.dx, 1e-15) << c.code;
    EXPECT_NEAR(out(3), first(3) + c.dy, 1e-15) << c.code;
    EXPECT_EQ(out(2), first(2)) << c.code;
  }
}

}  // namespace
