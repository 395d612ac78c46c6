// QXTEXT: stroke-font text with in-line control codes, and plot markers.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "qx/fonts.h"
#include "qx/plot.h"
#include "qx/session.h"
#include "qx/text.h"

namespace qx {

namespace {

constexpr float kCell = 6.0f;              // a character cell is 6 units wide
constexpr float kPackedScale = 6.0f / 21.0f;
constexpr int kPackedBaseline = 7;
constexpr int kGreekOffset = 129;
constexpr int kLowOffset = -64;
constexpr float kShrink = 0.75f;           // super/subscripts and the I, S, L, A steps
constexpr float kLineSpacing = 9.0f;
constexpr float kSlantStep = 0.3333f;
constexpr float kBoxGap = 2.0f;
constexpr float kBoldShift = 0.25f;        // the second pass of a bold stroke, in cell units
constexpr float kMarkerCentreY = 18.0f / 7.0f;   // markers are centred 9 file units up
constexpr float kBlankAdvance = 16.0f * kPackedScale;

struct GlyphPoint {
  float x, y;
  bool draw;
};

struct Glyph {
  std::vector<GlyphPoint> points;
  float advance = 0.0f;
};

Glyph font0_glyph(int code) {
  Glyph g;
  int hops = 0;
  bool pen_down = false;
  for (int c = code; c >= 0 && c < kFont0Codes && hops < kFont0Codes; ++hops) {
    int next = -1;
    for (const Font0Stroke& st : kFont0[c]) {
      if (st.pen == 4) break;
      if (st.pen == -1) {
        next = static_cast<int>(st.x);
        break;
      }
      pen_down = st.pen == 2;
      g.points.push_back({st.x, st.y, pen_down});
      g.advance = std::max(g.advance, st.x);
    }
    c = next;
  }
  return g;
}

bool packed_glyph(int font, int code, Glyph& g) {
  const int entry = font == 8 ? code : 96 * font + code;
  if (entry < 0 || entry >= kGlyphIndexEntries) return false;
  const int at = kGlyphIndex[entry];
  if (at < 1 || at > kPackedWords) return false;
  g.advance = static_cast<float>(kPackedGlyphs[at]) * kPackedScale;
  bool up = true;
  for (int p = at + 1; p <= kPackedWords; ++p) {
    const int w = kPackedGlyphs[p];
    if (w == kPackedEnd) break;
    if (w == kPackedPenUp) {
      up = true;
      continue;
    }
    const float x = static_cast<float>(w % 64) * kPackedScale;
    const float y = static_cast<float>(w / 64 - kPackedBaseline) * kPackedScale;
    g.points.push_back({x, y, !up});
    g.advance = std::max(g.advance, x);
    up = false;
  }
  return true;
}

Glyph glyph_for(int font, int code) {
  if (font == 0) {
    if (code < 1 || code > 255) code = ' ';
    return font0_glyph(code);
  }
  Glyph g;
  if (font >= 1 && font <= 8) {
    if (packed_glyph(font, code, g)) return g;
    if (packed_glyph(font, ' ', g)) return g;
  }
  g.advance = kBlankAdvance;
  return g;
}

// Text in progress: the settings the control codes change.
struct Pen {
  float scale = 1.0f;          // s
  float height = 1.0f, width = 1.0f;
  float slant = 0.0f;
  float baseline = 0.0f;
  float x = 0.0f, y = 0.0f;    // pen position in cell units
  float char_start = 0.0f;     // where the last character began
  int font = 0;
  int offset = 0;
  int font_before_offset = 0;
  bool bold = false;
  bool boxing = false;
  float box_x0 = 0, box_x1 = 0, box_y0 = 0, box_y1 = 0;
  bool box_any = false;
};

// Cell units to plot units for the text's size, rotation and start point.
struct Placement {
  float ux, uy;       // plot units per cell unit
  float c, sn;        // rotation
  float x0, y0;       // start point
  void to_plot(float u, float v, float& px, float& py) const {
    const float ru = u * c - v * sn;
    const float rv = u * sn + v * c;
    px = x0 + ru * ux;
    py = y0 + rv * uy;
  }
};

class TextDrawer {
 public:
  TextDrawer(Session& s, int mode, char device, const Placement& pl)
      : s_(s), measure_(mode == 1), device_(device), pl_(pl) {}

  void point(float u, float v, bool draw) {
    float px, py;
    pl_.to_plot(u, v, px, py);
    largest_ = std::max(largest_, px);
    if (!measure_) qxdraw(s_, device_, px, py, draw ? 2 : 3);
  }

  float largest() const { return largest_; }

 private:
  Session& s_;
  bool measure_;
  char device_;
  Placement pl_;
  float largest_ = -std::numeric_limits<float>::infinity();
};

void draw_glyph(TextDrawer& d, Pen& p, const Glyph& g) {
  const float k = p.scale;
  float lastu = 0, lastv = 0;
  for (const GlyphPoint& gp : g.points) {
    const float u = gp.x * k * p.width + p.slant * gp.y * k * p.height + p.x;
    const float v = gp.y * k * p.height + p.baseline + p.y;
    d.point(u, v, gp.draw);
    if (gp.draw && p.bold) {   // the second pass, shifted a little, then back on course
      const float shift = kBoldShift * k;
      d.point(lastu + shift, lastv, false);
      d.point(u + shift, v, true);
      d.point(u, v, false);
    }
    if (p.boxing) {
      if (!p.box_any) {
        p.box_x0 = p.box_x1 = u;
        p.box_y0 = p.box_y1 = v;
        p.box_any = true;
      }
      p.box_x0 = std::min(p.box_x0, u);
      p.box_x1 = std::max(p.box_x1, u);
      p.box_y0 = std::min(p.box_y0, v);
      p.box_y1 = std::max(p.box_y1, v);
    }
    lastu = u;
    lastv = v;
  }
  p.char_start = p.x;
  p.x += g.advance * k * p.width;
  d.point(p.x, p.baseline + p.y, false);   // the pen's advance counts as reached
}

void draw_box(TextDrawer& d, const Pen& p) {
  if (!p.box_any) return;
  const float gap = kBoxGap * p.scale;
  const float x0 = p.box_x0 - gap, x1 = p.box_x1 + gap, y0 = p.box_y0 - gap, y1 = p.box_y1 + gap;
  d.point(x0, y0, false);
  d.point(x1, y0, true);
  d.point(x1, y1, true);
  d.point(x0, y1, true);
  d.point(x0, y0, true);
}

void reset(Pen& p) {
  p.scale = p.height = p.width = 1.0f;
  p.slant = 0.0f;
  p.baseline = 0.0f;
  if (p.offset != 0) p.font = p.font_before_offset;
  p.offset = 0;
}

void use_offset(Pen& p, int offset) {
  if (p.offset == 0) p.font_before_offset = p.font;
  p.font = 0;
  p.offset = offset;
}

// One control letter (upper case).
void control(TextDrawer& d, Pen& p, char letter, int default_font) {
  const float k = p.scale;
  switch (letter) {
    case 'U':
      p.baseline += 6.0f * k - kShrink * k * 6.0f / 2.0f;
      p.scale = kShrink * k;
      break;
    case 'D':
      p.baseline -= kShrink * k * 6.0f / 2.0f;
      p.scale = kShrink * k;
      break;
    case 'E':
      if (p.boxing) draw_box(d, p);
      p.boxing = !p.boxing;
      p.box_any = false;
      break;
    case 'Y':
      p.x = p.char_start;
      p.y += kLineSpacing * k;
      break;
    case 'F':
      p.x = p.char_start;
      p.y -= kLineSpacing * k;
      break;
    case 'J':
      p.x = 0.0f;
      p.y += kLineSpacing * k;
      break;
    case 'K':
      p.x = 0.0f;
      p.y += kLineSpacing * k / 2.0f;
      break;
    case 'N':
      p.x = 0.0f;
      p.y -= kLineSpacing * k;
      break;
    case 'M':
      p.x = 0.0f;
      p.y -= kLineSpacing * k / 2.0f;
      break;
    case 'B':
      p.x = p.char_start;
      break;
    case 'H':
      p.x -= kCell * k;
      break;
    case 'I':
      p.scale = k / kShrink;
      break;
    case 'S':
      p.scale = k * kShrink;
      break;
    case 'L':
      p.height /= kShrink;
      break;
    case 'A':
      p.width /= kShrink;
      break;
    case 'T':
      p.slant += kSlantStep;
      break;
    case 'Z':
      p.bold = !p.bold;
      break;
    case 'G':
      use_offset(p, kGreekOffset);
      break;
    case 'V':
      use_offset(p, kLowOffset);
      break;
    case 'C':
      p.font = default_font;
      p.offset = 0;
      break;
    default:
      if (letter >= '0' && letter <= '9') {
        p.font = letter - '0';
      } else {
        reset(p);
      }
  }
}

Placement placement(const Session& s, float x, float y, float size, float angle) {
  const PlotState& ps = s.gfx.plot;
  float cw = ps.char_size * std::fabs(ps.width);
  float ch = ps.char_size * std::fabs(ps.height);
  const float a = ps.aspect > 1.0e-5f ? ps.aspect : kSqrt2;
  if (a < 1.0f) {
    cw /= a;
  } else {
    ch *= a;
  }
  cw *= size / 5.0f;
  ch *= size / 5.0f;
  const float rad = angle * 3.14159265f / 180.0f;
  return {cw / kCell, ch / kCell, std::cos(rad), std::sin(rad), x, y};
}

}  // namespace

float qxtext(Session& s, int mode, char device, float x, float y, float size, float angle, std::string_view text) {
  const int n = qxlen(text);
  if (size == 0.0f || n == 0 || !std::isfinite(size)) return x;
  TextDrawer d(s, mode, device, placement(s, x, y, size, std::isfinite(angle) ? angle : 0.0f));
  Pen p;
  p.font = s.gfx.plot.default_font;
  const int default_font = p.font;
  for (int i = 0; i < n; ++i) {
    const char c = text[static_cast<std::size_t>(i)];
    if (c == '\x1b' || c == '^') {
      if (i + 1 >= n) break;   // a control with nothing after it ends the text
      const char next = text[static_cast<std::size_t>(i + 1)];
      if (c == '^' && next == '^') {
        draw_glyph(d, p, glyph_for(p.font, '^' + p.offset));
        ++i;
        continue;
      }
      // Only a letter or a digit makes a control; "x^+y" or "a^ b" show the caret as typed.
      if (std::isalnum(static_cast<unsigned char>(next)) != 0) {
        control(d, p, static_cast<char>(std::toupper(static_cast<unsigned char>(next))), default_font);
        ++i;
        continue;
      }
    }
    draw_glyph(d, p, glyph_for(p.font, static_cast<unsigned char>(c) + p.offset));
  }
  if (p.boxing) draw_box(d, p);   // an unclosed box still frames what it began
  return std::isfinite(d.largest()) ? d.largest() : x;
}

void plot_marker(Session& s, char device, float x, float y, int symbol, float size) {
  if (!s.gfx.marks || symbol < 1 || symbol > 16) return;
  const std::string code = std::string("^V") + static_cast<char>('@' + symbol);
  const Placement pl = placement(s, x, y, size, 0.0f);
  const float half = (qxtext(s, 1, device, x, y, size, 0.0f, code) - x) / 2.0f;
  qxtext(s, 0, device, x - half, y - kMarkerCentreY * pl.uy, size, 0.0f, code);
}

}  // namespace qx
