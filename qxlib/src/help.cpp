// Help files, shell commands and the time of day.
#include "qx/help.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "qx/command.h"
#include "qx/format.h"
#include "qx/text.h"

namespace qx {

namespace {

constexpr std::size_t kHelpRecord = 80;    // help files are read as A80
constexpr std::size_t kFileField = 50;     // the help file name is a 50-character field
constexpr std::size_t kKeywordLength = 6;  // a help keyword is a 6-character field
constexpr std::size_t kNameWidth = 10;     // a listing name is at most 10 characters
constexpr int kNamesPerLine = 6;
constexpr int kLinesPerPage = 20;
constexpr int kHelpUnitOffset = 10;        // the help file is read one level above the input
constexpr int kScratchUnit = 72;
constexpr std::size_t kDateRecord = 29;    // the date command's line is read as A29
constexpr std::size_t kClockStart = 11;    // characters 12-19 hold hh:mm:ss
constexpr std::size_t kClockLength = 8;
constexpr int kRefusedCommand = -1;         // status of a command line never handed to the shell

const char* const kDateFile = "qxdate.tmp";
const char* const kDateCommand = "LC_ALL=C date > qxdate.tmp";   // C locale: fixed field positions

bool is_keyword_record(const std::string& rec) { return rec[0] == '#'; }

// The keyword list of a keyword record: without its "#" and an optional "*", upper case,
// padded to the record length.
std::string keyword_list(const std::string& rec) {
  const std::size_t skip = rec[1] == '*' ? 2 : 1;
  return upper(pad(std::string_view(rec).substr(skip), kHelpRecord));
}

// The listing name of a topic: its first word (up to a blank or comma), at most 10 characters.
std::string listing_name(const std::string& keywords) {
  const std::size_t end = keywords.find_first_of(" ,");
  return pad(keywords.substr(0, std::min(end, kNameWidth)), kNameWidth);
}

// A keyword matches a record when the first occurrence of its first L characters begins a
// word of the record (column 1, or after a blank or comma), so abbreviations work.
bool keyword_matches(const std::string& keywords, std::string_view key) {
  const std::size_t at = keywords.find(key);
  if (at == std::string::npos) return false;
  return at == 0 || keywords[at - 1] == ' ' || keywords[at - 1] == ',';
}

// The part of the 6-character keyword that is compared: up to its first blank.
std::string compared_keyword(std::string_view keyword) {
  const std::string key = upper(pad(keyword, kKeywordLength));
  return key.substr(0, std::min(key.find(' '), kKeywordLength));
}

// The help file as a sequence of records, read one ahead.
class HelpFile {
 public:
  explicit HelpFile(Input& in) : in_(in) { advance(); }
  bool more() const { return more_; }
  const std::string& record() const { return rec_; }
  bool at_keyword() const { return more_ && is_keyword_record(rec_); }
  void advance() { more_ = read_record(in_, rec_, kHelpRecord) == ReadStatus::ok; }
  void skip_keyword_group() {
    while (at_keyword()) advance();
  }

 private:
  Input& in_;
  std::string rec_;
  bool more_ = false;
};

// Writes the listing names six to a line; the line of the sixth is ended.
void list_keywords(HelpFile& file, Output& out) {
  static const Format kName{"(A,' ',$)"};
  static const Format kLastName{"(A)"};
  int names = 0;
  while (file.more()) {
    if (!file.at_keyword()) {
      file.advance();
      continue;
    }
    const std::string name = listing_name(keyword_list(file.record()));
    out.write(++names % kNamesPerLine == 0 ? kLastName : kName, name);
    file.skip_keyword_group();
    if (file.more()) file.advance();   // the topic's first text record
  }
}

// Shows every topic whose keywords match, in file order, pausing after every 20 lines when
// someone at a terminal reads it and answers. From a macro or a pipe the pause would take
// the next command line as its answer, so the whole topic is shown at once.
// Returns the number of matching topics, or -1 when the user quit at the pause.
int show_topics(HelpFile& file, Input& in, Output& out, std::string_view key) {
  static const Format kText{"(A)"};
  static const Format kMore{"(1H ,'Type RETURN for more...',$)"};
  const bool paging = in.interactive() && out.interactive();
  int matched = 0;
  int printed = 0;
  while (file.more()) {
    if (!file.at_keyword() || !keyword_matches(keyword_list(file.record()), key)) {
      file.advance();   // text of a topic not shown, or the next keyword record of a group
      continue;
    }
    ++matched;
    file.skip_keyword_group();
    for (; file.more() && !file.at_keyword(); file.advance()) {
      out.write(kText, trim_right(file.record()));
      if (!paging || ++printed % kLinesPerPage != 0) continue;
      out.write(kMore);
      std::string answer;
      // End of input at the pause ends the display like "q".
      if (read_record(in, answer, 1) != ReadStatus::ok || answer == "q" || answer == "Q") return -1;
    }
  }
  return matched;
}

bool is_clock(std::string_view t) {
  auto digit = [&](std::size_t i) { return t[i] >= '0' && t[i] <= '9'; };
  return t.size() == kClockLength && digit(0) && digit(1) && t[2] == ':' && digit(3) && digit(4) && t[5] == ':' &&
         digit(6) && digit(7);
}

}  // namespace

void qxhelp(Input& in, Output& out, int mode, std::string_view file, std::string_view keyword) {
  static const Format kNoFile{"(1H ,'No help information available,',/,1H ,A,' does not exist.')"};
  static const Format kOpenError{"(1H ,'Error opening ',A)"};
  static const Format kListHeading{"(/,1H ,'List of keywords for help information:',/)"};
  static const Format kEmpty{"(A)"};
  static const Format kNoTopic{"(/,/,1H ,'No help information available on ',A,/,/)"};

  const std::string name(trim_right(file));
  if (!file_exists(name)) {
    out.write(kNoFile, name);
    return;
  }
  const std::unique_ptr<FileInput> help = FileInput::open(name, in.unit() + kHelpUnitOffset);
  if (!help) {
    out.write(kOpenError, pad(file, kFileField));
    return;
  }
  HelpFile records(*help);
  const bool list = mode == 1;
  const std::string key = compared_keyword(keyword);
  int matched = 0;
  if (list) {
    out.write(kListHeading);
    list_keywords(records, out);
  } else {
    matched = show_topics(records, in, out, key);
    if (matched < 0) return;   // quit at "Type RETURN for more..."
  }
  out.write(kEmpty, "");
  if (list || matched > 0) return;
  const std::string shown = upper(pad(keyword, kKeywordLength));
  out.write(kNoTopic, trim_right(shown));
}

void help_command(Input& in, Output& out, const CommandLine& line, std::string& help_file,
                  std::string_view local_name, std::string_view built_name) {
  static const Format kNoFile{"(1H ,'No help information available,')"};
  static const Format kNotThere{"(1H ,A,' does not exist.')"};
  std::string topic = line.option == 'S' ? std::string() : std::string(trim_right(line.arg()));
  if (line.option == 'S' && qxlen(line.typed_arg) > 0) {
    if (line.cut) {   // the rest of the name is lost: a file of its first part is not wanted
      static const Format kCut{"(1H ,'Help file name cut at column 40; help file unchanged.')"};
      out.write(kCut);
    } else {
      help_file = std::string(trim_right(std::string_view(line.typed_arg).substr(0, kFileField)));
    }
  }
  if (topic.empty()) topic = "HELP";
  if (!file_exists(help_file)) {
    // The installed (or chosen) file, the current directory, the source tree's help folder.
    std::error_code ec;
    const std::string here = (std::filesystem::current_path(ec) / local_name).string();
    std::vector<std::string> places;
    if (help_file != local_name) places.push_back(help_file);
    places.push_back(here);
    if (!built_name.empty()) places.emplace_back(built_name);
    const auto found = std::find_if(places.begin(), places.end(), [](const std::string& p) { return file_exists(p); });
    if (found == places.end()) {
      out.write(kNoFile);
      for (const std::string& p : places) out.write(kNotThere, p);
      help_file = std::string(local_name);
      return;
    }
    help_file = *found == here ? std::string(local_name) : *found;
  }
  out.flush();
  qxhelp(in, out, line.option == 'B' ? 1 : 0, help_file, topic);
}

int qxshel(std::string_view text) {
  // The shell would see only the text before a NUL byte ("rm *\0.bak" would run "rm *").
  if (text.find('\0') != std::string_view::npos) return kRefusedCommand;
  std::fflush(nullptr);   // what was printed so far comes before what the command prints
  const std::string command(text);
  return std::system(command.c_str());
}

std::string qxtime() {
  std::string time(kClockLength, ' ');
  qxshel(kDateCommand);
  if (const std::unique_ptr<FileInput> f = FileInput::open(kDateFile, kScratchUnit)) {
    std::string rec;
    if (read_record(*f, rec, kDateRecord) == ReadStatus::ok) {
      const std::string clock = rec.substr(kClockStart, kClockLength);
      if (is_clock(clock)) time = clock;
    }
  }
  // The scratch file is ours: it goes whether or not it held a time.
  std::error_code ec;
  std::filesystem::remove(kDateFile, ec);
  return time;
}

}  // namespace qx
