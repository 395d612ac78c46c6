// The polynomial ray map against an independent evaluation: every coefficient of the file
// is exercised alone, by a coefficient file that holds only that term, and the expected
// output is computed from the term's label (so the label, the file position and the
// monomial must all agree).
#include "generate/raymap.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "io/coef.h"

namespace {

using lumiray::CoefficientSet;
using lumiray::Ray;

constexpr int kValues = 107;
constexpr int kFirst = 11, kSecond = 27, kThird = 67, kFifth = 91, kChromatic = 103;   // file positions

// A coefficient file (in a hand-edited free layout) holding the given 107 values.
std::string cof_with(const std::vector<double>& v) {
  auto group = [&](int from, int n) {
    std::string s;
    char buf[40];
    for (int k = from; k < from + n; ++k) {
      std::snprintf(buf, sizeof buf, "%.17g ", v[static_cast<std::size_t>(k)]);
      s += buf;
    }
    return s + "\n";
  };
  return "term test\n" + group(0, 4) + group(4, 4) + group(8, 1) + "C\n" + group(9, 1) + group(10, 1) +
         group(kFirst, 16) + group(kSecond, 40) + group(kThird, 24) + group(kFifth, 12) + group(kChromatic, 4);
}

CoefficientSet loaded_set(const std::vector<double>& v) {
  qx::StringInput in(cof_with(v));
  CoefficientSet c;
  EXPECT_TRUE(lumiray::read_coefficients(in, c));
  c.loaded = true;
  return c;
}

// The value of a monomial written as a label: letters X, T (theta), Y, P (phi), each
// optionally followed by its power ("XT2" is x theta^2, "P5" is phi^5).
double monomial(std::string_view label, const Ray& r) {
  double v = 1.0;
  for (std::size_t i = 0; i < label.size(); ++i) {
    const char c = label[i];
    if (c == ' ') continue;
    double base = 0.0;
    switch (c) {
      case 'X': base = r.x; break;
      case 'T': base = r.th; break;
      case 'Y': base = r.y; break;
      case 'P': base = r.ph; break;
      default: ADD_FAILURE() << "label " << label;
    }
    int power = 1;
    if (i + 1 < label.size() && std::isdigit(static_cast<unsigned char>(label[i + 1]))) power = label[++i] - '0';
    v *= std::pow(base, power);
  }
  return v;
}

// One term: its file position, the output it feeds (0 x, 1 th, 2 y, 3 ph) and its monomial.
struct Term {
  int position;
  int output;
  std::function<double(const Ray&)> value;
  std::string name;
};

std::vector<Term> all_terms() {
  std::vector<Term> t;
  const char* coordinates[4] = {"X", "T", "Y", "P"};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      t.push_back({kFirst + 4 * i + j, i, [j, coordinates](const Ray& r) { return monomial(coordinates[j], r); },
                   std::string("first ") + coordinates[i] + "/" + coordinates[j]});
  const char* second[10] = {"X2", "XT", "XY", "XP", "T2", "TY", "TP", "Y2", "YP", "P2"};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 10; ++k) {
      const std::string label = second[k];
      t.push_back({kSecond + 10 * i + k, i, [label](const Ray& r) { return monomial(label, r); },
                   std::string("second ") + coordinates[i] + "/" + label});
    }
  const char* third[2][12] = {{"T3", "TP2", "XT2", "XP2", "TYP", "X2T", "TY2", "XYP", "X3", "XY2", "T2P", "P3"},
                              {"P3", "PT2", "YP2", "YT2", "PXT", "Y2P", "PX2", "YXT", "Y3", "YX2", "P2T", "T3"}};
  const char* fifth[2][6] = {{"T5", "T4P", "T3P2", "T2P3", "TP4", "P5"}, {"P5", "P4T", "P3T2", "P2T3", "PT4", "T5"}};
  for (int r = 0; r < 2; ++r) {
    for (int k = 0; k < 12; ++k) {
      const std::string label = third[r][k];
      t.push_back({kThird + 12 * r + k, 2 * r, [label](const Ray& ray) { return monomial(label, ray); },
                   std::string("third ") + (r == 0 ? "X/" : "Y/") + label});
    }
    for (int k = 0; k < 6; ++k) {
      const std::string label = fifth[r][k];
      t.push_back({kFifth + 6 * r + k, 2 * r, [label](const Ray& ray) { return monomial(label, ray); },
                   std::string("fifth ") + (r == 0 ? "X/" : "Y/") + label});
    }
  }
  t.push_back({kChromatic + 0, 0, [](const Ray& r) { return r.th * r.d; }, "X/Th%DE"});
  t.push_back({kChromatic + 1, 2, [](const Ray& r) { return r.ph * r.d; }, "Y/Ph%DE"});
  t.push_back({kChromatic + 2, 0, [](const Ray& r) { return r.x * r.d; }, "X/X%DE"});
  t.push_back({kChromatic + 3, 2, [](const Ray& r) { return r.y * r.d; }, "Y/Y%DE"});
  return t;
}

double output(const Ray& r, int k) { return k == 0 ? r.x : k == 1 ? r.th : k == 2 ? r.y : r.ph; }

TEST(RayMap, EveryTermAloneMatchesItsMonomial) {
  const std::vector<Ray> rays = {{1.5e-3, -2.5e-3, 0.75e-3, 3.5e-3, 0.4},
                                 {-2.0e-6, 1.1e-4, -3.3e-6, -0.7e-4, -0.15},
                                 {0.3, -0.2, -0.45, 0.6, 1.25}};
  const std::vector<Term> terms = all_terms();
  ASSERT_EQ(terms.size(), 16u + 40u + 24u + 12u + 4u);
  for (const Term& term : terms) {
    std::vector<double> v(kValues, 0.0);
    v[8] = 2.0;   // a collimator distance, not used by the map
    const double coefficient = -1.75;
    v[static_cast<std::size_t>(term.position)] = coefficient;
    const CoefficientSet c = loaded_set(v);
    // Angles get first and second order only: the higher terms feed the positions.
    for (const Ray& in : rays) {
      const Ray out = lumiray::raymap(c, in);
      for (int k = 0; k < 4; ++k) {
        const double expected = k == term.output ? coefficient * term.value(in) : 0.0;
        EXPECT_NEAR(output(out, k), expected, 1e-13 * std::max(1.0, std::fabs(expected)))
            << term.name << " output " << k;
      }
      EXPECT_EQ(out.d, in.d);
    }
  }
}

TEST(RayMap, TermsAddUpAndNothingLoadedIsTheIdentity) {
  const std::vector<Term> terms = all_terms();
  std::vector<double> v(kValues, 0.0);
  for (std::size_t k = 0; k < terms.size(); ++k) v[static_cast<std::size_t>(terms[k].position)] = 0.1 * (k % 7) - 0.3;
  const CoefficientSet c = loaded_set(v);
  const Ray in{2e-3, -1e-3, 4e-3, 3e-3, 0.5};
  const Ray out = lumiray::raymap(c, in);
  double sum[4] = {0, 0, 0, 0};
  for (const Term& t : terms) sum[t.output] += v[static_cast<std::size_t>(t.position)] * t.value(in);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(output(out, k), sum[k], 1e-15) << k;

  CoefficientSet unloaded = c;
  unloaded.loaded = false;
  const Ray same = lumiray::raymap(unloaded, in);
  EXPECT_EQ(same.x, in.x);
  EXPECT_EQ(same.th, in.th);
  EXPECT_EQ(same.y, in.y);
  EXPECT_EQ(same.ph, in.ph);
  EXPECT_EQ(same.d, in.d);
}

// The round-lens map: first order, then the spherical and chromatic terms along the ray's
// azimuth, with their signs.
TEST(RaySol, SphericalAndChromaticTermsAreRadialAndSigned) {
  std::vector<double> v(kValues, 0.0);
  for (int i = 0; i < 4; ++i) v[static_cast<std::size_t>(kFirst + 5 * i)] = 1.0;   // unit matrix
  const double spherical = -40.0, chromatic = 2.5e-3;
  v[kThird] = spherical;
  v[kChromatic] = chromatic;
  v[kChromatic + 2] = 7.0;   // X/X%DE takes no part
  const CoefficientSet c = loaded_set(v);
  for (const double psi : {0.3, 2.0, -1.2, 3.0}) {
    const double alpha = 2e-3, delta = 0.8;
    const Ray in{1e-6, alpha * std::cos(psi), -2e-6, alpha * std::sin(psi), delta};
    const Ray out = lumiray::raysol(c, in);
    const double radial = spherical * alpha * alpha * alpha + chromatic * alpha * delta;
    EXPECT_NEAR(out.x, in.x + radial * std::cos(psi), 1e-18) << psi;
    EXPECT_NEAR(out.y, in.y + radial * std::sin(psi), 1e-18) << psi;
    EXPECT_EQ(out.th, in.th);
    EXPECT_EQ(out.ph, in.ph);
  }
  // An axial ray has no azimuth and no aberration.
  const Ray axial = lumiray::raysol(c, Ray{1e-6, 0.0, 2e-6, 0.0, 0.0});
  EXPECT_EQ(axial.x, 1e-6);
  EXPECT_EQ(axial.y, 2e-6);
}

TEST(FocPos, FocalPositionsFromTheFirstOrderMatrix) {
  std::vector<double> v(kValues, 0.0);
  v[kFirst + 0] = -0.04;   // (1,1)
  v[kFirst + 4] = -5.0;    // (2,1)
  v[kFirst + 10] = -0.08;  // (3,3)
  v[kFirst + 14] = 0.0;    // (4,3): no focusing in y
  CoefficientSet c = loaded_set(v);
  const auto f = lumiray::focpos(c);
  ASSERT_TRUE(f);
  EXPECT_DOUBLE_EQ(f->f, -0.008);
  EXPECT_EQ(f->g, 1.0e10);
  c.first(4, 3) = 5e-11;   // below the threshold
  EXPECT_EQ(lumiray::focpos(c)->g, 1.0e10);
  c.first(4, 3) = 2.0;
  EXPECT_DOUBLE_EQ(lumiray::focpos(c)->g, 0.04);
  c.loaded = false;
  EXPECT_FALSE(lumiray::focpos(c));
}

}  // namespace
