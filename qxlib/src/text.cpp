#include "qx/text.h"

#include "qx/format.h"
#include "qx/units.h"

namespace qx {

std::string pad(std::string_view s, std::size_t n) {
  std::string out(s.substr(0, n));
  out.resize(n, ' ');
  return out;
}

int qxlen(std::string_view text) {
  for (std::size_t i = text.size(); i > 0; --i) {
    const char c = text[i - 1];
    if (c != ' ' && c != '\t') return static_cast<int>(i);
  }
  return 0;
}

std::string_view trim_right(std::string_view s) { return s.substr(0, static_cast<std::size_t>(qxlen(s))); }

void qxlead(std::string& text, Output& msg) {
  std::size_t n = static_cast<std::size_t>(qxlen(text));
  if (n <= 1) return;
  if (n > 199) {
    n = 200;
    static const Format kTooLong{"(1H ,'Line too long in QXLEAD.',/)"};
    msg.write(kTooLong);
  }
  // Shifting left one place at a time, at most n-1 times, equals dropping the leading
  // blanks among the first n characters and refilling with blanks up to n.
  std::size_t first = 0;
  while (first < n - 1 && text[first] == ' ') ++first;
  if (first == 0) return;
  text.erase(0, first);
  text.insert(n - first, first, ' ');
}

void qxuppr(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

void qxlowr(std::string& text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

std::string upper(std::string_view text) {
  std::string s(text);
  qxuppr(s);
  return s;
}

}  // namespace qx
