#include "session.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qxtest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "qxtest.XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {

std::string shell_quote(std::string_view s) {
  std::string q = "'";
  for (const char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

}  // namespace

RunResult run_program(const std::string& exe, std::string_view input, const fs::path& dir,
                      const std::vector<std::string>& args, const std::string& path_prefix) {
  const TempDir io;   // keeps the captured streams out of the program's directory
  write_file(io / "stdin", input);
  std::string cmd = "cd " + shell_quote(dir.string()) + " && ";
  if (!path_prefix.empty()) cmd += "PATH=" + shell_quote(path_prefix) + ":\"$PATH\" ";
  cmd += shell_quote(exe);
  for (const auto& a : args) cmd += " " + shell_quote(a);
  cmd += " < " + shell_quote((io / "stdin").string());
  cmd += " > " + shell_quote((io / "stdout").string());
  cmd += " 2> " + shell_quote((io / "stderr").string());
  const int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
  r.out = read_file(io / "stdout");
  r.err = read_file(io / "stderr");
  return r;
}

std::string vorne_exe() { return VORNE_EXE; }
std::string lumiray_exe() { return LUMIRAY_EXE; }
std::string fortran_exe(std::string_view name) { return std::string(QX_FORTRAN_DIR) + "/" + std::string(name); }
fs::path test_data(std::string_view name) { return fs::path(QX_TEST_DATA_DIR) / name; }
fs::path example(std::string_view name) { return fs::path(QX_EXAMPLES_DIR) / name; }

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void write_file(const fs::path& p, std::string_view text) {
  std::ofstream f(p, std::ios::binary);
  f.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    out.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

}  // namespace qxtest
