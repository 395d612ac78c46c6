#include "qx/svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "qx/format.h"
#include "qx/postscript.h"
#include "qx/session.h"
#include "qx/text.h"
#include "qx/units.h"

namespace qx {

namespace {

constexpr double kCoordinateLimit = 32000;       // far-off points stay far off, inside 16 bits
constexpr std::size_t kPathChunk = 4000;         // characters of path data per element
constexpr double kWidthPerUnit = 5.0;            // stroke width per unit of LINE -w, as on paper
constexpr int kPageX = static_cast<int>(kPageWidthMils), kPageY = static_cast<int>(kPageHeightMils);

// Path data are plain integers, appended as they come: a map has 200000 points.
void append_int(std::string& out, int v) {
  char digits[12];
  const auto r = std::to_chars(digits, digits + sizeof digits, v);
  out.append(digits, r.ptr);
}

int device(double v) {
  if (!std::isfinite(v)) v = 0.0;
  return static_cast<int>(std::floor(std::clamp(v, -kCoordinateLimit, kCoordinateLimit) + 0.5));
}

// The stroke width in milli-inches, as the PostScript file's (I3) width item.
int stroke_width(double zoom, double width) {
  const double v = kWidthPerUnit * zoom * width + 0.5;
  return std::isfinite(v) ? static_cast<int>(std::clamp(v, 1.0, 99.0)) : 1;
}

std::string hex_colour(double pen) {
  static constexpr std::string_view kHex = "0123456789abcdef";
  const Rgb c = pen_rgb(pen);
  std::string out = "#";
  for (const double v : {c.r, c.g, c.b}) {
    const int k = static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    out += kHex[static_cast<std::size_t>(k / 16)];
    out += kHex[static_cast<std::size_t>(k % 16)];
  }
  return out;
}

std::string xml_text(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        // Control characters are not allowed in XML 1.0; plot titles have no use for them.
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

// A segment, the same whichever end it was drawn from.
std::uint64_t segment_key(int x0, int y0, int x1, int y1) {
  if (x1 < x0 || (x1 == x0 && y1 < y0)) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  auto field = [](int v) { return static_cast<std::uint64_t>(static_cast<std::uint16_t>(v)); };
  return field(x0) << 48 | field(y0) << 32 | field(x1) << 16 | field(y1);
}

void end_path(SvgWriter& w) {
  if (w.path.empty()) return;
  std::string element = "<path stroke=\"" + hex_colour(w.path_colour) + "\" stroke-width=\"";
  append_int(element, stroke_width(w.zoom, w.path_width));
  element += "\" d=\"" + w.path + "\"/>\n";
  w.file->put(element);
  w.path.clear();
}

// The closing tags, then the file takes its name.
bool finish(SvgWriter& w) {
  end_path(w);
  w.file->put("</g>\n</svg>\n");
  const bool ok = w.file->commit();
  w.file.reset();
  w.drawn.clear();
  return ok;
}

bool open_file(Session& s, const std::string& title) {
  SvgWriter& w = s.gfx.svg;
  static constexpr NumberedFile kSvg{kSvgExtension, true, FileOutput::Mode::atomic, "SVG"};
  if (!open_numbered_file(w, s.out, kSvg)) return false;
  const std::string& name = w.name;
  std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"11in\" height=\"8.5in\" viewBox=\"0 0 ";
  append_int(head, kPageX);
  head += ' ';
  append_int(head, kPageY);
  head += "\">\n<title>" + xml_text(qxlen(title) > 0 ? trim_right(title) : std::string_view(name)) + "</title>\n";
  head += "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  head += "<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
  w.file->put(head);
  w.path.clear();
  w.drawn.clear();
  return true;
}

}  // namespace

SvgWriter::~SvgWriter() {
  if (file) finish(*this);
}

int svg_begin(Session& s, const PlotStart& p) {
  SvgWriter& w = s.gfx.svg;
  if (w.file && s.gfx.auto_clear) svg_close(s);   // a new plot, a new file
  if (!w.file && !open_file(s, s.gfx.plot.title)) return 1;
  fit_letter_page(w, s.out, p);
  return 0;
}

void svg_point(Session& s, double x, double y, int action) {
  SvgWriter& w = s.gfx.svg;
  if (!w.file) return;
  const int X = device(x * w.sx + w.xorg);
  const int Y = device(kPageHeightMils - (y * w.sy + w.yorg));   // the page's y runs down
  const int x0 = w.pen_x, y0 = w.pen_y;
  w.pen_x = X;
  w.pen_y = Y;
  if (action == 3) return;
  if (!w.drawn.insert(segment_key(x0, y0, X, Y)).second) return;   // drawn already
  if (w.pen_width != w.path_width || w.pen_number != w.path_colour || w.path.size() > kPathChunk) {
    end_path(w);
    w.path_width = w.pen_width;
    w.path_colour = w.pen_number;
  }
  if (w.path.empty() || w.path_x != x0 || w.path_y != y0) {
    w.path += 'M';
    append_int(w.path, x0);
    w.path += ' ';
    append_int(w.path, y0);
  }
  if (X == x0 && Y == y0) {
    w.path += "h0";   // a dot: the round cap draws it
  } else {
    w.path += 'L';
    append_int(w.path, X);
    w.path += ' ';
    append_int(w.path, Y);
  }
  w.path_x = X;
  w.path_y = Y;
}

void svg_close(Session& s) {
  SvgWriter& w = s.gfx.svg;
  if (!w.file) return;
  const bool ok = finish(w);
  static const Format kClosed{"(1H ,'Plot output file ',A,' closed.')"};
  s.out.write(kClosed, w.name);
  if (!ok) {
    static const Format kWriteError{"(1H ,'Error writing SVG plot file ',A)"};
    s.out.write(kWriteError, w.name);
  }
}

const PlotDevice& svg_device() {
  static const FileDevice kDevice({[](Session& s) -> PlotFile& { return s.gfx.svg; }, svg_begin, svg_point, nullptr,
                                   svg_close, nullptr, nullptr, kMilsPerMm});
  return kDevice;
}

}  // namespace qx
