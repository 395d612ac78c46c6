// Input and output units.
//
// The programs talk to the keyboard, macro files, help files, the terminal and their own
// files through these few classes, so a test can drive a program with scripted input and
// capture what it writes. Unit numbers (5 keyboard, 6 terminal, 5 + 10 per macro level,
// 2 and 3 for listing and coefficient files ...) identify a unit in traces and messages;
// nothing is looked up by number.
#pragma once

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qx/format.h"

namespace qx {

enum class ReadStatus { ok, eof, error };

// ---------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------
class Output {
 public:
  explicit Output(int unit) : unit_(unit) {}
  virtual ~Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  int unit() const { return unit_; }

  // Raw text; '\n' ends a record.
  void put(std::string_view text);

  // Formatted records: out.write(kLayout, a, b, c).
  void write(const Format& f) { put(f.render(std::span<const FormatArg>())); }
  template <class... A>
  void write(const Format& f, const A&... args) {
    const FormatArg list[] = {FormatArg(args)...};
    put(f.render(std::span<const FormatArg>(list, sizeof...(A))));
  }

  // List-directed record: out.list("TEK4010/4 destination set to", name).
  template <class... A>
  void list(const A&... args) {
    const FormatArg items[] = {FormatArg(args)...};
    put(render_list(std::span<const FormatArg>(items, sizeof...(A))));
  }

  // True when the last record was left open by "$" (a prompt is waiting on its line).
  bool line_open() const { return line_open_; }

  virtual void flush() {}
  // True when the records go to a terminal that someone watches.
  virtual bool interactive() const { return false; }

 protected:
  virtual void emit(std::string_view text) = 0;

 private:
  int unit_;
  bool line_open_ = false;
};

// The user's terminal (standard output, unit 6). When the keyboard is a terminal with
// line editing, a prompt left open by "$" is held back and handed to the line editor,
// which draws it itself; otherwise everything is written at once.
class TerminalOutput : public Output {
 public:
  explicit TerminalOutput(std::FILE* f = stdout, int unit = 6) : Output(unit), file_(f) {}
  ~TerminalOutput() override;
  void flush() override;
  bool interactive() const override;
  void set_hold_open_line(bool hold) { hold_ = hold; }
  // The open line held back for the line editor; it is forgotten here.
  std::string take_open_line();

 protected:
  void emit(std::string_view text) override;

 private:
  std::FILE* file_;
  bool hold_ = false;
  std::string held_;
};

// Everything written, kept in memory (tests, and text built before it is placed).
class StringOutput : public Output {
 public:
  explicit StringOutput(int unit = 6) : Output(unit) {}
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 protected:
  void emit(std::string_view text) override { text_.append(text); }

 private:
  std::string text_;
};

// A formatted file.
class FileOutput : public Output {
 public:
  enum class Mode {
    create_new,   // fails when the file exists (Fortran STATUS='NEW')
    replace,      // creates or truncates
    append,       // creates or appends
    atomic        // writes "<name>.tmp<pid>" and renames it over the name at commit()
  };
  // nullptr when the file cannot be opened in that mode.
  static std::unique_ptr<FileOutput> open(const std::filesystem::path& path, Mode mode, int unit);
  ~FileOutput() override;   // closes; an uncommitted atomic file is removed
  void flush() override;
  // Finishes the file: closes it and, in atomic mode, renames it into place. False on an
  // I/O error (the old file is then untouched and the temporary file removed).
  bool commit();
  const std::filesystem::path& path() const { return path_; }

 protected:
  void emit(std::string_view text) override;

 private:
  FileOutput(std::FILE* f, std::filesystem::path path, std::filesystem::path temp, int unit);
  std::FILE* file_;
  std::filesystem::path path_;
  std::filesystem::path temp_;   // empty unless atomic
  bool failed_ = false;
};

// Replacing a file safely: the new contents go to a temporary file beside it, which takes the
// name only when everything was written. FileOutput's atomic mode and binary writers share it.
// The temporary name beside path: "<path>.tmp<pid>".
std::filesystem::path temporary_name(const std::filesystem::path& path);
// Closes f (left nullptr; nothing to do when it is already closed) and, when temp is not empty,
// renames temp over path. A failed write (failed), close or rename removes temp instead and
// leaves path as it was; a failed close sets failed. temp is cleared. True when all went well.
bool close_and_commit(std::FILE*& f, std::filesystem::path& temp, const std::filesystem::path& path, bool& failed);
// Closes f if it is open and removes temp if set: an unfinished replacement is dropped.
void close_and_discard(std::FILE* f, const std::filesystem::path& temp);

// ---------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------
class Input {
 public:
  explicit Input(int unit) : unit_(unit) {}
  virtual ~Input() = default;
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  int unit() const { return unit_; }

  // Next record without its line end (a trailing CR is dropped too). Lines of any length
  // are accepted; text beyond kMaxRecord characters is discarded.
  virtual ReadStatus read_line(std::string& line) = 0;
  // Back to the first record (REWIND); false when the unit cannot do it.
  virtual bool rewind() { return false; }
  // True when the records are typed at a terminal (not a macro, a pipe or a file).
  virtual bool interactive() const { return false; }

  static constexpr std::size_t kMaxRecord = 65536;

 private:
  int unit_;
};

// Reads a record with layout (Aw): its first w characters, blank padded to w.
ReadStatus read_record(Input& in, std::string& rec, std::size_t width);

// A text file (macro, help file, data file).
class FileInput : public Input {
 public:
  static std::unique_ptr<FileInput> open(const std::filesystem::path& path, int unit);
  ~FileInput() override;
  ReadStatus read_line(std::string& line) override;
  bool rewind() override;
  const std::filesystem::path& path() const { return path_; }

 private:
  FileInput(std::FILE* f, std::filesystem::path path, int unit);
  std::FILE* file_;
  std::filesystem::path path_;
};

// Records given as text (tests; answers handed over as a string).
class StringInput : public Input {
 public:
  explicit StringInput(std::string text, int unit = 5) : Input(unit), text_(std::move(text)) {}
  ReadStatus read_line(std::string& line) override;
  bool rewind() override {
    pos_ = 0;
    return true;
  }

 private:
  std::string text_;
  std::size_t pos_ = 0;
};

// Standard input. When it is a terminal, lines are read with GNU readline (editing and
// history), and the prompt held open on the terminal output is drawn by readline.
class KeyboardInput : public Input {
 public:
  explicit KeyboardInput(TerminalOutput& terminal, std::FILE* f = stdin, int unit = 5);
  ReadStatus read_line(std::string& line) override;
  bool interactive() const override { return interactive_; }

 private:
  TerminalOutput& terminal_;
  std::FILE* file_;
  bool interactive_;
};

// The keyboard plus the stack of open macro files above it.
class InputStack {
 public:
  InputStack(std::unique_ptr<Input> keyboard, int max_macro_levels);
  Input& current();
  int level() const { return static_cast<int>(levels_.size()) - 1; }
  bool in_macro() const { return level() > 0; }
  int unit() const { return 5 + 10 * level(); }
  int max_levels() const { return max_levels_; }
  // Opens an existing file as the next macro level; false (nothing changed) when the file
  // cannot be opened or all levels are in use.
  bool push(const std::filesystem::path& path);
  // Closes the current macro file; nothing at the keyboard level.
  void pop();

 private:
  std::vector<std::unique_ptr<Input>> levels_;
  int max_levels_;
};

// True when a file of that name exists (Fortran INQUIRE EXIST).
bool file_exists(const std::filesystem::path& path);

}  // namespace qx
