#include "app/commands.h"

#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

#include "analysis/deltae.h"
#include "analysis/diff.h"
#include "analysis/dump.h"
#include "analysis/find.h"
#include "analysis/map.h"
#include "analysis/phase_plot.h"
#include "analysis/profile.h"
#include "analysis/shadow.h"
#include "analysis/sort.h"
#include "analysis/spot.h"
#include "analysis/trans.h"
#include "app/fake_command.h"
#include "io/lqio.h"
#include "qx/graphics.h"
#include "qx/help.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"
#include "app/registers.h"

namespace lumiray {

namespace {

constexpr int kCommandSlots = 60;
constexpr std::size_t kListRecord = 128;     // LIST prints records of up to 128 characters
constexpr std::size_t kListAnswer = 30;      // file name typed at LIST's prompt (A30)
constexpr std::size_t kCaptionAnswer = 70;   // a new caption (A70)
constexpr std::size_t kLineLength = 40;
constexpr double kMinDotSize = 0.00001;
constexpr const char* kDelayFile = "lqsort.del";
constexpr const char* kLoginMacro = "login.lcm";
constexpr int kDelayUnit = 4;
constexpr int kListUnit = 4;

using Handler = void (*)(Lumiray&, const qx::CommandLine&);
struct Command {
  std::string_view word;
  Handler run;
};

const qx::Format kCutName{"(1H ,'?LUMIRAY - The line was cut at column 40; a file name is not taken from it.')"};

// ---------------------------------------------------------------------------------------
// Macros
// ---------------------------------------------------------------------------------------

// A macro file name: ".lcm" appended when the name holds no ".".
std::string macro_file_name(std::string_view name) {
  return with_default_extension(name, ".lcm");
}

// Opens a macro file one level up; reports why when it cannot be.
bool start_macro(Lumiray& s, const std::string& name) {
  static const qx::Format kCannot{"(1H ,'Unable to open ',A)"};
  static const qx::Format kTooDeep{"(1H ,'?LUMIRAY - Macros nest at most ',I1,' deep; ',A,' is not started.')"};
  if (s.input.level() >= s.input.max_levels()) {
    s.out.write(kTooDeep, s.input.max_levels(), name);
    return false;
  }
  if (!s.input.push(name)) {
    s.out.write(kCannot, name);
    return false;
  }
  return true;
}

// The file name of a command's argument, as typed. A line cut at column 40 may have lost
// part of the name: it is refused and the command asks (or does nothing) as if blank.
std::string file_argument(Lumiray& s, const qx::CommandLine& line) {
  if (!line.cut) return line.typed_arg;
  s.out.write(kCutName);
  return std::string();
}

// ---------------------------------------------------------------------------------------
// Small commands
// ---------------------------------------------------------------------------------------
void cmd_menu(Lumiray& s, const qx::CommandLine& line);


void cmd_smear(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kNote{"(1H ,'This command is not active.')"};
  s.out.write(kNote);
}

void cmd_info(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kNote{"(1H ,'This command not active.',/)"};
  s.out.write(kNote);
}

void cmd_data(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kFailed{"(1H ,'Unable to open file: ',A)"};
  const std::string name = file_argument(s, line);
  if (lqio_open(s.lqio(), 'R', name) != 0 && !name.empty()) s.out.write(kFailed, ray_file_name(name));
}

void cmd_save(Lumiray& s, const qx::CommandLine& line) { lqio_open(s.lqio(), 'W', file_argument(s, line)); }

void cmd_fake(Lumiray& s, const qx::CommandLine& line) { fake_command(s, line); }

void cmd_clear(Lumiray& s, const qx::CommandLine& line) { qx::qxclr(s.qx, s.out, line.option); }

void cmd_at(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kMissing{"(1H ,A,' does not exist.')"};
  const std::string arg = file_argument(s, line);
  if (arg.empty()) {
    if (s.input.in_macro() && !line.cut) s.input.pop();
    return;
  }
  const std::string name = macro_file_name(arg);
  if (!qx::file_exists(name)) {
    s.out.write(kMissing, name);
    return;
  }
  start_macro(s, name);
}

void cmd_ntot(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kTotal{"(1H ,/,1H ,'Total number of ray vectors = ',I10,/)"};
  s.out.write(kTotal, s.ntot);
}

void cmd_flash(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kPrompt{"(1H ,'Delay in ms > ',$)"};
  static const qx::Format kDelays{"(1H ,'NDEL = ',I4,' NPER = ',I4)"};
  static const qx::Format kBad{"(1H ,'?LUMIRAY - The delay is a whole number of up to 6 digits.')"};
  if (line.option != 'D') {
    s.out.write(kDelays, s.ndel, s.nper);
    return;
  }
  while (true) {
    const std::optional<std::string> answer = ask_text(s.dialogue(), kPrompt);
    if (!answer) return;
    int delay = 0;
    if (qx::qxlen(*answer) <= 6 && qx::read_fixed_ints(*answer, 6, std::span<int>(&delay, 1)) == qx::ReadStatus::ok) {
      s.ndel = delay;
      return;
    }
    s.out.write(kBad);
  }
}

void cmd_rewind(Lumiray& s, const qx::CommandLine&) {
  if (s.input.in_macro()) s.input.current().rewind();
}

void cmd_exit(Lumiray& s, const qx::CommandLine&) { exit_program(s); }

void cmd_list(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kPrompt{"(1H ,'Filename to list > ',$)"};
  static const qx::Format kMissing{"(1H ,A,' does not exist.')"};
  static const qx::Format kLine{"(1H ,A)"};
  std::string name = file_argument(s, line);
  if (name.empty()) {
    const std::optional<std::string> answer = ask_file_name(s.dialogue(), kPrompt, kListAnswer);
    if (!answer || answer->empty()) return;
    name = *answer;
  }
  const std::unique_ptr<qx::FileInput> f = qx::FileInput::open(name, kListUnit);
  if (!f) {
    s.out.write(kMissing, name);
    return;
  }
  std::string rec;
  while (qx::read_record(*f, rec, kListRecord) == qx::ReadStatus::ok) s.out.write(kLine, qx::trim_right(rec));
}

void cmd_captio(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kCurrent{"(1H ,'Current caption : ',A)"};
  static const qx::Format kNew{"(1H ,'    New caption > ',$)"};
  s.out.write(kCurrent, qx::trim_right(s.caption));
  const std::optional<std::string> answer = ask_text(s.dialogue(), kNew);
  if (answer && qx::qxlen(*answer) > 0) s.caption = field(field(*answer, kCaptionAnswer), kCaptionLength);
}

// E, D, or the answer to the question when the option letter is neither.
std::optional<char> enable_or_disable(Lumiray& s, char option, const qx::Format& question) {
  if (option == 'E' || option == 'D') return option;
  if (option != ' ') return ' ';
  return ask_letter(s.dialogue(), question);
}

void cmd_colour(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kQuestion{"(1H ,'Enable or Disable colour > ',$)"};
  static const qx::Format kEnabled{"(1H ,'Colour enabled.')"};
  static const qx::Format kDisabled{"(1H ,'Colour disabled.')"};
  static const qx::Format kUnchanged{"(1H ,'Colour status unchanged.')"};
  const std::optional<char> c = enable_or_disable(s, line.option, kQuestion);
  if (!c) return;
  qx::set_switch(s.out, *c, s.colour, kEnabled, kDisabled, kUnchanged);
}

void cmd_values(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kHeader{"(1H ,A,A,A,A,A,A,A,/)"};
  static const qx::Format kRay{"(1H ,I2,4(1P,G13.5),1P,G12.5)"};
  static const qx::Format kNoSet{"(1H ,'?LUMIRAY - No ray file is open; use DATA or FAKE first.')"};
  if (!s.rays.reader) {
    s.out.write(kNoSet);
    return;
  }
  const long wanted = qx::int_part(line.number).value_or(0);
  const long n = wanted < 1 || wanted > s.ntot ? s.ntot : wanted;
  s.out.write(kHeader, " C", " ", "  Object X   ", "   Object Th  ", "   Object Y   ", "   Object Ph", "   Object DE");
  Ray r;
  for (long i = 1; i <= n; ++i) {
    if (!lqio_read(s.lqio(), i, r)) break;
    s.out.write(kRay, 0, r.x, r.th, r.y, r.ph, r.d);
  }
}

void cmd_icoul(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kPrompt{"(1H ,'Colour number > ',$)"};
  static const qx::Format kNote{"(1H ,'Not implemented in this version.')"};
  double colour = line.number;
  if (colour == 0.0) {
    const std::optional<double> answer = ask_fixed(s.dialogue(), [&] { s.out.write(kPrompt); });
    if (!answer) return;
    colour = *answer;
  }
  if (colour < 1.0) return;
  s.out.write(kNote);
}

void cmd_dotmod(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kQuestion{"(1H ,'Enable or Disable dot mode > ',$)"};
  static const qx::Format kEnabled{"(1H ,'Dot mode enabled.')"};
  static const qx::Format kDisabled{"(1H ,'Dot mode disabled.')"};
  static const qx::Format kUnchanged{"(1H ,'Dot mode unchanged.')"};
  if (line.number > kMinDotSize) s.dot_size = line.number;
  const std::optional<char> c = enable_or_disable(s, line.option, kQuestion);
  if (!c) return;
  qx::set_switch(s.out, *c, s.dot_mode, kEnabled, kDisabled, kUnchanged);
  static const qx::Format kSize{"(1H ,'DOT SIZE SET TO ',F10.5)"};
  s.out.write(kSize, s.dot_size);
}

void cmd_help(Lumiray& s, const qx::CommandLine& line) {
  qx::help_command(s.input.current(), s.out, line, s.help_file, "lumiray.hlp", LUMIRAY_SOURCE_HELP);
}

void cmd_delete(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kDeleted{"(1H ,A,' deleted.')"};
  static const qx::Format kFailed{"(1H ,A,' does not exist or cannot be opened.')"};
  const std::string name = file_argument(s, line);
  if (name.empty()) return;
  std::error_code ec;
  const bool plain = !std::filesystem::is_directory(name, ec);
  if (plain && std::filesystem::remove(name, ec))
    s.out.write(kDeleted, name);
  else
    s.out.write(kFailed, name);
}

void cmd_shell(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kError{"(1H ,'Error executing system command, Ierr = ',I10)"};
  s.out.flush();
  const int status = qx::qxshel(line.arg());
  if (status != 0) s.out.write(kError, status);
}

void cmd_comment(Lumiray&, const qx::CommandLine&) {}

void cmd_prev(Lumiray& s, const qx::CommandLine& line);

// The ray-set analyses of the shadow, dump, brightness and transfer family.
void cmd_shadow(Lumiray& s, const qx::CommandLine& line) { shadow_command(s, file_argument(s, line)); }
void cmd_find(Lumiray& s, const qx::CommandLine& line) { find_command(s, line, file_argument(s, line)); }
void cmd_deltae(Lumiray& s, const qx::CommandLine& line) { deltae_command(s, file_argument(s, line)); }
void cmd_diff(Lumiray& s, const qx::CommandLine& line) { diff_command(s, file_argument(s, line)); }
void cmd_dump(Lumiray& s, const qx::CommandLine& line) { dump_command(s, file_argument(s, line)); }
void cmd_trans(Lumiray& s, const qx::CommandLine& line) { trans_command(s, line, file_argument(s, line)); }

// The command table in its documented order: the order decides abbreviations.
constexpr std::array<Command, kCommandSlots> kCommands = {{
    {"MENU", cmd_menu},          {"SHADOW", cmd_shadow}, {"SMEAR", cmd_smear},
    {"INFO", cmd_info},          {"DATA", cmd_data},            {"FAKE", cmd_fake},
    {"CLEAR", cmd_clear},        {"@", cmd_at},                 {"PREV", cmd_prev},
    {"NTOT", cmd_ntot},          {"REG", reg_command},          {"ALOAD", aload_command},
    {"ILOAD", iload_command},    {"FLASH", cmd_flash},          {"REWIND", cmd_rewind},
    {"REGSAV", regsav_command},  {"REGLD", regld_command},      {"INCR", incr_command},
    {"EXIT", cmd_exit},          {"MAP", map_command},    {"STOP", stop_command},
    {"LIST", cmd_list},          {"SAVE", cmd_save},            {"SORT", sort_command},
    {"MAXIMA", maxima_command}, {"CAPTIO", cmd_captio},      {"COLOUR", cmd_colour},
    {"VALUES", cmd_values},      {"ICOUL", cmd_icoul},          {"DOTMOD", cmd_dotmod},
    {"HELP", cmd_help},          {"DELETE", cmd_delete},        {"DELTAE", cmd_deltae},
    {"$", cmd_shell},            {"!", cmd_comment},            {"FIND", cmd_find},
    {"MULE", cmd_dump}, {"TRANS", cmd_trans},  {"PROFIL", profile_command},
    {"PLOT", plot_command}, {"DUMP", cmd_dump},   {"DIFF", cmd_diff},
    {"SPOT", spot_command},
}};

constexpr std::array<std::string_view, kCommandSlots> command_words() {
  std::array<std::string_view, kCommandSlots> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = kCommands[i].word;
  return words;
}
constexpr std::array<std::string_view, kCommandSlots> kWords = command_words();

constexpr int index_of(std::string_view word) {
  for (int i = 0; i < kCommandSlots; ++i)
    if (kWords[static_cast<std::size_t>(i)] == word) return i;
  return -1;
}
constexpr int kPrevIndex = index_of("PREV");
constexpr int kDeleteIndex = index_of("DELETE");

void cmd_menu(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kHead{"(1H ,/,1H ,'LUMIRAY commands: ',/)"};
  static const qx::Format kRow{"(1H ,8(A,'  '))"};
  static const qx::Format kLastRow{"(1H ,4(A,'  '))"};
  s.out.write(kHead);
  std::array<std::string, kCommandSlots> slots;
  for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = field(kWords[i], 6);
  for (std::size_t row = 0; row + 8 <= slots.size(); row += 8)
    s.out.write(kRow, slots[row], slots[row + 1], slots[row + 2], slots[row + 3], slots[row + 4], slots[row + 5],
                slots[row + 6], slots[row + 7]);
  s.out.write(kLastRow, slots[56], slots[57], slots[58], slots[59]);
}

// Runs a parsed line: the library's commands first, then the table, then a macro file.
void dispatch(Lumiray& s, const qx::CommandLine& line) {
  static const qx::Format kUnknown{"(1H ,'?',A)"};
  static const qx::Format kMacro{"(1H ,'Executing a macro: ',A)"};
  const int index = qx::match_command(line.word(), kWords);
  if (index != kPrevIndex) {
    s.previous = line;
    s.has_previous = true;
  }
  const bool library = qx::qxcmd(s.qx, s.input.current(), s.out, s.echo(), line);
  if (index < 0) {
    if (library) return;
    const std::string name = macro_file_name(qx::trim_right(line.word()));
    if (qx::file_exists(name)) {
      s.out.write(kMacro, name);
      start_macro(s, name);
      return;
    }
    s.out.write(kUnknown, qx::trim_right(line.line));
    return;
  }
  // A line the library took as one of its own never also deletes a file.
  if (library && index == kDeleteIndex) return;
  kCommands[static_cast<std::size_t>(index)].run(s, line);
}

void cmd_prev(Lumiray& s, const qx::CommandLine&) {
  static const qx::Format kNone{"(1H ,'?LUMIRAY - There is no previous command.')"};
  if (!s.has_previous) {
    s.out.write(kNone);
    return;
  }
  const qx::CommandLine again = s.previous;
  dispatch(s, again);
}

void read_delays(Lumiray& s) {
  static const qx::Format kUsing{"(1H ,'Using delays from: lqsort.del.',/,1H ,'NDEL = ',I4,' NPER = ',I4)"};
  static const qx::Format kError{"(1H ,'%LUMIRAY - Error reading lqsort.del; delays not changed.')"};
  const std::unique_ptr<qx::FileInput> f = qx::FileInput::open(kDelayFile, kDelayUnit);
  if (!f) return;
  int delays[2] = {s.ndel, s.nper};
  if (qx::read_ints(*f, delays) != qx::ReadStatus::ok) {
    s.out.write(kError);
    return;
  }
  s.ndel = delays[0];
  s.nper = delays[1];
  s.out.write(kUsing, s.ndel, s.nper);
}

}  // namespace

void start_up(Lumiray& s) {
  static const qx::Format kBanner{"(1H ,'LUMIRAY - High Resolution Image Intensity Mapping',/,"
                                  "1H ,'             Version 2 (flux peaking)')"};
  static const qx::Format kLogin{"(1H ,/,1H ,'Executing the login macro ',A,/)"};
  load_registers(s);
  read_delays(s);
  s.out.write(kBanner);
  if (qx::file_exists(kLoginMacro)) {
    s.out.write(kLogin, kLoginMacro);
    start_macro(s, kLoginMacro);
  }
}

void run_line(Lumiray& s, std::string_view raw) {
  const qx::CommandLine line = qx::prepare_line(raw, s.qx);
  if (line.blank()) return;   // a blank line prompts again
  dispatch(s, line);
}

void run(Lumiray& s) {
  static const qx::Format kPrompt{"(1H ,A,$)"};
  static const qx::Format kEcho{"(1H ,A)"};
  std::string raw;
  while (s.running) {
    s.out.write(kPrompt, s.input.in_macro() ? "lumiray>_" : "lumiray> ");
    if (s.input.current().read_line(raw) != qx::ReadStatus::ok) {
      if (s.out.line_open()) s.out.put("\n");
      // The end of a macro returns to the level below; the end of the keyboard ends the
      // program as EXIT does.
      if (s.input.in_macro()) {
        s.input.pop();
        continue;
      }
      exit_program(s);
      break;
    }
    if (s.input.in_macro()) {
      const std::string shown(qx::trim_right(std::string_view(raw).substr(0, std::min(raw.size(), kLineLength))));
      s.out.write(kEcho, shown.empty() ? std::string(" ") : shown);
    }
    run_line(s, raw);
  }
  s.out.flush();
}

void exit_program(Lumiray& s) {
  lqio_open(s.lqio(), 'E', "");
  qx::close_plot_files(s.qx);
  s.running = false;
}

}  // namespace lumiray
