// ELEMEN, COUPLE, INSERT, REMOVE, SQUEEZ and EFFECT: the commands that look at and change the
// element table row by row.
#include "app/edit_commands.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "session/walks.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"
#include "session/dialogue.h"
#include "system/editing.h"

namespace vorne {

namespace {

constexpr std::size_t kElementField = 2;    // "Element number > " is read as I2
constexpr std::size_t kNumberField = 12;    // INSERT/REMOVE read F12.0
constexpr int kElementNumberLimit = 999;    // I3 of the invalid-number message
constexpr double kEffectiveFactor = 1.1;    // effective length: 1.1 bore radii more
constexpr double kFlankFactor = 0.55;       // half of it from each flanking drift
constexpr std::string_view kParticleName = "Particle  ";
constexpr std::string_view kBeamName = "Beam data ";

const qx::Format kBlankLine{"(1H )"};

// Name shown for a row: the particle and beam rows have their own.
std::string_view row_name(int iz, const TypeCode& t) {
  if (iz == 1) return kParticleName;
  if (iz == 2) return kBeamName;
  return element_name(t.type);
}

// ---- ELEMEN ---------------------------------------------------------------------------------

// The row ELEMEN works on: the number given, or asked until it names a row. 0 on cancel.
int element_to_edit(Vorne& v, const qx::CommandLine& line) {
  const int izend = v.sys.izend;
  const std::optional<std::int64_t> typed = qx::int_part(line.number, -kElementNumberLimit, kElementNumberLimit);
  int n = typed ? static_cast<int>(*typed) : kElementNumberLimit;
  if (n >= 1 && n <= izend) return n;
  static const qx::Format kInvalid{"(1H ,'?VORNE - ',I3,' is not a valid element number, max = ',I2)"};
  if (n != 0) v.term.write(kInvalid, n, izend);
  for (;;) {
    static const qx::Format kAsk{"(1H ,'Element number > ',$)"};
    v.term.write(kAsk);
    if (read_int_answer(v, kElementField, n) != qx::Answer::accepted) return 0;
    if (n == 0) n = izend - 1;
    if (n >= 1 && n <= izend) return n;
    v.term.write(kInvalid, n, izend);   // asked again: only a row of the system can be edited
  }
}

void show_particle(Vorne& v, int p) {
  const LensSystem& s = v.sys;
  static const qx::Format kHead{"(1H ,10X,'ELEMENT - ',I2,'  Particle data',/,1H ,5(A,2X))"};
  v.term.write(kHead, p, heading(19), heading(20), heading(21), heading(22), heading(23));
  static const qx::Format kValues{"(1H ,F5.2,7X,4(F10.5,2X))"};
  v.term.write(kValues, s.p(p, 1), s.p(p, 2), s.p(p, 3), s.p(p, 4), s.p(p, 5));
}

void show_beam(Vorne& v, int p) {
  const LensSystem& s = v.sys;
  static const qx::Format kHead{"(1H ,10X,'ELEMENT - ',I2,' Beam Data',/,1H ,6(A,2X))"};
  v.term.write(kHead, p, heading(13), heading(14), heading(15), heading(16), heading(17), heading(18));
  static const qx::Format kValues{"(1H ,F5.2,7X,5(F10.5,2X))"};
  v.term.write(kValues, s.p(p, 1), s.p(p, 2), s.p(p, 3), s.p(p, 4), s.p(p, 5), s.p(p, 6));
}

void show_element(Vorne& v, int p, const TypeCode& t, const HeadingSelection& sel) {
  const LensSystem& s = v.sys;
  static const qx::Format kHead{"(1H ,10X,'ELEMENT - ',I2,1X,A,A,1X,A,/)"};
  v.term.write(kHead, p, supra_name(t.supra), polarity_name(t.polarity), element_name(t.type));
  std::vector<qx::FormatArg> names;
  std::vector<qx::FormatArg> values;
  for (int f = 1; f <= sel.count; ++f) {
    names.emplace_back(heading(sel.base + f));
    values.emplace_back(s.p(p, f));
  }
  static const qx::Format kHeadingLine{"(1H ,6(A,2X))"};
  v.term.put(kHeadingLine.render(names));
  v.term.write(kBlankLine);
  static const qx::Format kValues{"(1H ,6(1P,G10.3,2X))"};
  v.term.put(kValues.render(values));
  v.term.write(kBlankLine);
  if (t.polarity == 0) return;
  static const qx::Format kResults{
      "(1H ,6(A,2X),/,1H ,6(1P,G10.3,2X),/,1H ,2(A,2X),/,1H ,2(1P,G10.3,2X))"};
  v.term.write(kResults, heading(5), heading(6), heading(7), heading(8), heading(9), heading(10), s.p(p, 5),
               s.p(p, 6), s.p(p, 7), s.p(p, 8), s.p(p, 9), s.p(p, 10), heading(11), heading(12), s.p(p, 11),
               s.p(p, 12));
}

enum class NewData { yes, no, end };

// "New data? > ": yes for an answer beginning with Y or y.
NewData ask_new_data(Vorne& v) {
  static const qx::Format kAsk{"(1H ,'New data? > ',$)"};
  v.term.write(kAsk);
  std::string rec;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return NewData::end;
  const std::string answer(qx::trim_right(rec));
  if (v.echo()) v.term.list(answer.substr(0, 1));
  return !answer.empty() && (answer[0] == 'Y' || answer[0] == 'y') ? NewData::yes : NewData::no;
}

enum class CodeAnswer { stored, kept, ends_edit, again };

// A new packed type code typed for row p (3 and up).
CodeAnswer take_type_code(Vorne& v, int p, double code) {
  LensSystem& s = v.sys;
  if (code == 0.0) return CodeAnswer::kept;
  if (!valid_type_code(code) || unpack(code).type < kDipole) {
    static const qx::Format kIllegal{"(1H ,'%ELEM- ',F10.2,' Illegal type code')"};
    v.term.write(kIllegal, code);
    return CodeAnswer::again;
  }
  if (unpack(code).type == kSystemEnd) return CodeAnswer::ends_edit;
  static const qx::Format kKeepsEnd{"(1H ,'%ELEM- The System End keeps its type code 9.00.')"};
  if (p == s.izend) {   // the walk needs its end: the last row stays the System End
    v.term.write(kKeepsEnd);
    return CodeAnswer::ends_edit;
  }
  s.p(p, 1) = code;
  return CodeAnswer::stored;
}

// Column by column edit of row p. False when input ended (answers given so far stay).
bool edit_row(Vorne& v, int p) {
  LensSystem& s = v.sys;
  static const qx::Format kChanging{"(1H ,15X,'Changing element ',I2)"};
  v.term.write(kChanging, p);
  TypeCode t = s.type_at(p);
  HeadingSelection sel = headings_for(p == 1 ? kParticle : p == 2 ? kBeam : t.type, p <= 2 ? 0 : t.polarity);
  for (int f = 1; f <= sel.count; ++f) {
    if (p <= 2 && f == 1) {
      static const qx::Format kShown{"(1H ,11X,A,1X,A,' = ',2X,F6.2)"};
      v.term.write(kShown, row_name(p, t), heading(sel.base + 1), s.p(p, 1));
      continue;
    }
    // While its code is typed an electrostatic dipole shows the default heading.
    const std::string_view name =
        (f == 1 && t.type == kElectrostaticDipole) ? heading(1) : heading(sel.base + f);
    for (;;) {
      static const qx::Format kAsk{"(1H ,A,A,1X,A,1X,A,' = ',1P,G12.5,'  new > ',$)"};
      v.term.write(kAsk, supra_name(t.supra), polarity_name(t.polarity), row_name(p, t), name, s.p(p, f));
      double value = s.p(p, f);
      double unused = 0.0;
      const qx::Answer a = qx::qxread(v.in(), v.term, v.echo(), value, unused);
      if (a == qx::Answer::end) return false;
      if (a == qx::Answer::rejected) continue;
      if (f == 1) {
        const CodeAnswer c = take_type_code(v, p, value);
        if (c == CodeAnswer::again) continue;
        if (c == CodeAnswer::ends_edit) return true;
        t = s.type_at(p);
        sel = headings_for(t.type, t.polarity);
        break;
      }
      if (p == 1 && f == 5) {
        v.set_diagnostic(value);
      } else {
        s.p(p, f) = value;
      }
      if (p == 1 && f == 4) s.p(1, 12) = value;   // the energy SAVE writes follows
      break;
    }
  }
  return true;
}

// ---- INSERT, REMOVE ---------------------------------------------------------------------

// The element number of INSERT/REMOVE: the argument, or asked (F12.0). Empty on cancel.
std::optional<double> element_number(Vorne& v, const qx::CommandLine& line, const qx::Format& ask) {
  if (line.number > 0.0) return line.number;
  v.term.write(ask);
  std::string rec;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return std::nullopt;
  double value = 0.0;
  const qx::ReadStatus st = qx::read_fixed_reals(rec, kNumberField, std::span<double>(&value, 1));
  if (v.echo()) {
    if (st == qx::ReadStatus::ok)
      v.term.list(value);
    else
      v.term.list(std::string(qx::trim_right(rec)));
  }
  if (st != qx::ReadStatus::ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The row k of INSERT/REMOVE once the checks common to both passed; 0 when refused.
int checked_row(Vorne& v, double value) {
  const int izend = v.sys.izend;
  // The System End (and anything past it) can neither be removed nor have rows after it.
  if (value >= izend) {
    static const qx::Format kLast{"(1H ,'Last element is number ',I2)"};
    v.term.write(kLast, izend - 1);
    return 0;
  }
  return static_cast<int>(qx::int_part(value, 0, kRows).value_or(0));
}

void report_count_change(Vorne& v, int change) {
  system_walk(v, 1);
  static const qx::Format kChanged{"(1H ,'No. of elements changed by ',I2,' to ',I2)"};
  v.term.write(kChanged, change, v.sys.izend);
}

// ---- EFFECT -----------------------------------------------------------------------------

bool is_drift_code(double code) {
  const std::optional<std::int64_t> n = qx::nearest_int(code, -1000, 1000);
  return n && *n == kDrift;
}

// Shortens the flanking drift at row d by `by`; the messages name the lens at row r.
void shorten_flank(Vorne& v, int r, int d, double by, bool prior) {
  LensSystem& s = v.sys;
  if (!is_drift_code(s.p(d, 1))) {
    static const qx::Format kNoPrior{
        "(1H ,' No prior flanking drift on lens in position ',I2,', unable to accomodate effective length.')"};
    static const qx::Format kNoFollowing{
        "(1H ,' No following flanking drift of lens in position ',I2,', unable to accomodate effective length.')"};
    v.term.write(prior ? kNoPrior : kNoFollowing, r);
    return;
  }
  s.p(d, 2) -= by;
  if (s.p(d, 2) < 0.0) {
    static const qx::Format kPriorShort{
        "(1H ,'Prior flanking drift of lens in position ',I2,' not long enough, setting it to zero.')"};
    static const qx::Format kFollowingShort{
        "(1H ,'Following flanking drift of lens in position ',I2,' not long enough, setting it to zero.')"};
    v.term.write(prior ? kPriorShort : kFollowingShort, r);
    s.p(d, 2) = 0.0;
  }
}

}  // namespace

void cmd_elemen(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  system_walk(v, 1);
  const int p = element_to_edit(v, line);
  if (p == 0) return;
  const double length = s.total_length;

  const TypeCode t = s.type_at(p);
  if (p == 1) {
    show_particle(v, p);
  } else if (p == 2) {
    show_beam(v, p);
  } else {
    show_element(v, p, t, headings_for(t.type, t.polarity));
  }
  const NewData answer = ask_new_data(v);
  if (answer == NewData::end) return;
  if (answer == NewData::yes && !edit_row(v, p)) return;

  collect_groups(s, v.term);
  system_walk(v, 1);
  static const qx::Format kLengthChanged{"(1H ,'%System total length changed by ',1P,G10.3,' m.')"};
  if (s.total_length != length) v.term.write(kLengthChanged, s.total_length - length);
}

void cmd_couple(Vorne& v, const qx::CommandLine&) {
  constexpr int kFirstBlockRows = 20;
  constexpr int kSplitAt = 22;   // from this many rows on, two blocks
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  collect_groups(s, v.term);

  std::array<std::string, kRows + 1> labels;
  for (int i = 1; i <= s.izend; ++i) {
    const TypeCode t = s.type_at(i);
    std::string label = t.type == kParticle    ? "Pa"
                        : t.type == kSystemEnd ? "En"
                                               : std::string(type_name(t.type).substr(0, 2));
    if (t.polarity > 0) label[1] = 'm';
    if (t.polarity < 0) label[1] = 'e';
    labels[static_cast<std::size_t>(i)] = label;
  }
  auto block = [&](int from, int to) {
    std::vector<qx::FormatArg> l, c, k, r;
    for (int i = from; i <= to; ++i) {
      l.emplace_back(labels[static_cast<std::size_t>(i)]);
      c.emplace_back(static_cast<int>(qx::int_part(s.p(i, 1), -99, 999).value_or(0)));
      k.emplace_back(s.link(i));
      r.emplace_back(i);
    }
    static const qx::Format kLabels{"(1H ,'  Element> ',40(1X,A))"};
    v.term.put(kLabels.render(l));
    static const qx::Format kCodes{"(1H ,'Type-code> ',40(1X,I2))"};
    v.term.put(kCodes.render(c));
    static const qx::Format kLinks{"(1H ,'    Links> ',40(1X,I2))"};
    v.term.put(kLinks.render(k));
    static const qx::Format kRowNumbers{"(1H ,' Position> ',40(1X,I2))"};
    v.term.put(kRowNumbers.render(r));
  };
  if (s.izend >= kSplitAt) {
    block(1, kFirstBlockRows);
    static const qx::Format kGap{"(1H ,/)"};
    v.term.write(kGap);
    block(kFirstBlockRows + 1, s.izend);
  } else {
    block(1, s.izend);
  }
}

void cmd_insert(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  static const qx::Format kAsk{"(1H ,'After which element? > ',$)"};
  const std::optional<double> value = element_number(v, line, kAsk);
  if (!value || *value <= 0.0) return;
  if (*value > v.sys.izend) {
    checked_row(v, *value);   // says which is the last element
    return;
  }
  if (v.sys.izend + 1 > kRows) {
    static const qx::Format kFull{"(1H ,'System already of maximum number of elements')"};
    v.term.write(kFull);
    return;
  }
  const int k = checked_row(v, *value);
  if (k == 0) return;
  if (k <= 1) {
    static const qx::Format kNotThere{"(1H ,'Cannot insert an element there.')"};
    v.term.write(kNotThere);
    return;
  }
  insert_drift_after(v.sys, k);
  report_count_change(v, 1);
}

void cmd_remove(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  static const qx::Format kAsk{"(1H ,'Which element? > ',$)"};
  const std::optional<double> value = element_number(v, line, kAsk);
  if (!value || *value <= 0.0) return;
  const int k = checked_row(v, *value);
  if (k == 0) return;
  if (k <= 2) {
    static const qx::Format kNotThese{"(1H ,'Cannot remove beam or particle element.')"};
    v.term.write(kNotThese);
    return;
  }
  remove_row(v.sys, k);
  report_count_change(v, -1);
}

void cmd_squeez(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  squeeze_drifts(v.sys);
}

void cmd_effect(Vorne& v, const qx::CommandLine&) {
  if (!require_system(v)) return;
  LensSystem& s = v.sys;
  for (int r = kFirstElementRow; r < s.izend; ++r) {
    const TypeCode t = s.type_at(r);
    if (t.type != kQuadrupole) continue;
    const double a = s.p(r, 4);
    s.p(r, 2) += kEffectiveFactor * a;
    static const qx::Format kExtended{
        "(1H ,'Quadrupole lens in position ',I2,' extended by ',1P,G12.5,' m (1.1*[bore radius]).')"};
    v.term.write(kExtended, r, kEffectiveFactor * a);
    // A superimposed quadrupole is part of the lens before it: it grows with it, and the
    // drifts around that lens make room once, not once for every field laid on it.
    if (t.supra == 1) continue;
    int next = r + 1;
    while (next < s.izend && s.type_at(next).supra == 1) ++next;
    shorten_flank(v, r, r - 1, kFlankFactor * a, true);
    shorten_flank(v, r, next, kFlankFactor * a, false);
  }
}

}  // namespace vorne
