// A session whose graphics destination is a scratch file, for reading back the byte stream, and
// the pieces the graphics tests share.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "qx/command.h"
#include "qx/session.h"
#include "qx/tek.h"
#include "qx/text.h"
#include "qx/units.h"
#include "session.h"

namespace qxtest {

class TekCapture {
 public:
  TekCapture() {
    s.dest.file = std::tmpfile();
    s.dest.name = "capture.tek";
  }
  // Everything written so far, after flushing the layer's buffer.
  std::string bytes() {
    qx::tek_byte(s, -1);
    std::FILE* f = s.dest.file;
    if (f == nullptr) return {};
    std::fflush(f);
    const long end = std::ftell(f);
    std::string data(static_cast<std::size_t>(end), '\0');
    std::rewind(f);
    const std::size_t got = std::fread(data.data(), 1, data.size(), f);
    data.resize(got);
    std::fseek(f, 0, SEEK_END);
    return data;
  }
  // The bytes written since the last call of fresh().
  std::string fresh() {
    const std::string all = bytes();
    std::string tail = all.substr(seen_);
    seen_ = all.size();
    return tail;
  }

  qx::StringOutput out;
  qx::Session s{out};

 private:
  std::size_t seen_ = 0;
};

// A scratch directory that is the current directory while the object lives: the plot
// writers put their files and run-number files there.
class InScratchDir {
 public:
  InScratchDir() : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir_.path()); }
  ~InScratchDir() { std::filesystem::current_path(old_); }
  InScratchDir(const InScratchDir&) = delete;
  InScratchDir& operator=(const InScratchDir&) = delete;
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::filesystem::path old_;
};

// A command line as the command reader hands it over: the word padded to 7 columns, then the
// argument, 40 columns in all.
inline qx::CommandLine cmd(std::string_view word, char option = ' ', double number = 0.0, std::string_view arg = "") {
  qx::CommandLine c;
  c.line = qx::pad(qx::pad(word, 7) + std::string(arg), 40);
  c.option = option;
  c.number = number;
  c.typed_arg = std::string(arg);
  return c;
}

inline std::string bytes_of(std::initializer_list<int> codes) {
  std::string b;
  for (const int c : codes) b.push_back(static_cast<char>(c));
  return b;
}

}  // namespace qxtest
