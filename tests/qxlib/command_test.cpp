#include "qx/command.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "qx/session.h"
#include "qx/text.h"
#include "qx/units.h"

namespace {

using qx::Answer;

// A 40-column canonical line from its word (columns 1-6) and argument (columns 8-40).
std::string canonical(std::string_view word, std::string_view arg) { return qx::pad(word, 7) + qx::pad(arg, 33); }

struct Parsed {
  qx::CommandLine c;
  std::string printed;   // what the parse wrote on the library output
};

Parsed parse(std::string_view line) {
  qx::StringOutput out;
  qx::Session s(out);
  Parsed p{qx::qxpars(line, s), ""};
  p.printed = out.text();
  return p;
}

// ---- QXPARS: word, option and argument text ----------------------------------------------

TEST(Qxpars, BlankLineGivesBlankLineNoOptionAndZero) {
  for (const std::string& text : {std::string(), std::string(3, ' '), std::string(40, ' ')}) {
    const Parsed p = parse(text);
    EXPECT_EQ(p.c.line, std::string(40, ' '));
    EXPECT_EQ(p.c.option, ' ');
    EXPECT_EQ(p.c.number, 0.0);
    EXPECT_TRUE(p.c.blank());
    EXPECT_EQ(p.printed, "");
  }
}

// Word, option, argument text and the argument as typed, for lines whose number (if any)
// is not rewritten.
TEST(Qxpars, SplitsWordOptionAndArgument) {
  struct Case {
    std::string typed;
    const char* word;
    char option;
    std::string arg;
    std::string typed_arg;
  } const cases[] = {
      {"elements", "ELEMEN", ' ', "", ""},                    // six characters of a word count
      {"cap  My title", "CAP", ' ', "My title", "My title"},  // the argument keeps its case
      {"PLOT/h", "PLOT", 'H', "", ""},
      {"A/B/C", "A", 'B', "", ""},
      {"PLOT/HP xy", "PLOT", 'H', "xy", "xy"},                // slash to end of word goes
      {"SAVE a/b.vrn", "SAVE", ' ', "a/b.vrn", "a/b.vrn"},    // a slash in the argument stays
      {"SET -X", "SET", ' ', "X", "-X"},                      // a lone sign is dropped
      {"SET +Y", "SET", ' ', "Y", "+Y"},
      {"DELETE -old.bin", "DELETE", ' ', "old.bin", "-old.bin"},
      {"V 12X", "V", ' ', "12X", "12X"},                      // abandoned scans keep their text
      {"V 1.5X", "V", ' ', "1.5X", "1.5X"},
      {"V 5E999", "V", ' ', "5E999", "5E999"},                // beyond double range: text
      {"V 0E999", "V", ' ', "0E999", "0E999"},
      {std::string(40, 'k'), "KKKKKK", ' ', "", ""},          // no blank: the line ends at 41
      {"PLOT/" + std::string(35, 'h'), "PLOT", 'H', "", ""},
      {"SAVE " + std::string(33, 'n') + ".vrn", "SAVE", ' ', std::string(33, 'n'), ""},
  };
  for (const Case& k : cases) {
    const qx::CommandLine c = parse(k.typed).c;
    EXPECT_EQ(c.line, canonical(k.word, k.arg)) << k.typed;
    EXPECT_EQ(c.option, k.option) << k.typed;
    if (!k.typed_arg.empty()) {
      EXPECT_EQ(c.typed_arg, k.typed_arg) << k.typed;
    }
  }
}

TEST(Qxpars, AbandonedScanGivesThePlainDigits) {
  EXPECT_EQ(parse("V 12X").c.number, 12.0);
  EXPECT_EQ(parse("V 1.5X").c.number, 15.0);
  EXPECT_EQ(parse("V -4;2").c.number, 4.0);   // no sign and no scaling either
  EXPECT_EQ(parse("V 5E999").c.number, 0.0);
}

TEST(Qxpars, TextPastColumn40IsBlankAndMarksTheLineCut) {
  const qx::CommandLine c = parse("SAVE " + std::string(33, 'n') + ".vrn").c;   // 42 characters
  EXPECT_TRUE(c.cut);
  EXPECT_EQ(c.typed_arg, std::string(33, 'n') + ".v");
  EXPECT_FALSE(parse(std::string(40, 'k')).c.cut);
  EXPECT_FALSE(parse("SAVE a.vrn" + std::string(60, ' ')).c.cut);
}

// ---- QXPARS: numbers ----------------------------------------------------------------------

// A typed number is the double nearest to the decimal written, as the compiler reads the
// same literal: no rounding of a power of ten in between.
TEST(Qxpars, NumbersAreTheNearestDoubleToWhatWasTyped) {
  struct Case {
    const char* line;
    double value;
  } const cases[] = {
      {"V 12.", 12.0},                          // ends in its point: not scaled
      {"V .5", 0.5},
      {"V 0.3", 0.3},
      {"V -.25", -0.25},
      {"V 1E-3", 1E-3},
      {"V 1.5D2", 150.0},
      {"V 2.0D-3", 2.0E-3},
      {"V 0.1", 0.1},
      {"V 6.02E-7", 6.02E-7},
      {"V 123456789.123456789", 123456789.123456789},
      {"V 3E5", 300000.0},
      {"V +7", 7.0},
      {"V 7E", 7.0},                            // empty exponent field
      {"V 2e 5", 200000.0},                     // exponent field "5  " moved right to "  5"
      {"V 6E+2", 600.0},
      {"V 3E12X", 3.0},                         // "12X" does not read as I3: exponent 0
      {"V 1E99", 1E99},
      {"V 1E-50", 1E-50},
      {"V 1.5.3", 15.3},                        // the last point counts
  };
  for (const Case& k : cases) {
    EXPECT_EQ(parse(k.line).c.number, k.value) << k.line;
  }
}

TEST(Qxpars, QuadExampleFromTheManual) {
  const Parsed p = parse("  quad  2.5");
  EXPECT_EQ(p.c.line.substr(0, 7), "QUAD   ");
  EXPECT_EQ(p.c.line.substr(7, 13), "   2.5000    ");
  EXPECT_EQ(p.c.line, canonical("QUAD", "   2.5000"));
  EXPECT_EQ(p.c.number, 2.5);
}

TEST(Qxpars, NumberIsRewrittenAs1PG13Point5AndTheRestKept) {
  struct Case {
    const char* line;
    const char* arg;
  } const cases[] = {
      {"V 12.", "   12.000"},
      {"V 1E-3", "  1.00000E-03"},
      {"V 1.5D2", "   150.00"},
      {"V -2", "  -2.0000"},
      {"V .", "  0.00000E+00"},                        // a point alone is zero
      {"V 2.5 mm", "   2.5000"},                       // text within 13 columns is overwritten
      {"V 1.23456789012345 TAIL", "   1.2346    345 TAIL"},
      {"V 1E40", "  1.00000E+40"},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(parse(k.line).c.line, canonical("V", k.arg)) << k.line;
  }
}

TEST(Qxpars, TypedArgumentKeepsWhatTheRewriteChanged) {
  Parsed p = parse("SAVE 2d.bin");
  EXPECT_EQ(p.c.typed_arg, "2d.bin");
  EXPECT_EQ(p.c.number, 2.0);   // 'd' starts an exponent field that does not read
  EXPECT_EQ(p.c.line, canonical("SAVE", "   2.0000"));
  EXPECT_EQ(parse("SAVE/X   2.5e3.vrn   ").c.typed_arg, "2.5e3.vrn");
}

TEST(Qxpars, HashFlipsTheTraceWhichPrintsEveryParsedLine) {
  qx::StringOutput out;
  qx::Session s(out);
  qx::qxpars("quad 2.5", s);
  EXPECT_EQ(out.text(), "");
  qx::qxpars("# on", s);   // the line that switches it on is traced itself
  EXPECT_TRUE(s.parser_trace);
  qx::qxpars("plot/h 2", s);
  qx::qxpars("#", s);      // and the one that switches it off is not
  qx::qxpars("exit", s);
  EXPECT_FALSE(s.parser_trace);
  EXPECT_EQ(out.text(), "#      /  " + qx::pad("on", 33) + "   0.00000E+00\n\n" +
                            "PLOT   /H " + qx::pad("   2.0000", 33) + "    2.0000    \n\n");
}

// ---- prepare_line ------------------------------------------------------------------------

TEST(PrepareLine, SignCharactersBecomeWordsOfTheirOwn) {
  qx::StringOutput out;
  qx::Session s(out);
  EXPECT_EQ(qx::prepare_line("   @setup", s).line, canonical("@", "setup"));
  EXPECT_EQ(qx::prepare_line("$ls -l", s).line, canonical("$", "ls -l"));
  EXPECT_EQ(qx::prepare_line("!date", s).line, canonical("!", "date"));
  EXPECT_EQ(qx::prepare_line("#x", s).word(), "#X    ");   // "#" is not one of them
}

TEST(PrepareLine, OnlyTheFirst40CharactersAreRead) {
  qx::StringOutput out;
  qx::Session s(out);
  const qx::CommandLine far = qx::prepare_line(std::string(38, ' ') + "DATA name.vrn", s);
  EXPECT_EQ(far.line, canonical("DA", ""));
  EXPECT_TRUE(far.cut);
  const qx::CommandLine edge = qx::prepare_line("@" + std::string(39, 'm'), s);   // the blank pushes column 40 out
  EXPECT_TRUE(edge.cut);
  EXPECT_EQ(edge.typed_arg, std::string(38, 'm'));
  EXPECT_FALSE(qx::prepare_line("@" + std::string(38, 'm'), s).cut);
  EXPECT_FALSE(qx::prepare_line("SAVE x.vrn\t\t", s).cut);
}

TEST(PrepareLine, HostileLinesNeverBreakTheLayout) {
  qx::StringOutput out;
  qx::Session s(out);
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  const std::vector<std::string> lines = {std::string(10000, 'x'), std::string(10000, ' ') + "9", bytes,
                                          std::string(40, '9'), "V " + std::string(38, '9'), "1e-99999",
                                          std::string(39, '.') + "E"};
  for (const std::string& raw : lines) {
    const qx::CommandLine c = qx::prepare_line(raw, s);
    EXPECT_EQ(c.line.size(), 40u);
    EXPECT_EQ(c.line[6], ' ');
    EXPECT_TRUE(std::isfinite(c.number));
  }
}

// ---- match_command -----------------------------------------------------------------------

TEST(MatchCommand, FirstEntryInTableOrderWinsForAnAbbreviation) {
  const std::vector<std::string_view> table = {"P",    "PTF",    "S",     "STIG",  "EXIT", "SAVE",
                                               "HELP", "THIRD",  "DATA",  "ELEMEN", "FISHK", "CRAM",
                                               "AB3",  "SMAT",   "SYSTEM", "QUAD",  "OCTU",  "SOLEN",
                                               "ACCEL", "RUSS",  "EXCITE", "CHROM", "VECTOR", "CAP",
                                               "DIAG", "COUPLE", "",      "",      "$"};
  struct Case {
    const char* word;
    int index;
  } const cases[] = {{"E", 4},      {"EX", 4},   {"EXC", 20}, {"C", 11},    {"CO", 25}, {"S", 2},
                     {"ST", 3},     {"SA", 5},   {"P", 0},    {"PT", 1},    {"ELEMEN", 9},
                     {"EXITX", -1}, {"ZZ", -1},  {"$", 28},   {"", -1},     {"      ", -1}};
  for (const Case& k : cases) {
    EXPECT_EQ(qx::match_command(k.word, table), k.index) << k.word;
  }
}

TEST(MatchCommand, WordFromAParsedLineMatches) {
  qx::StringOutput out;
  qx::Session s(out);
  const std::vector<std::string_view> table = {"MENU", "SHADOW", "SMEAR", "INFO", "DATA", "MAP", "REG"};
  EXPECT_EQ(qx::match_command(qx::qxpars("s/x 3", s).word(), table), 1);
  EXPECT_EQ(qx::match_command(qx::qxpars("ma", s).word(), table), 5);
  EXPECT_EQ(qx::match_command(qx::qxpars("shadows", s).word(), table), 1);   // six characters count
  EXPECT_EQ(qx::match_command(qx::qxpars("d", s).word(), table), 4);
}

// ---- QXREAD / QXRDST ---------------------------------------------------------------------

struct Read {
  Answer answer;
  double first;
  double second;
  std::string echoed;
};

Read read_answer(const std::string& input, bool echo = false, double first = -1.0, double second = -2.0) {
  qx::StringInput in(input);
  qx::StringOutput out;
  Read r{Answer::end, first, second, ""};
  r.answer = qx::qxread(in, out, echo, r.first, r.second);
  r.echoed = out.text();
  return r;
}

TEST(Qxread, AnswersSetOneOrTwoValues) {
  struct Case {
    const char* answer;
    double first;
    double second;
  } const cases[] = {
      {"", -1.0, -2.0},       {"    ", -1.0, -2.0}, {"3", 3.0, -2.0},      {"3,4", 3.0, 4.0},
      {"3 4", 3.0, 4.0},      {"3 , 4", 3.0, 4.0},  {"  3 ,, 4 9", 3.0, 4.0}, {"1E2 5", 100.0, 5.0},
      {"15", 15.0, -2.0},     {"1.5E3", 1500.0, -2.0}, {"3,", 3.0, -2.0},  {"-0.5 .25", -0.5, 0.25},
  };
  for (const Case& k : cases) {
    const Read r = read_answer(std::string(k.answer) + "\n");
    EXPECT_EQ(r.answer, Answer::accepted) << k.answer;
    EXPECT_EQ(r.first, k.first) << k.answer;
    EXPECT_EQ(r.second, k.second) << k.answer;
  }
}

TEST(Qxread, RejectionRestoresBothDefaults) {
  for (const char* answer : {",4", "3,x", "x", "3 -", "1..2 4", ", 3"}) {
    const Read r = read_answer(answer);
    EXPECT_EQ(r.answer, Answer::rejected) << answer;
    EXPECT_EQ(r.first, -1.0) << answer;
    EXPECT_EQ(r.second, -2.0) << answer;
  }
}

TEST(Qxread, EndOfInputIsNotARejection) {
  const Read r = read_answer("");
  EXPECT_EQ(r.answer, Answer::end);
  EXPECT_EQ(r.first, -1.0);
  EXPECT_EQ(r.second, -2.0);
  EXPECT_EQ(read_answer("\n").answer, Answer::accepted);   // an empty line is an answer
}

TEST(Qxread, FieldsAreReadWhole) {
  // Cut to 20 characters these would read as 0 and 1.2345678901234567.
  Read r = read_answer("0.0000000000000000000001 12345678901234567890123");
  EXPECT_EQ(r.answer, Answer::accepted);
  EXPECT_DOUBLE_EQ(r.first, 1E-22);
  EXPECT_DOUBLE_EQ(r.second, 12345678901234567890123.0);
  r = read_answer(std::string(79, '1'));   // a separator in column 80 only
  EXPECT_EQ(r.answer, Answer::accepted);
  EXPECT_EQ(r.second, -2.0);
  r = read_answer(std::string(80, '1'));   // no separator within 80 columns
  EXPECT_EQ(r.answer, Answer::rejected);
}

TEST(Qxread, TextPastColumn80IsRejectedNotLost) {
  EXPECT_EQ(read_answer(std::string(79, ' ') + "12").answer, Answer::rejected);
  EXPECT_EQ(read_answer("3 4" + std::string(200, ' ')).answer, Answer::accepted);
  EXPECT_EQ(read_answer(std::string(10000, '7')).answer, Answer::rejected);
}

TEST(Qxread, EchoPutsTheAnswerOnThePromptLine) {
  EXPECT_EQ(read_answer("  3 4   ", true).echoed, "+  3 4\n");
  EXPECT_EQ(read_answer("", true).echoed, "");      // end of input: nothing to echo
  EXPECT_EQ(read_answer("\n", true).echoed, "+ \n");   // at least one character
  EXPECT_EQ(read_answer("3 4", false).echoed, "");
}

TEST(Qxread, BinaryAnswersAreRejected) {
  std::string bytes;
  for (int i = 1; i < 256; ++i)
    if (i != '\n') bytes.push_back(static_cast<char>(i));
  EXPECT_EQ(read_answer(bytes).answer, Answer::rejected);
  EXPECT_EQ(read_answer(std::string("3\0 4", 4)).answer, Answer::rejected);
  EXPECT_EQ(read_answer("1E999").answer, Answer::rejected);   // no infinity reaches the caller
}

TEST(Qxrdst, ReadsAGivenText) {
  qx::StringOutput out;
  double a = 1.0;
  double b = 2.0;
  EXPECT_EQ(qx::qxrdst("7,8", out, true, a, b), Answer::accepted);
  EXPECT_EQ(a, 7.0);
  EXPECT_EQ(b, 8.0);
  EXPECT_EQ(qx::qxrdst("9 z", out, false, a, b), Answer::rejected);
  EXPECT_EQ(a, 7.0);
  EXPECT_EQ(b, 8.0);
  EXPECT_EQ(qx::qxrdst("", out, false, a, b), Answer::accepted);
  EXPECT_EQ(out.text(), "+7,8\n");
}

}  // namespace
