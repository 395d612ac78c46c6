// Stroke text: the font tables, the control codes of QXTEXT, and measuring.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "graphics_capture.h"
#include "qx/fonts.h"
#include "qx/plot.h"
#include "qx/tekdecode.h"

namespace {

using qxtest::TekCapture;

// Follows font 0's continuation strokes: the points of one code.
std::vector<qx::Font0Stroke> font0_points(int code) {
  std::vector<qx::Font0Stroke> out;
  for (int hops = 0; code >= 0 && code < qx::kFont0Codes && hops < 10; ++hops) {
    int next = -1;
    for (const auto& s : qx::kFont0[code]) {
      if (s.pen == 4) break;
      if (s.pen == -1) {
        next = static_cast<int>(s.x);
        break;
      }
      out.push_back(s);
    }
    code = next;
  }
  return out;
}

int draws(const std::vector<qx::Font0Stroke>& p) {
  return static_cast<int>(std::count_if(p.begin(), p.end(), [](const auto& s) { return s.pen == 2; }));
}

TEST(Font0, EveryPrintableCharacterAndGreekLetterIsDrawnInsideItsCell) {
  for (int c = 33; c <= 126; ++c) {
    const auto p = font0_points(c);
    EXPECT_GT(draws(p), 0) << "code " << c;
    for (const auto& s : p) {
      EXPECT_GE(s.x, 0.0f) << c;
      EXPECT_LE(s.x, 9.0f) << c;   // proportional: m and @ are the widest
      EXPECT_GE(s.y, -3.0f) << c;
      EXPECT_LE(s.y, 8.0f) << c;
    }
  }
  EXPECT_EQ(draws(font0_points(' ')), 0);
  EXPECT_GT(font0_points(' ').back().x, 3.0f);   // a blank still advances the pen
  std::set<std::vector<float>> shapes;
  for (const char letter : std::string("ABCDEFGHIKLMNOPRSTUWXYZabcdefghijklmnopqrstuwxyz")) {
    const auto p = font0_points(letter + 129);
    EXPECT_GT(draws(p), 0) << letter;
    std::vector<float> key;
    for (const auto& s : p) key.insert(key.end(), {s.x, s.y});
    shapes.insert(key);
  }
  // Distinct shapes, except where two Latin names share a Greek letter (upper C/c and X/x
  // differ from Q/q ...): at least 45 of the 48 are different glyphs.
  EXPECT_GE(shapes.size(), 45u);
  // Digits stay digits inside Greek text.
  EXPECT_EQ(qx::kFont0['1' + 129][0].pen, -1);
  EXPECT_EQ(static_cast<int>(qx::kFont0['1' + 129][0].x), '1');
  // Long glyphs continue in spare codes: "@" has more strokes than one code holds.
  EXPECT_GT(font0_points('@').size(), static_cast<std::size_t>(qx::kFont0Strokes));
  // Plot markers on codes 1-16.
  for (int m = 1; m <= 16; ++m) EXPECT_GT(draws(font0_points(m)), 0) << "marker " << m;
}

TEST(PackedFonts, EveryGlyphIsWellFormedAndFits) {
  EXPECT_LE(qx::kPackedWordsUsed, qx::kPackedWords);
  for (int font = 1; font <= 8; ++font) {
    for (int c = 33; c <= 126; ++c) {
      const int entry = font == 8 ? c : 96 * font + c;
      const int at = qx::kGlyphIndex[entry];
      if (font == 8 && (at == 0 || !(c >= 'A' && c <= 'P'))) continue;   // markers on A-P
      ASSERT_GE(at, 1) << font << " " << c;
      ASSERT_LE(at, qx::kPackedWordsUsed);
      int points = 0;
      int p = at + 1;
      for (; p <= qx::kPackedWords && qx::kPackedGlyphs[p] != qx::kPackedEnd; ++p) {
        const int w = qx::kPackedGlyphs[p];
        if (w == qx::kPackedPenUp) continue;
        EXPECT_LT(w % 64, 63);
        ++points;
      }
      EXPECT_LE(p, qx::kPackedWordsUsed) << "glyph runs off the table";
      // The Greek fonts have 24 letters, on A-X and a-x; the mathematical ones have gaps.
      const bool greek_gap = (font == 2 || font == 4) && (c == 'Y' || c == 'Z' || c == 'y' || c == 'z');
      if (font != 6 && font != 7 && !greek_gap) {
        EXPECT_GT(points, 0) << font << " " << c;
      }
    }
  }
  // Both Greek fonts show mu on "l", as the programs' captions "^2l^cm" and "^4l" expect.
  EXPECT_EQ(qx::kGlyphIndex[96 * 2 + 'l'], qx::kGlyphIndex[96 * 4 + 'l']);
}

// A plot on the screen whose window is 0-100 in x and y, drawn in a scratch stream.
class TextOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    c.s.gfx.tek.type = 1;
    qx::StringInput in("");
    ASSERT_EQ(qx::qxplot(c.s, in, c.out, 0, 1.0f, 'S', 0, 100, 0, 100), 0);
    c.fresh();
  }
  std::vector<qx::TekSegment> draw(std::string_view text, float size = 20.0f) {
    qx::qxtext(c.s, 0, 'S', 10.0f, 50.0f, size, 0.0f, text);
    qx::qxmode(c.s, 0);
    auto d = qx::decode_tek(c.fresh());
    return d.pages.back().segments;
  }
  TekCapture c;
};

struct Box {
  int x0 = 100000, x1 = -100000, y0 = 100000, y1 = -100000;
  void add(const qx::TekSegment& s) {
    x0 = std::min({x0, s.x0, s.x1});
    x1 = std::max({x1, s.x0, s.x1});
    y0 = std::min({y0, s.y0, s.y1});
    y1 = std::max({y1, s.y0, s.y1});
  }
};

TEST_F(TextOnScreen, SuperscriptIsRaisedAndSmaller) {
  const auto ten = draw("10");
  const auto five = draw("5");
  const auto both = draw("10^U5");
  ASSERT_FALSE(ten.empty());
  ASSERT_EQ(both.size(), ten.size() + five.size());
  Box b10, b5, bsup;
  for (const auto& s : ten) b10.add(s);
  for (const auto& s : five) b5.add(s);
  for (std::size_t i = ten.size(); i < both.size(); ++i) bsup.add(both[i]);
  const double h5 = b5.y1 - b5.y0, hsup = bsup.y1 - bsup.y0;
  EXPECT_NEAR(hsup / h5, 0.75, 0.05);
  EXPECT_GT(bsup.y0, b10.y0 + (b10.y1 - b10.y0) / 3);   // raised well above the baseline
  EXPECT_GT(bsup.x0, b10.x1);                             // after the 10
  for (std::size_t i = 0; i < ten.size(); ++i) EXPECT_EQ(both[i].x0, ten[i].x0);
}

TEST_F(TextOnScreen, ControlsAtTheEndAndDoubledCaret) {
  EXPECT_EQ(draw("ab^U").size(), draw("ab").size());
  EXPECT_EQ(draw("ab^").size(), draw("ab").size());
  const auto caret = draw("^^");
  ASSERT_FALSE(caret.empty());
  EXPECT_EQ(caret.size(), static_cast<std::size_t>(draws(font0_points('^'))));
  // Before anything but a letter or a digit the caret is drawn as written.
  EXPECT_EQ(draw("a^+b").size(), draw("a").size() + caret.size() + draw("+b").size());
  // Lower case control letters work as upper case ones; ESC does what ^ does.
  EXPECT_EQ(draw("10^u5").size(), draw("10\x1bU5").size());
}

TEST_F(TextOnScreen, SubscriptGreekFontsAndReset) {
  Box base, sub;
  const auto x = draw("x");
  for (const auto& s : x) base.add(s);
  const auto xs = draw("x^D2");
  for (std::size_t i = x.size(); i < xs.size(); ++i) sub.add(xs[i]);
  EXPECT_LT(sub.y0, base.y0);   // below the baseline
  // ^G switches to Greek until a reset: "^Gg^Rm" is mu followed by a Latin m.
  const auto mu_m = draw("^Gg^Rm");
  const auto m = draw("m");
  EXPECT_EQ(mu_m.size(), static_cast<std::size_t>(draws(font0_points('g' + 129))) + m.size());
  // ^2 selects font 2 (Greek, mu on "l"), ^C returns to the default font.
  const auto f2 = draw("^2l^Cm");
  EXPECT_EQ(f2.size() - m.size(), draw("^2l").size());
  EXPECT_NE(draw("^2l").size(), draw("l").size());
}

TEST_F(TextOnScreen, BoxBoldAndMeasuring) {
  const auto plain = draw("AB");
  EXPECT_EQ(draw("^EAB^E").size(), plain.size() + 4);   // a rectangle around the text
  EXPECT_GT(draw("^ZAB").size(), plain.size());         // bold draws the strokes again
  const float end = qx::qxtext(c.s, 1, 'S', 10.0f, 50.0f, 20.0f, 0.0f, "AB");
  EXPECT_EQ(qx::decode_tek(c.fresh()).pages.back().segments.size(), 0u);   // nothing drawn
  // Two cells of 0.0225 * 100 * 20 / 5 = 9 units each, about.
  EXPECT_NEAR(end - 10.0f, 2 * 9.0f * 21.0f / 21.0f, 3.0f);
  EXPECT_EQ(qx::qxtext(c.s, 0, 'S', 10.0f, 50.0f, 0.0f, 0.0f, "AB"), 10.0f);   // size 0: nothing
  EXPECT_EQ(qx::qxtext(c.s, 0, 'S', 10.0f, 50.0f, 5.0f, 0.0f, "   "), 10.0f);
}

TEST_F(TextOnScreen, RotatedTextRunsUpwards) {
  Box b;
  for (const auto& s : [&] {
         qx::qxtext(c.s, 0, 'S', 50.0f, 10.0f, 20.0f, 90.0f, "HHHH");
         qx::qxmode(c.s, 0);
         return qx::decode_tek(c.fresh()).pages.back().segments;
       }())
    b.add(s);
  EXPECT_GT(b.y1 - b.y0, 3 * (b.x1 - b.x0));
}

}  // namespace
