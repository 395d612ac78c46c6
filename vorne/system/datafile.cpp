// DATA, SAVE, the element line of the listing and the final run.
#include "system/datafile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "qx/format.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"

namespace vorne {

namespace {

constexpr int kParticleValues = 5;    // type code, charge, mass, energy, diagnostic level
constexpr int kBeamValues = 6;        // type code, four half extents/divergences, spread
constexpr int kElementValues = 4;     // type code and three parameters
constexpr int kElementColumn3 = 3;    // the field column, written in G form above 9999
constexpr double kLargeField = 9999.0;
constexpr std::int64_t kLevelLimit = 1000000000;   // a stored diagnostic level must be an int
constexpr std::string_view kEndMarker = "SENT";

// One list-directed record into columns 1..n of row iz. Every read starts on a new line and
// may go on over several; "/" leaves the remaining columns as they are (zero).
bool read_row(qx::Input& in, LensSystem& s, int iz, int n) {
  return qx::read_reals(in, std::span<double>(&s.p(iz, 1), static_cast<std::size_t>(n))) == qx::ReadStatus::ok;
}

// A value written with F12.6 when it fits, with 1P,G12.5 (which always fits) when not.
bool fits_f12_6(double value) { return qx::edit_f(value, 12, 6).find('*') == std::string::npos; }

// One record of SAVE: the type code in F5.2, three blanks, then each value after a comma.
// large_column: the index in values whose magnitude above 9999 takes the G form as well.
void write_record(qx::Output& out, double code, std::span<const double> values, int large_column = -1) {
  static const qx::Format kCode{"(1H ,0P,F5.2,'   ',$)"};
  static const qx::Format kFixed{"(',',0P,F12.6,$)"};
  static const qx::Format kGeneral{"(',',1P,G12.5,$)"};
  std::string rec = kCode.render({code_as_read(code)});
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double x = values[i];
    const bool large = static_cast<int>(i) == large_column && std::fabs(x) > kLargeField;
    rec += (large || !fits_f12_6(x)) ? kGeneral.render({x}) : kFixed.render({x});
  }
  rec += '\n';
  out.put(rec);
}

// The name of a row in the listing: rows whose type is no element (the particle row among
// them) are listed under the collimator's name.
constexpr int kNoElementListedAs = kCollimator;

std::string_view listing_name(const TypeCode& t) {
  if (t.type == kParticle || t.type > kLastNamedType) return type_name(kNoElementListedAs);
  return element_name(t.type);
}


}  // namespace

// ---- Reading and writing the file --------------------------------------------------------------

LoadResult read_system(qx::Input& in, LensSystem& s) {
  s.clear_table();
  std::string title;
  if (qx::read_record(in, title, kTitleLength) != qx::ReadStatus::ok) return LoadResult::read_error;
  s.title = title;
  if (title.compare(0, kEndMarker.size(), kEndMarker) == 0) return LoadResult::end_of_data;

  if (!read_row(in, s, 1, kParticleValues)) return LoadResult::read_error;
  if (code_class(s.p(1, 1)) != 0) return LoadResult::wrong_first_elements;
  if (!qx::nearest_int(s.p(1, 5), -kLevelLimit, kLevelLimit)) return LoadResult::read_error;
  s.p(1, 12) = s.p(1, 4);

  if (!read_row(in, s, 2, kBeamValues)) return LoadResult::read_error;
  for (int col = 2; col <= kBeamValues; ++col) s.p(2, col + 5) = s.p(2, col);
  if (code_class(s.p(2, 1)) != 1) return LoadResult::wrong_first_elements;

  // The System End must come by row 40; a longer file is refused before anything is written
  // past the table.
  for (int iz = kFirstElementRow; iz <= kRows; ++iz) {
    if (!read_row(in, s, iz, kElementValues)) return LoadResult::read_error;
    const int code = code_class(s.p(iz, 1));
    if (code < 0) return LoadResult::read_error;
    if (code == kSystemEnd) {
      s.izend = iz;
      return LoadResult::loaded;
    }
  }
  return LoadResult::read_error;
}

void write_system(qx::Output& out, const LensSystem& s) {
  static const qx::Format kTitle{"(1H ,A)"};
  static const qx::Format kOwnBlank{"(A)"};
  static const qx::Format kSentinel{"(1H ,'SENTINEL')"};
  // A title that already begins with a blank gets no second one, so repeated save and load
  // cycles do not push it to the right.
  // A carriage return at the end would read back as part of the line end.
  std::string_view title = qx::trim_right(s.title);
  while (!title.empty() && (title.back() == '\r' || title.back() == ' ' || title.back() == '\t'))
    title.remove_suffix(1);
  const std::string_view shown = title.empty() ? std::string_view(" ") : title;
  out.write(shown.front() == ' ' ? kOwnBlank : kTitle, shown);

  const std::array<double, kParticleValues - 1> particle = {s.p(1, 2), s.p(1, 3), s.p(1, 4), s.p(1, 5)};
  write_record(out, s.p(1, 1), particle);
  const std::array<double, kBeamValues - 1> beam = {s.p(2, 2), s.p(2, 3), s.p(2, 4), s.p(2, 5), s.p(2, 6)};
  write_record(out, s.p(2, 1), beam);
  for (int iz = kFirstElementRow; iz <= s.izend && iz <= kRows; ++iz) {
    std::array<double, kElementValues - 1> values = {s.p(iz, 2), s.p(iz, 3), s.p(iz, 4)};
    if (s.type_at(iz).type == kDrift) values[1] = values[2] = 0.0;   // a drift has a length only
    write_record(out, s.p(iz, 1), values, kElementColumn3 - 2);
  }
  out.write(kSentinel);
}

void write_beam_line(qx::Output& out, const LensSystem& s, int first) {
  static const qx::Format kBeamLine{"(1H ,/,1H ,1X,A,1X,2(G13.5,' UM  ',G13.5,' MR  '))"};
  out.write(kBeamLine, type_name(kBeam), s.p(2, first) * kMicrometresPerMetre,
            s.p(2, first + 1) * kMilliradiansPerRadian, s.p(2, first + 2) * kMicrometresPerMetre,
            s.p(2, first + 3) * kMilliradiansPerRadian);
}

void write_element_line(qx::Output& out, const LensSystem& s, int iz, int k) {
  static const qx::Format kLine{"(1H ,/,1H ,2X,I2,1X,A,F5.2,11(1X,1P,G11.4))"};
  if (iz == 2) {
    write_beam_line(out, s, 2);
    return;
  }
  const TypeCode t = s.type_at(iz);
  const int last = t.type == kDrift ? 2 : std::min(k, kColumns);
  std::vector<qx::FormatArg> args = {iz, listing_name(t), s.p(iz, 1)};
  for (int col = 2; col <= last; ++col) args.emplace_back(s.p(iz, col));
  out.put(kLine.render(args));
}

}  // namespace vorne
