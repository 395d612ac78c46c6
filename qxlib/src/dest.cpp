// The graphics output destination (unit 49) and the DEST command.
#include "qx/dest.h"

#include <cstdio>

#include "qx/format.h"
#include "qx/text.h"

namespace qx {

namespace {

constexpr std::size_t kNameField = 50;   // destination names are 50-character fields

// Opens the destination on path, creating or truncating a file; false when it cannot.
bool open_destination(GraphicsDestination& dest, std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return false;   // would open a shorter name
  const std::string p(path);
  std::FILE* f = std::fopen(p.c_str(), "w");
  if (f == nullptr) return false;
  dest.file = f;
  dest.name = p;
  return true;
}

}  // namespace

void qxdest(Session& s, std::string& name, std::string_view terminal) {
  static const Format kUnableToOpen{"(1H ,'Unable to open output to ',A,'.',/)"};
  static const Format kNoTerminal{"(1H ,'Unable to reopen original channel: ',A)"};
  if (qxlen(name) == 0) {
    name = terminal;
    return;
  }
  if (name[0] == '*') name = terminal;
  s.dest.close();
  const std::string target(trim_right(name));
  if (open_destination(s.dest, target)) return;
  s.out.write(kUnableToOpen, target);
  if (open_destination(s.dest, terminal)) return;
  s.dest.name = terminal;   // not open: the next plot tries the terminal again
  s.out.write(kNoTerminal, terminal);
}

void dest_command(Session& s, Input& in, Output& out, bool echo, const CommandLine& line, std::string_view terminal) {
  static const Format kPrompt{"(1H ,'Destination for TEK4010/4 plot > ',$)"};
  static const Format kTooLong{"(1H ,'Destination name longer than 50 characters.')"};
  // A name typed past column 40 was cut: it is asked for again rather than used cut short.
  std::string name = line.cut ? std::string() : line.typed_arg;
  if (qxlen(name) == 0) {
    out.write(kPrompt);
    std::string answer;
    if (in.read_line(answer) != ReadStatus::ok) return;   // end of input cancels DEST
    const std::string field = pad(answer, kNameField);
    if (echo) out.list(field);
    if (qxlen(answer) > static_cast<int>(kNameField)) {
      out.write(kTooLong);
      out.list("TEK4010/4 destination unchanged.");
      return;
    }
    const std::size_t start = field.find_first_not_of(' ');
    name = start == std::string::npos ? std::string() : std::string(trim_right(field.substr(start)));
  }
  if (qxlen(name) == 0) {
    out.list("TEK4010/4 destination unchanged.");
    return;
  }
  qxdest(s, name, terminal);
  // What is in effect now: after a failed open that is the terminal, not the name typed.
  out.list("TEK4010/4 destination set to", pad(s.dest.name, kNameField));
}

void qxdest(Session& s, std::string& name) { qxdest(s, name, kTerminalDevice); }

void dest_command(Session& s, Input& in, Output& out, bool echo, const CommandLine& line) {
  dest_command(s, in, out, echo, line, kTerminalDevice);
}

}  // namespace qx
