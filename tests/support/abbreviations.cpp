#include "abbreviations.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "session.h"

namespace qxtest {

namespace {

std::string padded(std::string s, std::size_t n) {
  if (s.size() < n) s.resize(n, ' ');
  return s;
}

bool blank(const std::string& line) { return line.find_first_not_of(' ') == std::string::npos; }

// The first entry the word abbreviates, as both programs and the library match.
std::optional<std::string> first_match(const std::string& word, const std::vector<std::string>& table) {
  for (const std::string& entry : table)
    if (entry.compare(0, word.size(), word) == 0) return entry;
  return std::nullopt;
}

// The shortest beginning of `name` that selects it in `own` and, in `other`, selects
// nothing, itself, or a command that is skipped.
std::string alone(const std::string& name, const std::vector<std::string>& own, const std::vector<std::string>& other,
                  const std::set<std::string>& skipped) {
  for (std::size_t n = 1; n <= name.size(); ++n) {
    const std::string w = name.substr(0, n);
    const std::optional<std::string> o = first_match(w, other);
    if (first_match(w, own) == name && (!o || *o == name || skipped.count(*o))) return w;
  }
  return "-";
}

}  // namespace

std::vector<std::string> menu_words(const std::string& transcript, std::string_view heading) {
  const std::vector<std::string> lines = split_lines(transcript);
  auto at = std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.find(heading) != std::string::npos; });
  std::vector<std::string> words;
  if (at == lines.end()) return words;
  ++at;
  while (at != lines.end() && blank(*at)) ++at;
  for (; at != lines.end() && !blank(*at) && at->find('>') == std::string::npos; ++at) {
    std::istringstream row(*at);
    for (std::string w; row >> w;) words.push_back(w);
  }
  return words;
}

std::vector<std::string> overlap_rows(const std::vector<std::string>& library, const std::vector<std::string>& program,
                                      const std::set<std::string>& skipped) {
  struct Pair {
    std::string typed, lib, prog;
  };
  std::vector<Pair> pairs;
  for (const std::string& name : library) {
    for (std::size_t n = 1; n <= name.size(); ++n) {
      const std::string w = name.substr(0, n);
      if (first_match(w, library) != name) continue;
      const std::optional<std::string> p = first_match(w, program);
      if (!p || *p == name || skipped.count(*p)) continue;
      auto same = std::find_if(pairs.begin(), pairs.end(), [&](const Pair& q) { return q.lib == name && q.prog == *p; });
      if (same == pairs.end())
        pairs.push_back({w, name, *p});
      else
        same->typed += ", " + w;
    }
  }
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.typed < b.typed; });
  std::vector<std::string> rows;
  for (const Pair& p : pairs)
    rows.push_back(" " + padded(p.typed, 9) + padded(p.lib, 10) + padded(p.prog, 10) +
                   padded(alone(p.lib, library, program, skipped), 16) + alone(p.prog, program, library, {}));
  return rows;
}

std::vector<std::string> help_overlap_rows(const std::string& help_text) {
  const std::vector<std::string> lines = split_lines(help_text);
  auto at = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind(" typed ", 0) == 0; });
  std::vector<std::string> rows;
  if (at == lines.end()) return rows;
  for (++at; at != lines.end() && !blank(*at); ++at) rows.push_back(*at);
  return rows;
}

std::set<std::string> help_topics(const std::string& help_text) {
  std::set<std::string> topics;
  for (const std::string& rec : split_lines(help_text)) {
    if (rec.empty() || rec[0] != '#') continue;
    const std::string words = rec.substr(rec.size() > 1 && rec[1] == '*' ? 2 : 1);
    std::string first = words.substr(0, words.find_first_of(" ,"));
    std::transform(first.begin(), first.end(), first.begin(), [](unsigned char c) { return std::toupper(c); });
    topics.insert(first);
  }
  return topics;
}

const std::vector<std::string>& library_commands() {
  static const std::vector<std::string> names = {"CLEAR", "FONT", "TERM",  "MENU",  "DEFINE",
                                                 "LINE",  "DEST", "CLOSE", "CFLAG", "MARKS"};
  return names;
}

void expect_help_overlaps(const std::string& exe, const std::string& help_text, std::string_view heading,
                          const std::set<std::string>& skipped) {
  const TempDir dir;
  const RunResult r = run_program(exe, "MENU\nEXIT\n", dir.path());
  const std::vector<std::string> library = menu_words(r.out, "QXLIBRARY commands:");
  const std::vector<std::string> program = menu_words(r.out, heading);
  ASSERT_EQ(library, library_commands()) << r.out;
  ASSERT_GT(program.size(), 40u) << r.out;
  const std::vector<std::string> rows = overlap_rows(library, program, skipped);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(help_overlap_rows(help_text), rows);
  const std::set<std::string> topics = help_topics(help_text);
  for (const std::string& name : library) EXPECT_TRUE(topics.count(name)) << name;
  EXPECT_TRUE(topics.count("ABBREVIATIONS"));
}

}  // namespace qxtest
