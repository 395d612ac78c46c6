#include "app/loop.h"

#include <algorithm>

#include "app/commands.h"
#include "session/walks.h"
#include "qx/format.h"
#include "qx/graphics.h"
#include "qx/text.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr std::size_t kLineLength = 40;     // a command line is one 40-character record
constexpr double kFitTolerance = 1.0E-4;    // objective above this: the "sti> " prompt
constexpr int kMaxReadErrors = 10;          // read errors in a row that count as end of input
constexpr std::string_view kLoginMacro = "login.vcm";

// End of input on the current level: a macro ends; the keyboard ends the program as EXIT with
// no number does, instead of prompting for ever.
void end_of_input(Vorne& v) {
  if (v.input.in_macro()) {
    end_macro(v);
    return;
  }
  cmd_exit(v, qx::CommandLine{});
}

// The macro an unknown word names: the word (upper case, as parsed) followed by ".vcm".
std::string macro_of_word(const qx::CommandLine& line) {
  const std::string word = line.word();
  return word.substr(0, std::min(word.find(' '), word.size())) + std::string(kMacroExtension);
}

}  // namespace

void start_up(Vorne& v) {
  static const qx::Format kBanner{"(1H ,/,1H ,'         Program VORNE - Version 8.2',/,/)"};
  static const qx::Format kHint{"(1H ,/,1H ,10X,' Type DATA to load a filename to start....',/,/)"};
  v.help_file = kDefaultHelpFile;
  v.term.write(kBanner);
  v.sys.clear_table();
  v.idiag = kTerminalLevel;
  // The graphics layer starts with terminal type 8, as if TERM 8 had been typed.
  qx::qxcmd(v.qx, v.in(), v.term, false, qx::qxpars("TERM 8", v.qx));
  v.term.write(kHint);
  if (qx::file_exists(std::string(kLoginMacro))) open_macro(v, std::string(kLoginMacro));
}

std::string choose_prompt(Vorne& v) {
  std::string prompt = "vrn> ";
  if (v.sys.loaded()) {
    v.refresh_diagnostic();
    if (v.idiag == kThinLensFitLevel) prompt = "apr> ";
    if (v.idiag < kTerminalLevel && squared_objective(v) > kFitTolerance) prompt = "sti> ";
  }
  if (v.input.in_macro()) prompt.back() = '_';
  return prompt;
}

void command_loop(Vorne& v) {
  static const qx::Format kPrompt{"(1H ,A,$)"};
  static const qx::Format kEcho{"(1H ,A)"};
  int errors = 0;
  while (!v.finished) {
    v.term.write(kPrompt, choose_prompt(v));
    std::string raw;
    const qx::ReadStatus status = v.in().read_line(raw);
    if (status == qx::ReadStatus::eof || (status == qx::ReadStatus::error && ++errors >= kMaxReadErrors)) {
      errors = 0;
      end_of_input(v);
      continue;
    }
    if (status == qx::ReadStatus::error) continue;
    errors = 0;
    if (v.input.in_macro()) {
      const std::string rec = qx::pad(raw, kLineLength);
      v.term.write(kEcho, rec.substr(0, static_cast<std::size_t>(std::max(1, qx::qxlen(rec)))));
    }
    run_line(v, raw);
  }
  v.term.flush();
}

void run_line(Vorne& v, std::string_view raw) {
  static const qx::Format kUnknown{"(1H ,'?',A)"};
  const qx::CommandLine line = qx::prepare_line(raw, v.qx);
  // The graphics layer sees every line first; a word both layers know runs in both.
  const bool library = qx::qxcmd(v.qx, v.in(), v.term, v.input.in_macro(), line);
  if (line.blank()) return;

  const int k = find_command(line.word());
  if (k >= 0) {
    command_table()[static_cast<std::size_t>(k)].run(v, line);
    return;
  }
  const std::string macro = macro_of_word(line);
  if (qx::file_exists(macro)) {
    open_macro(v, macro);
    return;
  }
  if (!library) v.term.write(kUnknown, line.line);
}

bool open_macro(Vorne& v, const std::string& name) {
  static const qx::Format kUnableToOpen{"(1H ,'Unable to open ',A,/)"};
  if (v.input.push(name)) return true;
  v.term.write(kUnableToOpen, name);
  return false;
}

void end_macro(Vorne& v) {
  v.input.pop();
  v.set_diagnostic(kMacroEndLevel);
}

}  // namespace vorne
