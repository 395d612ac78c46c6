// Fixed-length text helpers used by every prompt and parser.
// Texts are std::string values of a fixed length, blank padded, as the programs' records are.
#pragma once

#include <string>
#include <string_view>

namespace qx {

class Output;

// s cut or blank padded to exactly n characters.
std::string pad(std::string_view s, std::size_t n);

// QXLEN: position (1-based) of the last character that is neither blank nor TAB; 0 if none.
int qxlen(std::string_view text);

// s without trailing blanks and TABs (its first qxlen characters).
std::string_view trim_right(std::string_view s);

// QXLEAD: left-justify text in place (leading blanks only; a TAB is kept). A text whose
// trimmed length is 200 or more prints "Line too long in QXLEAD." and an empty record on
// msg, and only its first 200 characters are treated.
void qxlead(std::string& text, Output& msg);

// QXUPPR / QXLOWR: ASCII letters to upper / lower case in place.
void qxuppr(std::string& text);
void qxlowr(std::string& text);
std::string upper(std::string_view text);

}  // namespace qx
