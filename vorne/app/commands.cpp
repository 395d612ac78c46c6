// The command table and the commands the command loop handles itself.
#include "app/commands.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/edit_commands.h"
#include "app/files.h"
#include "app/loop.h"
#include "fit/agp.h"
#include "fit/mask.h"
#include "fit/ptf.h"
#include "fit/stig.h"
#include "session/walks.h"
#include "qx/format.h"
#include "qx/graphics.h"
#include "qx/help.h"
#include "qx/numeric.h"
#include "qx/text.h"
#include "reports/aberration_reports.h"
#include "reports/cofout.h"
#include "reports/correction_reports.h"
#include "reports/element_reports.h"
#include "reports/excitation_reports.h"
#include "reports/listing.h"
#include "reports/sensitivity.h"
#include "reports/astigmatism_scan.h"
#include "reports/system_reports.h"
#include "reports/trace.h"
#include "session/dialogue.h"
#include "system/diagnostic_levels.h"

namespace vorne {

namespace {

constexpr std::array<Command, kCommandSlots> kCommands = {{
    /*  1 */ {"P", cmd_p},           {"PTF", cmd_ptf},      {"S", cmd_s},          {"STIG", cmd_s},
    /*  5 */ {"EXIT", cmd_exit},     {"SAVE", cmd_save},    {"HELP", cmd_help},    {"THIRD", cmd_third},
    /*  9 */ {"DATA", cmd_data},     {"ELEMEN", cmd_elemen}, {"FISHK", cmd_fishk}, {"CRAM", cmd_cram},
    /* 13 */ {"AB3", cmd_ab3},       {"SMAT", cmd_smat},    {"SYSTEM", cmd_system},
    /* 16 */ {"QUAD", cmd_element_report}, {"OCTU", cmd_element_report}, {"SOLEN", cmd_element_report},
    /* 19 */ {"ACCEL", cmd_element_report}, {"RUSS", cmd_russ}, {"EXCITE", cmd_excite},
    /* 22 */ {"CHROM", cmd_excite},  {"VECTOR", cmd_vector}, {"CAP", cmd_cap},     {"DIAG", cmd_diag},
    /* 26 */ {"COUPLE", cmd_couple}, {"LQRAY", cmd_lqray},  {"ION", cmd_ion},      {"CORR", cmd_corr},
    /* 30 */ {"ROTN", cmd_rotn},     {"MASK", cmd_mask},    {"SPEC", cmd_spec},
    /* 33 */ {"DIP", cmd_element_report}, {"EINZ", cmd_element_report}, {"VS", cmd_element_report},
    /* 36 */ {"GAP", cmd_element_report}, {"CYL", cmd_element_report}, {"TRACE", cmd_trace},
    /* 39 */ {"SEXT", cmd_element_report}, {"@", cmd_macro}, {"CLEAR", cmd_clear}, {"XSCTN", cmd_nothing},
    /* 43 */ {"MENU", cmd_menu},     {"INSERT", cmd_insert}, {"REMOVE", cmd_remove}, {"AB2", cmd_ab2},
    /* 47 */ {"COFOUT", cmd_cofout}, {"AGP", cmd_agp},      {"SQUEEZ", cmd_squeez}, {"EFFECT", cmd_effect},
    /* 51 */ {"$", cmd_shell},       {"PARASI", cmd_parasi}, {"DISP", cmd_disp},   {"IDLOUT", cmd_nothing},
    /* 55 */ {"", nullptr},          {"", nullptr},         {"", nullptr},         {"", nullptr},
    /* 59 */ {"", nullptr},          {"", nullptr},
}};

constexpr std::array<std::string_view, kCommandSlots> command_words() {
  std::array<std::string_view, kCommandSlots> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = kCommands[i].word;
  return words;
}

constexpr std::array<std::string_view, kCommandSlots> kWords = command_words();

constexpr int kMaxDirectLevel = 9;            // EXIT 1-9 run the final run at once
constexpr std::int64_t kLevelLimit = 999;     // diagnostic levels a command accepts

const qx::Format kLevelRange{"(1H ,'?VORNE- Diagnostic level out of range: ',1P,G13.5)"};

// Rows of the system that ROTN/DISP /I offer: lenses that are not superimposed on another.
bool adjustable_lens(const LensSystem& s, int iz) {
  const TypeCode t = s.type_at(iz);
  return t.polarity != 0 && t.supra == 0;
}

// The value "ROTN Z" / "DISP Z" (0) and "ROTN A x" / "DISP A x" (x, free form after the letter)
// give every row; none, after `bad` with the argument, when no number follows the A.
std::optional<double> value_for_all_rows(Vorne& v, const qx::CommandLine& line, const qx::Format& bad) {
  if (line.arg_letter() == 'Z') return 0.0;
  const std::string rest = line.typed_arg.size() > 1 ? line.typed_arg.substr(1) : std::string();
  double value = 0.0;
  double unused = 0.0;
  if (qx::qxrdst(rest, v.term, false, value, unused) != qx::Answer::accepted) {
    v.term.write(bad, line.typed_arg);
    return std::nullopt;
  }
  return value;
}

// ROTN and DISP share their three forms: Z or A followed by a value sets every row
// (set_all(x), which also says what it did), /I asks each adjustable lens in turn until its
// answer is accepted (the end of input stops the round; answers already given stay), and
// anything else is the report.
struct OffsetCommand {
  const qx::Format& bad;                                        // no number after the A
  std::function<void(double x, bool zeroed)> set_all;
  std::function<qx::Answer(int iz, const TypeCode& t)> ask;     // one lens at the /I prompt
  void (*report)(Vorne&, const qx::CommandLine&);
};

void run_offset_command(Vorne& v, const qx::CommandLine& line, const OffsetCommand& c) {
  const char letter = line.arg_letter();
  if (letter == 'Z' || letter == 'A') {
    if (const std::optional<double> x = value_for_all_rows(v, line, c.bad)) c.set_all(*x, letter == 'Z');
    return;
  }
  if (line.option != 'I') {
    c.report(v, line);
    return;
  }
  const LensSystem& s = v.sys;
  for (int iz = kFirstElementRow; iz <= s.izend; ++iz) {
    if (!adjustable_lens(s, iz)) continue;
    const TypeCode t = s.type_at(iz);
    for (;;) {
      const qx::Answer a = c.ask(iz, t);
      if (a == qx::Answer::end) return;
      if (a == qx::Answer::accepted) break;
    }
  }
}

// The file name for LQRAY and ION: the argument, or asked; an empty answer takes `fallback`.
std::optional<std::string> output_name(Vorne& v, const qx::CommandLine& line, const qx::Format& prompt,
                                       const std::string& fallback) {
  std::string name = argument_name(line);
  if (!name.empty()) return name;
  v.term.write(prompt);
  if (read_text_answer(v, kFileNameLength, name) != qx::Answer::accepted) return std::nullopt;
  return name.empty() ? fallback : name;
}

}  // namespace

const std::array<Command, kCommandSlots>& command_table() { return kCommands; }

int find_command(std::string_view word) { return qx::match_command(word, kWords); }

// ---- EXIT --------------------------------------------------------------------------------------

void cmd_exit(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kAskLevel{"(1H ,'IDIAG for final run  > ',$)"};
  qx::close_plot_files(v.qx);
  const std::optional<std::int64_t> n = qx::nearest_int(line.number, -kLevelLimit, kLevelLimit);
  if (!n) {
    v.term.write(kLevelRange, line.number);
    return;
  }
  const double before = v.sys.p(1, 5);
  v.set_diagnostic(static_cast<double>(*n));
  if (*n <= 0 || !v.sys.loaded()) {
    v.finished = true;
    return;
  }
  if (*n > kMaxDirectLevel) {
    v.term.write(kAskLevel);
    int level = 0;
    if (read_int_answer(v, 1, level) != qx::Answer::accepted) {
      v.set_diagnostic(before);   // a cancelled EXIT leaves the level as it was
      return;
    }
    v.set_diagnostic(level);
    if (level == 0) {
      v.finished = true;
      return;
    }
  }
  final_run(v);
  v.finished = true;
}

// ---- HELP, MENU --------------------------------------------------------------------------------

void cmd_help(Vorne& v, const qx::CommandLine& line) {
  qx::help_command(v.in(), v.term, line, v.help_file, "vorne.hlp", kSourceHelpFile);
}

void cmd_menu(Vorne& v, const qx::CommandLine&) {
  static const qx::Format kMenu{"(1H ,/,1H ,'VORNE commands: ',/,/,8(1H ,8(A,'  '),/),/)"};
  std::vector<std::string> words;
  for (const Command& c : kCommands) words.push_back(qx::pad(c.word, 6));
  const std::vector<qx::FormatArg> args(words.begin(), words.end());
  v.term.put(kMenu.render(args));
}

// ---- Macros and the shell ----------------------------------------------------------------------

void cmd_macro(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kAskName{"(1H ,'Macro file name > ',$)"};
  std::string name = argument_name(line);
  if (name.empty()) {
    if (v.input.in_macro() && !line.cut) {
      end_macro(v);   // "@" alone ends the macro it stands in
      return;
    }
    v.term.write(kAskName);
    if (read_text_answer(v, kFileNameLength, name) != qx::Answer::accepted || name.empty()) return;
  }
  // The extension is always added, so a macro is never confused with the file it reads.
  open_macro(v, name + std::string(kMacroExtension));
}

void cmd_shell(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kFailed{"(1H ,'Error executing system command.',A)"};
  v.term.flush();   // what was written so far comes before the command's own output
  if (qx::qxshel(line.arg()) != 0) v.term.write(kFailed, "\a");
}

void cmd_clear(Vorne& v, const qx::CommandLine& line) { qx::qxclr(v.qx, v.term, line.option); }

void cmd_nothing(Vorne&, const qx::CommandLine&) {}

// ---- CAP, DIAG, CORR ---------------------------------------------------------------------------

void cmd_cap(Vorne& v, const qx::CommandLine&) {
  static const qx::Format kTitle{"(1H ,/,1H ,'Title: ',A)"};
  static const qx::Format kNew{"(1H ,'New> ',$)"};
  v.term.write(kTitle, v.sys.title);
  v.term.write(kNew);
  std::string answer;
  if (read_text_answer(v, kTitleLength, answer) != qx::Answer::accepted) return;
  if (!answer.empty()) v.sys.title = qx::pad(answer, kTitleLength);
}

void cmd_diag(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kSet{"(1H ,'Diagnostic set to ',I3)"};
  static const qx::Format kAsk{"(1H ,'Current diagnostic is ',I3,' > ',$)"};
  const std::optional<std::int64_t> n = qx::int_part(line.number, -kLevelLimit, kLevelLimit);
  if (!n) {
    v.term.write(kLevelRange, line.number);
    return;
  }
  if (*n != 0) {
    v.set_diagnostic(static_cast<double>(*n));
    v.term.write(kSet, static_cast<int>(*n));
  } else {
    const int current = static_cast<int>(qx::int_part(v.sys.p(1, 5), -kLevelLimit, kLevelLimit).value_or(v.idiag));
    v.term.write(kAsk, current);
    int level = 0;
    if (read_int_answer(v, 3, level) != qx::Answer::accepted) return;
    if (level != 0) v.set_diagnostic(level);
  }
  if (v.idiag == kThinLensFitLevel) system_walk(v, 1);
}

void cmd_corr(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kInto{"(1H ,'Output into file ',A,/)"};
  static const qx::Format kCut{"(1H ,'?CORR- Name cut at column 40, not taken: ',A)"};
  if (qx::qxlen(line.arg()) == 0) return;
  if (line.cut) {
    v.term.write(kCut, line.typed_arg);
    return;
  }
  v.corr_name = argument_name(line) + std::string(kListingExtension);
  v.term.write(kInto, v.corr_name);
}

// ---- LQRAY, ION --------------------------------------------------------------------------------

void cmd_lqray(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kAsk{"(1H ,'LQRAY filename for output> ',$)"};
  if (!output_name(v, line, kAsk, v.corr_name)) return;
  collect_groups(v.sys, v.term);   // the variables of the coupled lenses are the groups
  v.term.list("LQOUT not implemented");
}

void cmd_ion(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kAsk{"(1H ,'IONBEAM filename for output> ',$)"};
  if (!output_name(v, line, kAsk, v.sys.data_file)) return;
  collect_groups(v.sys, v.term);
  v.term.list("IONOUT not implemented");
}

// ---- ROTN, DISP --------------------------------------------------------------------------------

void cmd_rotn(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kZeroed{"(1H ,'All rotations zeroed.')"};
  static const qx::Format kAllSet{"(1H ,'All rotations set to ',F10.5,' Pi.')"};
  static const qx::Format kBad{"(1H ,'?ROTN- No number after the letter: ',A)"};
  static const qx::Format kAsk{"(1H ,I2,1X,A,1X,A,' Rotation = ',F10.4,' rad > ',$)"};
  LensSystem& s = v.sys;
  const auto set_all = [&](double x, bool zeroed) {
    for (int iz = 1; iz <= s.izend; ++iz) s.rotation(iz) = x * kPi;
    if (zeroed) v.term.write(kZeroed);
    if (x != 0.0) v.term.write(kAllSet, x);
  };
  const auto ask = [&](int iz, const TypeCode& t) {
    v.term.write(kAsk, iz, polarity_name(t.polarity), element_name(t.type), s.rotation(iz));
    double unused = 0.0;
    return qx::qxread(v.in(), v.term, v.input.in_macro(), s.rotation(iz), unused);
  };
  run_offset_command(v, line, {kBad, set_all, ask, rotation_report});
}

void cmd_disp(Vorne& v, const qx::CommandLine& line) {
  static const qx::Format kAllSet{"(1H ,'All displacements set to ',F10.5,' m.')"};
  static const qx::Format kBad{"(1H ,'?DISP- No number after the letter: ',A)"};
  static const qx::Format kAsk{"(1H ,I2,1X,A,1X,A,' Displacement (x,y) = ',F10.4,',',F10.4,' (m) > ',$)"};
  LensSystem& s = v.sys;
  const auto set_all = [&](double x, bool) {
    for (int iz = 1; iz <= s.izend; ++iz) s.dx(iz) = s.dy(iz) = x;
    if (x != 0.0) v.term.write(kAllSet, x);
  };
  const auto ask = [&](int iz, const TypeCode& t) {
    v.term.write(kAsk, iz, polarity_name(t.polarity), element_name(t.type), s.dx(iz), s.dy(iz));
    return qx::qxread(v.in(), v.term, v.input.in_macro(), s.dx(iz), s.dy(iz));
  };
  run_offset_command(v, line, {kBad, set_all, ask, displacement_report});
}

}  // namespace vorne
