// Stroke fonts of the plot text (generated at build time by tools/hershey_pack).
//
// Font 0: for each of the 256 character codes up to 30 strokes (x, y, pen) in a cell 6 units
// wide with the baseline at y = 0; pen 3 moves, 2 draws, 4 ends the glyph and -1 continues
// with the glyph of the code given in x. Codes 32-126 are Latin, 1-16 plot markers, and the
// codes of the Greek offset (+129) Greek letters on the Latin letter that names them (a lower-
// case g gives mu, as the programs write micrometres "^Gg^Rm"; gamma is on j).
//
// Fonts 1-8: one packed table of 16-bit words, x + 64*y per point, 63 lifts the pen before the
// next point, 4095 ends a glyph, the first word of a glyph is a header (its advance width).
// A point is x * 6/21, (y - 7) * 6/21 in cell units. Font f (1-7) finds code c through index
// entry 96*f + c, font 8 through entry c; an entry outside 1-kPackedWords means a blank glyph.
// 1 sans serif, 2 and 4 Greek (in alphabet order: "l" is mu), 3 Roman, 5 script, 6 and 7
// mathematical signs, 8 plot markers on "A" to "P".
#pragma once

#include <cstdint>

namespace qx {

struct Font0Stroke {
  float x, y;    // cell units
  int pen;       // 3 move, 2 draw, 4 end, -1 continue with code x
};

inline constexpr int kFont0Codes = 256;
inline constexpr int kFont0Strokes = 30;
inline constexpr int kPackedWords = 10574;
inline constexpr int kGlyphIndexEntries = 800;
inline constexpr int kPackedPenUp = 63;
inline constexpr int kPackedEnd = 4095;

extern const Font0Stroke kFont0[kFont0Codes][kFont0Strokes];
extern const std::uint16_t kPackedGlyphs[kPackedWords + 1];   // 1-based; word 0 unused
extern const std::uint16_t kGlyphIndex[kGlyphIndexEntries];
extern const int kPackedWordsUsed;

}  // namespace qx
