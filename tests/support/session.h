// Test helpers: scratch directories, files, and running a program on a script the way a
// user at a terminal or a macro would, capturing everything it prints.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qxtest {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;      // exit status of the program (-1 when it did not exit normally)
  std::string out;      // everything written to standard output
  std::string err;      // everything written to standard error
};

// Runs exe in dir with input on standard input (a pipe, not a terminal) and the given
// arguments. path_prefix, when not empty, is put in front of PATH (stand-in commands).
RunResult run_program(const std::string& exe, std::string_view input, const std::filesystem::path& dir,
                      const std::vector<std::string>& args = {}, const std::string& path_prefix = "");

// Paths of the programs and the shipped files.
std::string vorne_exe();
std::string lumiray_exe();
std::string fortran_exe(std::string_view name);   // a reference program of tests/fortran
std::filesystem::path test_data(std::string_view name);
std::filesystem::path example(std::string_view name);

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, std::string_view text);
std::vector<std::string> split_lines(std::string_view text);   // without the '\n's

}  // namespace qxtest
