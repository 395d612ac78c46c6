// PARASI, and the report parts of ROTN and DISP.
#include "reports/sensitivity.h"

#include <cctype>
#include <cmath>
#include <vector>

#include "optics/snapshot.h"
#include "optics/third_order.h"
#include "system/editing.h"
#include "qx/format.h"
#include "session/walks.h"

namespace vorne {

namespace {

// Single-precision constants of the reports.
constexpr double kTiny = static_cast<double>(1.0E-10f);
constexpr double kDefaultFraction = static_cast<double>(0.05f);
constexpr double kRadPerDegree = static_cast<double>(0.0175f);
constexpr double kDefaultOffset = static_cast<double>(0.001f);
constexpr double kUnitField = 1.0;
constexpr double kNoField = 1.0E-10;
constexpr int kSextupoleOrder = 2;
constexpr int kOctupoleOrder = 3;
constexpr double kOctupoleFactor = 20.0;  // octupole fields are tried twenty times larger

// The quadrupoles the reports perturb: rows 3 to izend of type 4 that are not superimposed.
std::vector<int> report_quadrupoles(const LensSystem& s) {
  std::vector<int> rows;
  for (int iz = kFirstElementRow; iz <= std::min(s.izend, kRows); ++iz) {
    const TypeCode t = s.type_at(iz);
    if (t.type == kQuadrupole && t.supra != 1) rows.push_back(iz);
  }
  return rows;
}

// ---- PARASI ----------------------------------------------------------------------------------

// The working table of one order: the existing multipoles of that order switched off.
LensSystem without_multipoles(const LensSystem& saved, int order) {
  LensSystem s = saved;
  const int kind = order == kSextupoleOrder ? kSextupole : kOctupole;
  for (int iz = kFirstElementRow; iz <= std::min(s.izend, kRows); ++iz)
    if (s.type_at(iz).type == kind) s.p(iz, 3) = 0.0;
  return s;
}

// Inserts the parasitic row after the quadrupole at iz of base (with its side arrays moved
// along); returns its field.
double insert_parasitic(Vorne& v, const LensSystem& base, int iz, int order, double fraction) {
  LensSystem& s = v.sys;
  s = base;
  const int end = std::min(base.izend, kRows - 1);
  for (int r = end; r > iz; --r) copy_row(base, r, s, r + 1);
  if (std::fabs(s.p(iz, 3)) < kNoField) s.p(iz, 3) = kUnitField;
  const int row = iz + 1;
  const bool magnetic = s.type_at(iz).polarity > 0;
  const double code = order == kSextupoleOrder ? (magnetic ? 26.0 : 36.0) : (magnetic ? 28.0 : 38.0);
  s.p(row, 1) = code;
  for (int c = 2; c <= kColumns; ++c) s.p(row, c) = s.p(iz, c);
  s.p(row, 3) = s.p(iz, 3) * fraction;
  s.rotation(row) = 0.0;
  s.dx(row) = s.dy(row) = 0.0;
  s.link(row) = 0;
  s.izend = base.izend + 1;
  return s.p(row, 3);
}

ThirdOrderSet reduced_system(Vorne& v) { return magnification_included(v.walk.total, mag(v, v.sys.izend)); }

void parasitic_order(Vorne& v, const LensSystem& saved, int order, double percent) {
  static const qx::Format kOctHeader{
      "(1H ,/,1H ,'Reduced Parasitic Octupole Aberration Coefficients:',' (micron/millirad^3/%)',/)"};
  static const qx::Format kSextHeader{
      "(1H ,/,1H ,'Reduced Parasitic Sextupole Aberration Coefficients:',' (m/rad^2/%)',/)"};
  v.term.write(order == kOctupoleOrder ? kOctHeader : kSextHeader);
  // The existing multipoles stay off for every quadrupole's run, so each line shows the
  // parasitic lens alone.
  const LensSystem base = without_multipoles(saved, order);
  ThirdOrderSet reference;
  if (order == kOctupoleOrder) {
    v.sys = base;
    system_walk(v, 3, false);
    reference = reduced_system(v);
  }
  double fraction = percent > kTiny ? percent / 100.0 : kDefaultFraction;
  if (order == kOctupoleOrder) fraction *= kOctupoleFactor;

  const std::vector<int> quads = report_quadrupoles(base);
  for (std::size_t n = 0; n < quads.size(); ++n) {
    const int iz = quads[n];
    const double field = insert_parasitic(v, base, iz, order, fraction);
    const double pct = field * 100.0 / v.sys.p(iz, 3);
    system_walk(v, order, false);
    static const qx::Format kLens{
        "(1H ,'Quadrupole lens ',I2,' in position ',I2,' Parasitic lens field ',1P,G12.5,' (',0P,F7.2,'%)')"};
    v.term.write(kLens, static_cast<int>(n) + 1, iz, field, pct);
    if (order == kSextupoleOrder) {
      const Mat14& s2 = v.walk.s2;
      static const qx::Format kSext{
          "(1H ,'  (X/TH2S)  ',1P,G13.5,'   (Y/TH2S)  ',1P,G13.5,/,1H ,'  (X/THPHS) ',1P,G13.5,'   (Y/THPHS) ',1P,G13.5,/,"
          "1H ,'  (X/PH2S)  ',1P,G13.5,'   (Y/PH2S)  ',1P,G13.5,/)"};
      v.term.write(kSext, s2(1, 9) / pct, s2(3, 9) / pct, s2(1, 11) / pct, s2(3, 11) / pct, s2(1, 14) / pct,
                   s2(3, 14) / pct);
    } else {
      const ThirdOrderSet r = reduced_system(v);
      static const qx::Format kOct{
          "(1H ,'  (X/TH3O)   ',1P,G13.5,'   (Y/PH3O)   ',1P,G13.5,/,1H ,'  (X/THPH2O) ',1P,G13.5,'   (Y/TH2PHO) ',1P,"
          "G13.5,/)"};
      v.term.write(kOct, (r(1, 1) - reference(1, 1)) / pct, (r(2, 1) - reference(2, 1)) / pct,
                   (r(1, 2) - reference(1, 2)) / pct, (r(2, 2) - reference(2, 2)) / pct);
    }
    v.sys = base;
  }
}

}  // namespace

void parasitic_report(Vorne& v, char kind, double percent) {
  if (!v.sys.loaded()) return;
  system_walk(v, 3, false);
  if (v.sys.izend >= kRows) {
    static const qx::Format kFull{"(1H ,'?PARASI- No room for a parasitic lens: the table holds ',I2,' rows.')"};
    v.term.write(kFull, v.sys.izend);
    return;
  }
  const SystemSnapshot snapshot(v.sys, v.walk);
  if (kind != 'O') parasitic_order(v, snapshot.saved_system(), kSextupoleOrder, percent);
  if (kind != 'S') parasitic_order(v, snapshot.saved_system(), kOctupoleOrder, percent);
}

// ---- ROTN ------------------------------------------------------------------------------------

void rotational_report(Vorne& v, char letter, double angle) {
  if (!v.sys.loaded()) return;
  const double scale = letter == 'D' ? kRadPerDegree : 1.0;
  const double r = angle > kTiny ? angle * kRadPerDegree : kRadPerDegree;
  system_walk(v, 1, false);
  {
    const SystemSnapshot snapshot(v.sys, v.walk);
    LensSystem& s = v.sys;
    for (int iz = 1; iz <= kRows; ++iz) s.rotation(iz) = 0.0;
    static const qx::Format kHeader{
        "(1H ,/,1H ,'Rotational aberration coefficients (',1P,G12.5,' deg) :',/,/,"
        "1H ,'Quadrupole       Position     (x/ph.rho)','        (y/th.rho)',/)"};
    v.term.write(kHeader, r / kRadPerDegree);
    const std::vector<int> quads = report_quadrupoles(s);
    for (std::size_t n = 0; n < quads.size(); ++n) {
      const int iz = quads[n];
      s.rotation(iz) = r;
      system_walk(v, 1, false);
      static const qx::Format kLine{"(1H ,3X,I2,15X,I2,9X,1P,G12.5,6X,1P,G12.5)"};
      v.term.write(kLine, static_cast<int>(n) + 1, iz, scale * v.walk.s(1, 4) / r, scale * v.walk.s(3, 2) / r);
      s.rotation(iz) = 0.0;
    }
  }
  static const qx::Format kPerDegree{"(1H ,/,1H ,'                Units: m/rad/degree',/)"};
  static const qx::Format kPerRadian{"(1H ,/,1H ,'                Units: m/rad^2',/)"};
  v.term.write(letter == 'D' ? kPerDegree : kPerRadian);
}

// ---- DISP ------------------------------------------------------------------------------------

void displacement_aberration_report(Vorne& v, double offset) {
  if (!v.sys.loaded()) return;
  LensSystem& s = v.sys;
  const double d = offset > kTiny ? offset : kDefaultOffset;
  const float df = static_cast<float>(d);
  // The offsets are kept in single precision while the report runs.
  std::vector<float> keep_dx(kRows + 1);
  std::vector<float> keep_dy(kRows + 1);
  for (int iz = 1; iz <= kRows; ++iz) {
    keep_dx[static_cast<std::size_t>(iz)] = static_cast<float>(s.dx(iz));
    keep_dy[static_cast<std::size_t>(iz)] = static_cast<float>(s.dy(iz));
    s.dx(iz) = s.dy(iz) = 0.0;
  }
  auto put_back_offsets = [&]() {
    for (int iz = 1; iz <= kRows; ++iz) {
      s.dx(iz) = keep_dx[static_cast<std::size_t>(iz)];
      s.dy(iz) = keep_dy[static_cast<std::size_t>(iz)];
    }
  };
  const std::vector<int> quads = report_quadrupoles(s);
  SystemSnapshot snapshot(v.sys, v.walk);
  for (int order = 1; order <= 3; ++order) {
    system_walk(v, order, false);
    const float x0 = static_cast<float>(s.p(2, 2));
    const float y0 = static_cast<float>(s.p(2, 4));
    static const qx::Format kHeader{
        "(1H ,/,1H ,I2,' Order displacement aberration coefficients (offset ',1P,G12.5,' mm) :',/,/,"
        "1H ,'Quadrupole       Position     (x/a)','        (y/b)',/)"};
    v.term.write(kHeader, order, d * 1000.0);
    for (std::size_t n = 0; n < quads.size(); ++n) {
      const int iz = quads[n];
      s.dx(iz) = d;
      system_walk(v, order, false);
      const float xa = (static_cast<float>(s.p(2, 7)) - x0) / df;
      s.dx(iz) = 0.0;
      s.dy(iz) = d;
      system_walk(v, order, false);
      const float yb = (static_cast<float>(s.p(2, 9)) - y0) / df;
      s.dy(iz) = 0.0;
      static const qx::Format kLine{"(1H ,3X,I2,15X,I2,9X,1P,G12.5,6X,1P,G12.5)"};
      v.term.write(kLine, static_cast<int>(n) + 1, iz, static_cast<double>(xa), static_cast<double>(yb));
    }
    put_back_offsets();
    static const qx::Format kUnits{"(1H ,/,1H ,'                Units: m/m',/)"};
    v.term.write(kUnits);
  }
  // The table and the last walk's results come back as they were before; the offsets as kept.
  LensSystem& back = snapshot.saved_system();
  for (int iz = 1; iz <= kRows; ++iz) {
    back.dx(iz) = keep_dx[static_cast<std::size_t>(iz)];
    back.dy(iz) = keep_dy[static_cast<std::size_t>(iz)];
  }
}

// ---- Command handlers ------------------------------------------------------------------------------

namespace {

// The report's letter and number from a command line: the letter is the option letter, or a
// letter written as the argument ("ROTN/D 2", "ROTN D 2"); the number is the line's number, or
// the one written after that letter. False (after the reader's message) for a bad number.
bool letter_and_number(Vorne& v, const qx::CommandLine& line, char& letter, double& number) {
  const char arg = line.arg_letter();
  const bool letter_argument = std::isalpha(static_cast<unsigned char>(arg)) != 0;
  letter = line.option != ' ' ? line.option : (letter_argument ? arg : ' ');
  number = line.number;
  if (!letter_argument || line.typed_arg.size() < 2) return true;
  double unused = 0.0;
  number = 0.0;
  return qx::qxrdst(line.typed_arg.substr(1), v.term, false, number, unused) != qx::Answer::rejected;
}

}  // namespace

void cmd_parasi(Vorne& v, const qx::CommandLine& line) {
  char kind = ' ';
  double percent = 0.0;
  if (letter_and_number(v, line, kind, percent)) parasitic_report(v, kind, percent);
}

void rotation_report(Vorne& v, const qx::CommandLine& line) {
  char letter = ' ';
  double angle = 0.0;
  if (letter_and_number(v, line, letter, angle)) rotational_report(v, letter, angle);
}

void displacement_report(Vorne& v, const qx::CommandLine& line) {
  char letter = ' ';
  double offset = 0.0;
  if (letter_and_number(v, line, letter, offset)) displacement_aberration_report(v, offset);
}

}  // namespace vorne
