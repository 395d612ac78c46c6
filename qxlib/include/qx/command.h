// Command-line parsing and number input shared by both programs' command loops.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "qx/format.h"
#include "qx/units.h"

namespace qx {

struct Session;

// A command line after QXPARS.
struct CommandLine {
  std::string line = std::string(40, ' ');   // canonical: word 1-6, blank 7, argument 8-40
  char option = ' ';                          // letter written after "/", upper case
  double number = 0.0;                        // first number on the line, 0 when none
  std::string typed_arg;                      // the argument exactly as typed, before a
                                              // number in it was rewritten (file names)
  bool cut = false;                           // the typed line went past column 40

  std::string word() const { return line.substr(0, 6); }
  std::string arg() const { return line.substr(7); }   // columns 8-40
  char arg_letter() const;                             // column 8, upper case
  bool blank() const { return line[0] == ' '; }
};

// QXPARS on a 40-character line (longer input is cut; shorter is blank padded). Flips and
// prints the parser trace as the line asks, on the session's library output.
CommandLine qxpars(std::string_view line, Session& s);

// The reading sequence both programs apply to a raw input record: keep the first 40
// characters, QXLEAD, a blank after a leading "@", "$" or "!", then QXPARS.
CommandLine prepare_line(std::string_view raw, Session& s);

// Index of the first table entry whose first n characters equal the word's, where n is
// the length of the word (1 to 6); -1 when none matches. Blank entries never match.
int match_command(std::string_view word, std::span<const std::string_view> table);

// An on/off setting of a command: letter E switches it on, D off, any other leaves it; each
// case writes its message.
void set_switch(Output& out, char letter, bool& flag, const Format& enabled, const Format& disabled,
                const Format& unchanged);

// Result of QXREAD / QXRDST.
enum class Answer { accepted, rejected, end };

// QXREAD: one answer record (A80); an empty answer keeps both defaults. rejected restores
// both defaults; end means end of input (or an input error), also with the defaults kept.
Answer qxread(Input& in, Output& out, bool echo, double& first, double& second);
// QXRDST: the same on a given text (32 characters) instead of a record.
Answer qxrdst(std::string_view text, Output& out, bool echo, double& first, double& second);

}  // namespace qx
