// Placeholder until command parsing lands.
#include "qx/command.h"

#include "qx/session.h"
#include "qx/text.h"

namespace qx {

char CommandLine::arg_letter() const {
  const char c = line[7];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

CommandLine qxpars(std::string_view line, Session&) {
  CommandLine c;
  c.line = pad(line, 40);
  return c;
}

CommandLine prepare_line(std::string_view raw, Session& s) { return qxpars(raw, s); }

int match_command(std::string_view, std::span<const std::string_view>) { return -1; }

Answer qxread(Input&, Output&, bool, double&, double&) { return Answer::end; }
Answer qxrdst(std::string_view, Output&, bool, double&, double&) { return Answer::end; }

}  // namespace qx
