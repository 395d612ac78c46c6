// The words that run a graphics-library command and a program command together, derived
// from the two command tables the way both are matched: the first entry, in table order,
// that the typed word begins.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qxtest {

// The command words a MENU listing prints under its heading, in table order.
std::vector<std::string> menu_words(const std::string& transcript, std::string_view heading);

// One row per library/program pair that some typed word runs together, in the help file's
// layout: typed words, library command, program command, the shortest word that runs only
// the library command, the shortest that runs only the program command. Program commands
// in `skipped` are not run on a line the library took; pairs of equal names are left out.
std::vector<std::string> overlap_rows(const std::vector<std::string>& library, const std::vector<std::string>& program,
                                      const std::set<std::string>& skipped);

// The rows of the help file's abbreviation table: the lines after the one beginning with
// " typed " up to the next empty line.
std::vector<std::string> help_overlap_rows(const std::string& help_text);

// The first word of every keyword record of a help file, upper case.
std::set<std::string> help_topics(const std::string& help_text);

// The library's command table as MENU lists it.
const std::vector<std::string>& library_commands();

// Runs MENU in the program, checks the library's table and compares the help file's
// abbreviation table with the rows the two tables give; every library command must have a
// topic of its own.
void expect_help_overlaps(const std::string& exe, const std::string& help_text, std::string_view heading,
                          const std::set<std::string>& skipped);

}  // namespace qxtest
