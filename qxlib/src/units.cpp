#include "qx/units.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <readline/history.h>
#include <readline/readline.h>

namespace qx {

// ---------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------
void Output::put(std::string_view text) {
  if (text.empty()) return;
  line_open_ = text.back() != '\n';
  emit(text);
}

TerminalOutput::~TerminalOutput() { flush(); }

void TerminalOutput::emit(std::string_view text) {
  if (!hold_) {
    std::fwrite(text.data(), 1, text.size(), file_);
    return;
  }
  // Hold back whatever follows the last line end: it may be a prompt for the line editor.
  held_.append(text);
  const std::size_t end = held_.rfind('\n');
  if (end == std::string::npos) return;
  std::fwrite(held_.data(), 1, end + 1, file_);
  held_.erase(0, end + 1);
  std::fflush(file_);
}

void TerminalOutput::flush() {
  if (!held_.empty()) {
    std::fwrite(held_.data(), 1, held_.size(), file_);
    held_.clear();
  }
  std::fflush(file_);
}

bool TerminalOutput::interactive() const { return ::isatty(fileno(file_)) != 0; }

std::string TerminalOutput::take_open_line() {
  std::string line;
  line.swap(held_);
  std::fflush(file_);
  return line;
}

// ---------------------------------------------------------------------------------------
// FileOutput
// ---------------------------------------------------------------------------------------
FileOutput::FileOutput(std::FILE* f, std::filesystem::path path, std::filesystem::path temp, int unit)
    : Output(unit), file_(f), path_(std::move(path)), temp_(std::move(temp)) {}

std::unique_ptr<FileOutput> FileOutput::open(const std::filesystem::path& path, Mode mode, int unit) {
  std::FILE* f = nullptr;
  std::filesystem::path temp;
  switch (mode) {
    case Mode::create_new:
      f = std::fopen(path.c_str(), "wx");
      break;
    case Mode::replace:
      f = std::fopen(path.c_str(), "w");
      break;
    case Mode::append:
      f = std::fopen(path.c_str(), "a");
      break;
    case Mode::atomic: {
      if (path.empty() || std::filesystem::is_directory(path)) return nullptr;
      temp = temporary_name(path);
      f = std::fopen(temp.c_str(), "w");
      if (f == nullptr) temp.clear();
      break;
    }
  }
  if (f == nullptr) return nullptr;
  return std::unique_ptr<FileOutput>(new FileOutput(f, path, temp, unit));
}

FileOutput::~FileOutput() { close_and_discard(file_, temp_); }

void FileOutput::emit(std::string_view text) {
  if (file_ == nullptr) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

void FileOutput::flush() {
  if (file_ != nullptr && std::fflush(file_) != 0) failed_ = true;
}

bool FileOutput::commit() { return close_and_commit(file_, temp_, path_, failed_); }

std::filesystem::path temporary_name(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(::getpid());
  return temp;
}

bool close_and_commit(std::FILE*& f, std::filesystem::path& temp, const std::filesystem::path& path, bool& failed) {
  if (f == nullptr) return !failed;
  if (std::fclose(f) != 0) failed = true;
  f = nullptr;
  if (temp.empty()) return !failed;
  std::error_code ec;
  if (!failed) std::filesystem::rename(temp, path, ec);
  if (failed || ec) {
    std::filesystem::remove(temp, ec);
    temp.clear();
    return false;
  }
  temp.clear();
  return true;
}

void close_and_discard(std::FILE* f, const std::filesystem::path& temp) {
  if (f != nullptr) std::fclose(f);
  if (!temp.empty()) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
  }
}

// ---------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------
ReadStatus read_record(Input& in, std::string& rec, std::size_t width) {
  std::string line;
  const ReadStatus st = in.read_line(line);
  if (st != ReadStatus::ok) return st;
  line.resize(width, ' ');
  rec = std::move(line);
  return ReadStatus::ok;
}

namespace {

// One line from a stdio stream: ok with the line, eof at the end, error on an I/O error.
ReadStatus read_stdio_line(std::FILE* f, std::string& line) {
  line.clear();
  bool any = false;
  int c;
  while ((c = std::getc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < Input::kMaxRecord) line.push_back(static_cast<char>(c));
  }
  if (c == EOF) {
    if (std::ferror(f)) {
      std::clearerr(f);
      return ReadStatus::error;
    }
    if (!any) return ReadStatus::eof;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ReadStatus::ok;
}

}  // namespace

FileInput::FileInput(std::FILE* f, std::filesystem::path path, int unit)
    : Input(unit), file_(f), path_(std::move(path)) {}

std::unique_ptr<FileInput> FileInput::open(const std::filesystem::path& path, int unit) {
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(path, ec)) return nullptr;
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return nullptr;
  return std::unique_ptr<FileInput>(new FileInput(f, path, unit));
}

FileInput::~FileInput() {
  if (file_ != nullptr) std::fclose(file_);
}

ReadStatus FileInput::read_line(std::string& line) { return read_stdio_line(file_, line); }

bool FileInput::rewind() {
  std::clearerr(file_);
  return std::fseek(file_, 0, SEEK_SET) == 0;
}

ReadStatus StringInput::read_line(std::string& line) {
  line.clear();
  if (pos_ >= text_.size()) return ReadStatus::eof;
  std::size_t end = text_.find('\n', pos_);
  if (end == std::string::npos) end = text_.size();
  line.assign(text_, pos_, std::min(end - pos_, kMaxRecord));
  pos_ = end + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ReadStatus::ok;
}

KeyboardInput::KeyboardInput(TerminalOutput& terminal, std::FILE* f, int unit)
    : Input(unit), terminal_(terminal), file_(f), interactive_(::isatty(fileno(f)) && ::isatty(fileno(stdout))) {
  terminal_.set_hold_open_line(interactive_);
}

ReadStatus KeyboardInput::read_line(std::string& line) {
  if (!interactive_) {
    terminal_.flush();
    return read_stdio_line(file_, line);
  }
  const std::string prompt = terminal_.take_open_line();
  char* got = ::readline(prompt.c_str());
  if (got == nullptr) {
    std::fputc('\n', stdout);   // leave the terminal on a fresh line at end of input
    return ReadStatus::eof;
  }
  line.assign(got, std::min(std::strlen(got), kMaxRecord));
  if (line.find_first_not_of(" \t") != std::string::npos) ::add_history(got);
  std::free(got);
  return ReadStatus::ok;
}

// ---------------------------------------------------------------------------------------
// InputStack
// ---------------------------------------------------------------------------------------
InputStack::InputStack(std::unique_ptr<Input> keyboard, int max_macro_levels) : max_levels_(max_macro_levels) {
  levels_.push_back(std::move(keyboard));
}

Input& InputStack::current() { return *levels_.back(); }

bool InputStack::push(const std::filesystem::path& path) {
  if (level() >= max_levels_) return false;
  auto f = FileInput::open(path, 5 + 10 * (level() + 1));
  if (!f) return false;
  levels_.push_back(std::move(f));
  return true;
}

void InputStack::pop() {
  if (level() > 0) levels_.pop_back();
}

bool file_exists(const std::filesystem::path& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace qx
