// QXCMD, the library's own commands, and QXCLR.
#include "qx/graphics.h"

#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>

#include "qx/dest.h"
#include "qx/device.h"
#include "qx/format.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace qx {

namespace {

constexpr std::array<std::string_view, 10> kLibraryCommands = {"CLEAR", "FONT", "TERM",  "MENU",  "DEFINE",
                                                               "LINE",  "DEST", "CLOSE", "CFLAG", "MARKS"};
constexpr double kPenEpsilon = 0.0001;
constexpr int kMaxFont = 8;

char upper_char(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// The first library command the word abbreviates, or -1.
int find_library_command(const std::string& line) {
  if (line.empty() || line[0] == ' ') return -1;
  std::size_t len = line.find(' ');
  if (len == std::string::npos || len > 6) len = std::min<std::size_t>(line.size(), 6);
  const std::string_view word(line.data(), len);
  for (std::size_t i = 0; i < kLibraryCommands.size(); ++i) {
    const std::string_view entry = kLibraryCommands[i];
    if (entry.size() >= len && entry.substr(0, len) == word) return static_cast<int>(i);
  }
  return -1;
}

void cmd_font(Session& s, Output& out, const CommandLine& line) {
  static const Format kFontSet{"(1H ,'Default font set to ',I2,'.',/)"};
  static const Format kNoFont{"(1H ,'Fonts are 0 to 8: default font unchanged.',/)"};
  const std::optional<std::int64_t> n = int_part(line.number + 0.5);
  if (n && *n >= 0 && *n <= kMaxFont) {
    s.gfx.plot.default_font = static_cast<int>(*n);
    out.write(kFontSet, s.gfx.plot.default_font);
  } else {
    out.write(kNoFont);   // "set to" would claim a change that was not made
  }
}

void cmd_term(Session& s, Input& in, Output& out, const CommandLine& line) {
  TekState& t = s.gfx.tek;
  int n = 0;
  if (line.option == 'R') {
    n = t.previous_type;
  } else if (const auto k = int_part(line.number + 0.5, -1000000, 1000000)) {
    n = static_cast<int>(*k);
  }
  const int before = t.type;
  qxterm(s, in, out, n);
  t.previous_type = before;
}

void cmd_menu(Output& out) {
  static const Format kHead{"(/,1H ,'QXLIBRARY commands:',/)"};
  static const Format kNames{"(8(A,'  '))"};
  static const Format kEmpty{"(A)"};
  out.write(kHead);
  std::array<std::string, kLibraryCommands.size()> names;
  std::array<FormatArg, kLibraryCommands.size()> args{FormatArg(""), "", "", "", "", "", "", "", "", ""};
  for (std::size_t i = 0; i < kLibraryCommands.size(); ++i) {
    names[i] = pad(kLibraryCommands[i], 6);
    args[i] = FormatArg(names[i]);
  }
  out.put(kNames.render(args));
  out.write(kEmpty, "");
}

// Asks a number pair until it is accepted; false at end of input (the command ends).
bool ask_pair(Input& in, Output& out, bool echo, const Format& prompt, double& a, double& b) {
  for (;;) {
    out.write(prompt);
    const Answer r = qxread(in, out, echo, a, b);
    if (r == Answer::accepted) return true;
    if (r == Answer::end) return false;
  }
}

// The devices DEFINE's option names: one, or all for "*".
template <typename F>
void for_each_defined(char option, F&& f) {
  if (option == '*') {
    for_each_plot_device(f);
  } else if (const PlotDevice* d = plot_device(option)) {
    f(*d);
  }
}

void cmd_define(Session& s, Input& in, Output& out, bool echo, const CommandLine& line) {
  const char option = line.option == ' ' ? 'S' : upper_char(line.option);
  if (option != '*' && plot_device(option) == nullptr) {
    out.list("Unknown plot device for DEFINE (use " + plot_device_letters() + " or *).");
    return;
  }
  const std::string typed = line.typed_arg.empty() ? std::string(trim_right(line.arg())) : line.typed_arg;
  if (qxlen(line.arg()) > 0) {
    if (line.cut) {
      out.list("Plot file name too long; nothing changed.");
      return;
    }
    const std::string name = std::string(trim_right(typed));
    const std::string chosen = name == "*" ? std::string() : name;   // "*": the numbered names
    for_each_defined(option, [&](const PlotDevice& d) { d.define_name(s, chosen); });
    return;
  }
  static const Format kScale{"(1H ,'Scale factor for next plot > ',$)"};
  static const Format kOffsets{"(1H ,'X and Y plot offsets (mm) > ',$)"};
  double scale = 1.0, unused = 0.0;
  if (!ask_pair(in, out, echo, kScale, scale, unused)) return;
  double dx = 0.0, dy = 0.0;
  const bool have_offsets = ask_pair(in, out, echo, kOffsets, dx, dy);
  if (!std::isfinite(scale) || !std::isfinite(dx) || !std::isfinite(dy)) return;
  for_each_defined(option, [&](const PlotDevice& d) {
    d.define_scale(s, scale);
    if (have_offsets) d.define_offsets(s, dx, dy);
  });
}

void cmd_line(Session& s, Output& out, const CommandLine& line) {
  const double v = line.number;
  if (!std::isfinite(v)) return;
  if (v >= -kPenEpsilon) {
    const auto p = int_part(v + 0.5, 0, 99);
    if (!p) {
      out.list("Pen number out of range (1 to 99).");
      return;
    }
    if (*p >= 1) {
      for_each_plot_device([&](const PlotDevice& d) { d.pen(s, static_cast<int>(*p)); });
      out.list("Pen set to", static_cast<int>(*p));
    } else {
      out.list("Current pen", hpgl_pen(s, 0));
    }
    return;
  }
  if (!int_part(v - 0.5, -99, -1)) {
    out.list("Line width out of range (up to 99).");
    return;
  }
  out.list("Line width set to", -v);
  for_each_plot_device([&](const PlotDevice& d) { d.width(s, -v); });
}

// E (option or the letter after the command word) enables the switch, D disables it.
char switch_letter(const CommandLine& line) { return upper_char(line.option != ' ' ? line.option : line.line[7]); }

void cmd_cflag(Session& s, Output& out, const CommandLine& line) {
  static const Format kEnabled{"(1H ,'Auto clear before a plot enabled.')"};
  static const Format kDisabled{"(1H ,'Auto clear before a plot disabled.')"};
  static const Format kUnchanged{"(1H ,'No action on clear flag taken (use E or D).')"};
  set_switch(out, switch_letter(line), s.gfx.auto_clear, kEnabled, kDisabled, kUnchanged);
}

void cmd_marks(Session& s, Output& out, const CommandLine& line) {
  static const Format kEnabled{"(1H ,'Plot markers enabled.')"};
  static const Format kDisabled{"(1H ,'Plot markers disabled.')"};
  static const Format kUnchanged{"(1H ,'No action on plot markers taken (use E or D).')"};
  set_switch(out, switch_letter(line), s.gfx.marks, kEnabled, kDisabled, kUnchanged);
}

}  // namespace

bool qxcmd(Session& s, Input& in, Output& out, bool echo, const CommandLine& line) {
  const int k = find_library_command(line.line);
  if (k < 0) return false;
  switch (k) {
    case 0:
      qxclr(s, out, line.option == ' ' ? 'A' : line.option);
      break;
    case 1:
      cmd_font(s, out, line);
      break;
    case 2:
      cmd_term(s, in, out, line);
      break;
    case 3:
      cmd_menu(out);
      break;
    case 4:
      cmd_define(s, in, out, echo, line);
      break;
    case 5:
      cmd_line(s, out, line);
      break;
    case 6:
      dest_command(s, in, out, echo, line, s.gfx.terminal);
      break;
    case 7:
      close_plot_files(s);
      break;
    case 8:
      cmd_cflag(s, out, line);
      break;
    case 9:
      cmd_marks(s, out, line);
      break;
    default:
      break;
  }
  return true;
}

void qxclr(Session& s, Output& out, char mode) {
  static const Format kRecord{"(A)"};
  char letter = upper_char(mode);
  if (letter == ' ') letter = s.gfx.clear_letter;
  switch (letter) {
    case 'A':
      out.write(kRecord, "\f");
      break;
    case 'V':
      out.write(kRecord, "\x1b[2J");
      break;
    case 'H':
      out.write(kRecord, "\x1b[2J");
      out.write(kRecord, "\x1b[1;1H");
      break;
    case 'F':
      out.write(kRecord, "\x1b" "1\x1b\f\x1b" "2");
      break;
    case 'G':
      graphics_erase(s);
      break;
    case 'C':
      s.gfx.clear_letter = ' ';
      return;
    default:
      return;   // nothing remembered, or a letter with no clear of its own
  }
  s.gfx.clear_letter = letter;
}

void close_plot_files(Session& s) {
  for_each_plot_device([&](const PlotDevice& d) { d.close(s); });
}

}  // namespace qx
