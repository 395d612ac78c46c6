// Reading a graphics-terminal byte stream back: the line segments it draws, page by page,
// and an SVG picture of a page. Lets tests check drawings as drawings, and lets a user
// without such a terminal look at a plot sent to a file with DEST.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qx {

struct TekSegment {
  int x0, y0, x1, y1;   // screen addresses, 0-1023 (y up)
  int style = 0;        // line style set by ESC and a character 96-119 (0 solid)
  int colour = 0;       // colour digit set by ESC / digit d
};

struct TekPage {
  std::vector<TekSegment> segments;
  std::string text;     // characters written in alpha mode
};

struct TekDrawing {
  std::vector<TekPage> pages;   // a screen erase (ESC FF) starts a new page
  int erases = 0;
  int graph_entries = 0;        // GS bytes seen
};

// Decodes a stream: GS starts a vector run whose first address is a move, US (and CAN, and
// a switch back to text) ends it; addresses are HiY LoY HiX LoX with the usual omissions.
// The escape sequences of the supported terminal types are skipped.
TekDrawing decode_tek(std::string_view bytes);

// An SVG picture of one page, 1024 x 780 user units, y pointing up as on the screen.
std::string tek_page_svg(const TekPage& page);

}  // namespace qx
