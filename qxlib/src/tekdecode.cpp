#include "qx/tekdecode.h"

#include <array>
#include <string>

namespace qx {

namespace {

constexpr unsigned char kETX = 3, kLF = 10, kFF = 12, kCR = 13, kETB = 23, kCAN = 24, kESC = 27, kGS = 29,
                        kUS = 31;

class Decoder {
 public:
  explicit Decoder(TekDrawing& d) : d_(d) { d_.pages.emplace_back(); }

  void byte(unsigned char c) {
    if (esc_ != Esc::none) {
      escape(c);
      return;
    }
    switch (c) {
      case kESC:
        esc_ = Esc::start;
        return;
      case kGS:
        graph_ = true;
        dark_ = true;
        ++d_.graph_entries;
        return;
      case kUS:
      case kCAN:
        graph_ = false;
        return;
      case kCR:
      case kLF:
      case kETB:
      case kETX:
        if (!graph_) text(c);
        return;
      default:
        break;
    }
    if (c < 32) return;
    if (!graph_) {
      text(c);
      return;
    }
    address_byte(c);
  }

 private:
  enum class Esc { none, start, csi, slash, slash_digit };

  void text(unsigned char c) {
    if (c >= 32 && c < 127) page().text.push_back(static_cast<char>(c));
    if (c == kLF) page().text.push_back('\n');
  }

  TekPage& page() { return d_.pages.back(); }

  void escape(unsigned char c) {
    switch (esc_) {
      case Esc::start:
        esc_ = Esc::none;
        if (c == kFF) {
          erase();
        } else if (c >= 96 && c <= 119) {
          style_ = c - 96;
        } else if (c == '[') {
          esc_ = Esc::csi;
        } else if (c == '/') {
          esc_ = Esc::slash;
        } else if (c == kETX) {
          graph_ = false;   // the terminal leaves its graphics mode
        }
        // ESC 1, ESC 2, ESC *, ESC O, ESC :, ESC \ and the like switch windows: nothing drawn.
        return;
      case Esc::csi:
        if (c >= 0x40 && c <= 0x7e) esc_ = Esc::none;   // the final byte of ESC [ ...
        return;
      case Esc::slash:
        if (c >= '0' && c <= '9') {
          pending_colour_ = c - '0';
          esc_ = Esc::slash_digit;
        } else {
          esc_ = Esc::none;
        }
        return;
      case Esc::slash_digit:
        if (c == 'd') colour_ = pending_colour_;
        esc_ = Esc::none;
        return;
      case Esc::none:
        return;
    }
  }

  void erase() {
    ++d_.erases;
    if (!page().segments.empty() || !page().text.empty()) d_.pages.emplace_back();
  }

  void address_byte(unsigned char c) {
    if (c >= 0x60) {   // LoY
      loy_ = c & 0x1f;
      after_loy_ = true;
    } else if (c >= 0x40) {   // LoX ends the address
      lox_ = c & 0x1f;
      after_loy_ = false;
      point((hix_ << 5) | lox_, (hiy_ << 5) | loy_);
    } else if (after_loy_) {   // HiX
      hix_ = c & 0x1f;
    } else {   // HiY
      hiy_ = c & 0x1f;
    }
  }

  void point(int x, int y) {
    if (!dark_) page().segments.push_back({x_, y_, x, y, style_, colour_});
    dark_ = false;
    x_ = x;
    y_ = y;
  }

  TekDrawing& d_;
  Esc esc_ = Esc::none;
  bool graph_ = false;
  bool dark_ = true;   // the next address is a move
  bool after_loy_ = false;
  int hiy_ = 0, loy_ = 0, hix_ = 0, lox_ = 0;
  int x_ = 0, y_ = 0;
  int style_ = 0, colour_ = 0, pending_colour_ = 0;
};

const char* svg_colour(int digit) {
  static constexpr std::array<const char*, 10> kColours = {"black", "black", "#c00000", "#008000", "#0000c0",
                                                           "#008080", "#a000a0", "#d08000", "#808080", "#404040"};
  return kColours[static_cast<std::size_t>(digit) % kColours.size()];
}

const char* svg_dash(int style) {
  switch (style % 8) {
    case 1:
      return " stroke-dasharray=\"2,4\"";
    case 2:
      return " stroke-dasharray=\"10,5,2,5\"";
    case 3:
      return " stroke-dasharray=\"6,4\"";
    case 4:
      return " stroke-dasharray=\"14,6\"";
    default:
      return "";
  }
}

}  // namespace

TekDrawing decode_tek(std::string_view bytes) {
  TekDrawing d;
  Decoder dec(d);
  for (const char c : bytes) dec.byte(static_cast<unsigned char>(c));
  return d;
}

std::string tek_page_svg(const TekPage& page) {
  constexpr int kHeight = 780;
  std::string svg =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1024\" height=\"780\" viewBox=\"0 0 1024 780\">\n"
      "<rect width=\"1024\" height=\"780\" fill=\"white\"/>\n"
      "<g stroke-width=\"1.2\" stroke-linecap=\"round\" fill=\"none\">\n";
  for (const TekSegment& s : page.segments) {
    svg += "<line x1=\"" + std::to_string(s.x0) + "\" y1=\"" + std::to_string(kHeight - s.y0) + "\" x2=\"" +
           std::to_string(s.x1) + "\" y2=\"" + std::to_string(kHeight - s.y1) + "\" stroke=\"" +
           svg_colour(s.colour) + "\"" + svg_dash(s.style) + "/>\n";
  }
  svg += "</g>\n</svg>\n";
  return svg;
}

}  // namespace qx
