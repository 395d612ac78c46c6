// Build-time converter: reads stroke-font files in the ".jhf" text layout (the files of the
// hershey-fonts-data package under /usr/share/hershey-fonts) and writes the C++ source of the
// library's font tables:
//   - font 0: 256 character codes of at most 30 strokes (x, y, pen) in cell units, pen 3 move,
//     2 draw, 4 end, -1 continue with the glyph of code x (long glyphs spill into spare codes);
//   - fonts 1-8: one packed glyph table of at most 10574 words (x + 64*y per point, 63 pen up,
//     4095 end, first word a header holding the advance width) and the index into it.
//
// Usage: hershey_pack <font directory> <output .cpp>
//
// A .jhf record: glyph number (5 columns), vertex count (3 columns), then count pairs of
// characters, each coordinate being the character's code minus 'R'; the first pair holds the
// left and right side bearings and " R" lifts the pen. y grows downwards; the baseline of the
// Roman letters is at y = 9 and the capitals are 21 units high, which is the 6-unit cell.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Point {
  int x = 0, y = 0;
  bool pen_up = false;   // a move to this point (the pen was lifted before it)
};

struct Glyph {
  int left = 0, right = 0;
  std::vector<Point> points;
};

constexpr int kPackedWords = 10574;      // capacity of the packed table
constexpr int kIndexEntries = 800;       // 96 * 7 + 128: fonts 1-7 and font 8's own codes
constexpr int kFont0Codes = 256;
constexpr int kFont0Strokes = 30;
constexpr int kPenUpWord = 63;
constexpr int kEndWord = 4095;
constexpr int kBaselineY = 9;            // baseline in file units (y down)
constexpr int kPackedBaseline = 7;       // baseline in packed units (y up)

std::vector<Glyph> read_jhf(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<Glyph> glyphs;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 8) continue;
    const int count = std::stoi(line.substr(5, 3));
    std::string body = line.substr(8);
    // Long glyphs may be wrapped onto following lines in some copies of the data.
    while (static_cast<int>(body.size()) < 2 * count && std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      body += line;
    }
    if (static_cast<int>(body.size()) < 2 * count) throw std::runtime_error("short glyph in " + path);
    Glyph g;
    g.left = body[0] - 'R';
    g.right = body[1] - 'R';
    bool up = true;
    for (int i = 1; i < count; ++i) {
      const char a = body[2 * i], b = body[2 * i + 1];
      if (a == ' ' && b == 'R') {
        up = true;
        continue;
      }
      g.points.push_back({a - 'R', b - 'R', up});
      up = false;
    }
    glyphs.push_back(std::move(g));
  }
  return glyphs;
}

// ---- fonts 1-8 ----------------------------------------------------------------------

// Packs one glyph; a glyph taller or wider than the 6-bit fields is shrunk about its
// baseline until it fits (the large integral signs of the mathematical fonts).
std::vector<int> pack_glyph(const Glyph& g) {
  double f = 1.0;
  for (const Point& p : g.points) {
    const int px = p.x - g.left;
    const int py = kBaselineY - p.y;   // y up, baseline 0
    if (px > 62) f = std::min(f, 62.0 / px);
    if (py < -kPackedBaseline) f = std::min(f, static_cast<double>(kPackedBaseline) / -py);
    if (py > 62 - kPackedBaseline) f = std::min(f, (62.0 - kPackedBaseline) / py);
  }
  const auto fit = [](double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 62); };
  std::vector<int> words;
  words.push_back(fit((g.right - g.left) * f));   // header: the advance width
  for (const Point& p : g.points) {
    if (p.pen_up && &p != &g.points.front()) words.push_back(kPenUpWord);
    const int x = fit((p.x - g.left) * f);
    const int y = fit((kBaselineY - p.y) * f + kPackedBaseline);
    words.push_back(x + 64 * y);
  }
  words.push_back(kEndWord);
  return words;
}

struct PackedFonts {
  std::vector<int> words{0};                 // 1-based: word 0 unused
  std::array<int, kIndexEntries> index{};    // 0: no glyph
};

// Appends a font's glyphs for codes 32.. and returns their positions by code.
std::array<int, 128> append_font(PackedFonts& pf, const std::vector<Glyph>& glyphs) {
  std::array<int, 128> at{};
  for (std::size_t i = 0; i < glyphs.size() && 32 + i < 128; ++i) {
    const std::vector<int> w = pack_glyph(glyphs[i]);
    at[32 + i] = static_cast<int>(pf.words.size());
    pf.words.insert(pf.words.end(), w.begin(), w.end());
  }
  return at;
}

// ---- font 0 -------------------------------------------------------------------------

struct Stroke {
  double x = 0, y = 0;
  int pen = 4;
};
using Font0 = std::array<std::array<Stroke, kFont0Strokes>, kFont0Codes>;

// Strokes of one glyph in cell units (21 file units = 6 cell units), ending with a move to
// the advance width so that the pen steps on by the glyph's full width.
std::vector<Stroke> font0_strokes(const Glyph& g) {
  constexpr double k = 6.0 / 21.0;
  std::vector<Stroke> s;
  for (const Point& p : g.points) s.push_back({(p.x - g.left) * k, (kBaselineY - p.y) * k, p.pen_up ? 3 : 2});
  s.push_back({(g.right - g.left) * k, 0.0, 3});
  return s;
}

// Spare codes for the tails of glyphs of more than 29 strokes: codes no typed text reaches
// (control characters, and the Greek offset applied to control characters).
class Overflow {
 public:
  int take() {
    if (next_ >= spare_.size()) throw std::runtime_error("font 0: no spare code left for a long glyph");
    return spare_[next_++];
  }
  Overflow() {
    for (int c = 129; c <= 160; ++c) spare_.push_back(c);
    for (int c = 17; c <= 31; ++c) spare_.push_back(c);
  }

 private:
  std::vector<int> spare_;
  std::size_t next_ = 0;
};

void place(Font0& f, int code, const std::vector<Stroke>& strokes, Overflow& spare) {
  std::size_t i = 0;
  int c = code;
  for (;;) {
    const std::size_t left = strokes.size() - i;
    if (left <= kFont0Strokes - 1) {
      for (std::size_t k = 0; k < left; ++k) f[c][k] = strokes[i + k];
      f[c][left] = {0, 0, 4};
      return;
    }
    for (std::size_t k = 0; k < kFont0Strokes - 1; ++k) f[c][k] = strokes[i + k];
    i += kFont0Strokes - 1;
    const int next = spare.take();
    f[c][kFont0Strokes - 1] = {static_cast<double>(next), 0, -1};
    c = next;
  }
}

void alias(Font0& f, int code, int target) {
  f[code][0] = {static_cast<double>(target), 0, -1};
}

// The Greek range (font 0 with the character offset +129): letter -> position in the Greek
// alphabet (alpha 0 ... omega 23). Letters follow the usual transliteration, except that a
// lower-case g gives mu, as the programs write micrometres "^Gg^Rm"; gamma is on j.
constexpr int kAlpha = 0, kBeta = 1, kGamma = 2, kDelta = 3, kEpsilon = 4, kZeta = 5, kEta = 6,
              kTheta = 7, kIota = 8, kKappa = 9, kLambda = 10, kMu = 11, kNu = 12, kXi = 13,
              kOmicron = 14, kPi = 15, kRho = 16, kSigma = 17, kTau = 18, kUpsilon = 19, kPhi = 20,
              kChi = 21, kPsi = 22, kOmega = 23;
constexpr std::array<int, 26> kGreekOf = {
    kAlpha, kBeta,  kChi,   kDelta, kEpsilon, kPhi,  kGamma,   kEta,   kIota, kGamma, kKappa, kLambda, kMu,
    kNu,    kOmicron, kPi,  kTheta, kRho,     kSigma, kTau,    kUpsilon, kTheta, kOmega, kXi, kPsi, kZeta};

Font0 build_font0(const std::vector<Glyph>& latin, const std::vector<Glyph>& greek,
                  const std::vector<Glyph>& markers) {
  Font0 f{};
  for (auto& code : f) code[0] = {0, 0, 4};
  Overflow spare;
  for (std::size_t i = 0; i < latin.size() && 32 + i < 127; ++i)
    place(f, static_cast<int>(32 + i), font0_strokes(latin[i]), spare);
  // Plot markers on codes 1-16 (reached with the offset -64 from "A" to "P"); the marker
  // file holds them on its "A" to "P".
  constexpr std::size_t kFirstMarker = 'A' - 32;
  for (std::size_t m = 0; m < 16 && kFirstMarker + m < markers.size(); ++m)
    place(f, static_cast<int>(1 + m), font0_strokes(markers[kFirstMarker + m]), spare);
  constexpr int kGreekOffset = 129;
  for (int c = 32; c < 127; ++c) {
    const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
    if (upper || lower) {
      const int letter = c == 'g' ? kMu : kGreekOf[static_cast<std::size_t>(c - (upper ? 'A' : 'a'))];
      // The Greek source font holds the alphabet in order on A-X and a-x.
      const int source = (upper ? 'A' : 'a') + letter - 32;
      place(f, c + kGreekOffset, font0_strokes(greek[static_cast<std::size_t>(source)]), spare);
    } else if (c + kGreekOffset < kFont0Codes) {
      alias(f, c + kGreekOffset, c);   // digits and signs stay Latin inside Greek text
    }
  }
  return f;
}

std::string num(double v) {
  if (v == std::floor(v)) return std::to_string(static_cast<int>(v)) + ".0f";
  std::ostringstream s;
  s.precision(7);
  s << v << "f";
  return s.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: hershey_pack <font directory> <output .cpp>\n";
    return 2;
  }
  const std::string dir = argv[1];
  try {
    const auto load = [&](const char* name) { return read_jhf(dir + "/" + name + ".jhf"); };
    const auto sans = load("futural"), greek = load("greeks"), roman = load("rowmans"),
               script = load("scripts"), mathlow = load("mathlow"), mathupp = load("mathupp"),
               markers = load("markers");

    PackedFonts pf;
    const auto put = [&](int font, const std::array<int, 128>& at) {
      for (int c = 32; c < 128; ++c)
        pf.index[static_cast<std::size_t>(96 * font + c)] = at[static_cast<std::size_t>(c)];
    };
    put(1, append_font(pf, sans));
    const auto greek_at = append_font(pf, greek);
    put(2, greek_at);
    put(3, append_font(pf, roman));
    put(4, greek_at);   // a second Greek face would not fit; both Greek fonts show mu on "l"
    put(5, append_font(pf, script));
    put(6, append_font(pf, mathlow));
    put(7, append_font(pf, mathupp));
    const auto marker_at = append_font(pf, markers);   // font 8: indexed by the code itself
    for (int c = 32; c < 128; ++c) pf.index[static_cast<std::size_t>(c)] = marker_at[static_cast<std::size_t>(c)];
    const int used = static_cast<int>(pf.words.size()) - 1;
    if (used > kPackedWords) throw std::runtime_error("packed fonts need " + std::to_string(used) + " words");

    const Font0 f0 = build_font0(sans, greek, markers);

    std::ofstream out(argv[2]);
    out << "// Generated by tools/hershey_pack from the hershey-fonts-data files: do not edit.\n"
           "// The Hershey Fonts were originally created by Dr. A. V. Hershey while working at the\n"
           "// U. S. National Bureau of Standards. The format of the Font data in this distribution\n"
           "// was originally created by James Hurt, Cognition, Inc., 900 Technology Park Drive,\n"
           "// Billerica, MA 01821.\n"
           "#include \"qx/fonts.h\"\n\nnamespace qx {\n\n";
    out << "const Font0Stroke kFont0[kFont0Codes][kFont0Strokes] = {\n";
    for (const auto& code : f0) {
      out << " {";
      for (const Stroke& s : code) out << "{" << num(s.x) << "," << num(s.y) << "," << s.pen << "},";
      out << "},\n";
    }
    out << "};\n\nconst std::uint16_t kPackedGlyphs[kPackedWords + 1] = {\n";
    for (int i = 0; i <= kPackedWords; ++i) {
      out << (i < static_cast<int>(pf.words.size()) ? pf.words[static_cast<std::size_t>(i)] : 0) << ",";
      if (i % 20 == 19) out << "\n";
    }
    out << "};\n\nconst std::uint16_t kGlyphIndex[kGlyphIndexEntries] = {\n";
    for (int i = 0; i < kIndexEntries; ++i) {
      out << pf.index[static_cast<std::size_t>(i)] << ",";
      if (i % 20 == 19) out << "\n";
    }
    out << "};\n\nconst int kPackedWordsUsed = " << used << ";\n\n}  // namespace qx\n";
    if (!out) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "hershey_pack: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
