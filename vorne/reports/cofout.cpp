// COFOUT and the records of the coefficient file.
#include "reports/cofout.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <vector>

#include "optics/third_order.h"
#include "qx/format.h"
#include "qx/text.h"
#include "qx/units.h"
#include "reports/integrated_report.h"
#include "session/dialogue.h"
#include "session/walks.h"

namespace vorne {

namespace {

using qx::kCofUnit;
constexpr int kThirdOrderMode = 3;                // the walk COFOUT runs first

// The magnification-included set is in micrometres per milliradian power; these factors
// take coefficient j back to metres per radian power, the units the ray map works in.
constexpr std::array<double, 10> kBackToSi = {1.0E3, 1.0E3, 1.0E6, 1.0E6, 1.0E6,
                                              1.0E9, 1.0E9, 1.0E9, 1.0E12, 1.0E12};

// A file created by this command: removed again unless it was finished, so a cancelled or
// failed COFOUT never leaves half a coefficient file that the ray-trace program would read.
class NewFile {
 public:
  explicit NewFile(std::unique_ptr<qx::FileOutput> file) : file_(std::move(file)), path_(file_->path()) {}
  ~NewFile() {
    if (kept_) return;
    file_.reset();
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  bool finish(std::string_view text) {
    file_->put(text);
    kept_ = file_->commit();
    return kept_;
  }

 private:
  std::unique_ptr<qx::FileOutput> file_;
  std::filesystem::path path_;
  bool kept_ = false;
};

// One answer record, trailing blanks removed, echoed in a macro; empty at the end of input.
std::optional<std::string> read_answer(Vorne& v) {
  std::string rec;
  if (v.in().read_line(rec) != qx::ReadStatus::ok) return std::nullopt;
  std::string text(qx::trim_right(rec));
  if (v.echo()) v.term.list(text);
  return text;
}

std::string trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(qx::trim_right(s.substr(first)));
}

// The name typed at the prompt: at most 13 characters. A longer answer is asked again, since
// cutting it would name another file. Empty: a blank answer; nothing: the input ended.
std::optional<std::string> ask_name(Vorne& v) {
  for (;;) {
    static const qx::Format kAsk{"(1H ,'Filename for output > ',$)"};
    v.term.write(kAsk);
    const std::optional<std::string> answer = read_answer(v);
    if (!answer) return std::nullopt;
    std::string name = trim(*answer);
    if (name.size() <= kCofAnswerLength) return name;
    static const qx::Format kTooLong{"(1H ,'?COFOUT- File name longer than ',I2,' characters: ',A)"};
    v.term.write(kTooLong, static_cast<int>(kCofAnswerLength), name);
  }
}

// The collimator shape: an answer beginning with s or S gives square, anything else circular.
// Nothing at the end of input.
std::optional<char> ask_shape(Vorne& v) {
  static const qx::Format kDistance{"(1H ,'          Collimator distance assumed to be ',F10.5,' m')"};
  v.term.write(kDistance, v.sys.p(kFirstElementRow, 2));
  static const qx::Format kAsk{"(1H ,'    Square or Circular aperture collimator? > ',$)"};
  v.term.write(kAsk);
  const std::optional<std::string> answer = read_answer(v);
  if (!answer) return std::nullopt;
  const std::string letter = trim(*answer);
  const char shape = !letter.empty() && (letter[0] == 's' || letter[0] == 'S') ? 'S' : 'C';
  static const qx::Format kSquare{"(1H ,'Square aperture collimators.')"};
  static const qx::Format kCircular{"(1H ,'Circular aperture collimatior.')"};
  v.term.write(shape == 'S' ? kSquare : kCircular);
  return shape;
}

void put_values(qx::Output& out, const qx::Format& layout, std::span<const double> values) {
  const std::vector<qx::FormatArg> args(values.begin(), values.end());
  out.put(layout.render(args));
}

// Lengths go in F12.7; one too large for that field goes in 1P,G12.5 instead, so the file
// stays readable rather than carrying asterisks.
void put_length(qx::Output& out, double x) {
  static const qx::Format kLength{"(1H ,F12.7)"};
  static const qx::Format kWideLength{"(1H ,1P,G12.5)"};
  out.write(qx::edit_f(x, 12, 7).find('*') == std::string::npos ? kLength : kWideLength, x);
}

bool finite(std::span<const double> values) {
  for (const double x : values)
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace

CoefficientValues coefficient_values(Vorne& v, char shape) {
  const LensSystem& s = v.sys;
  const WalkResult& w = v.walk;
  CoefficientValues c;
  c.title = qx::pad(s.title, kTitleLength);
  c.collimator_distance = s.p(kFirstElementRow, 2);
  c.object = {s.p(2, 2), 0.0, s.p(2, 4), 0.0};
  c.aperture = {s.p(2, 2) + c.collimator_distance * s.p(2, 3), 0.0, s.p(2, 4) + c.collimator_distance * s.p(2, 5),
                0.0};
  c.shape = shape;
  c.total_length = s.total_length;
  c.first = w.s;
  for (std::size_t i = 0; i < 4; ++i)
    for (std::size_t k = 0; k < 10; ++k) c.second[i][k] = w.s2(static_cast<int>(i) + 1, static_cast<int>(k) + 5);
  const ThirdOrderSet r = magnification_included(w.total, mag(v, s.izend));
  for (int plane = 1; plane <= 2; ++plane)
    for (int j = 1; j <= 10; ++j)
      c.third[static_cast<std::size_t>(plane - 1)][static_cast<std::size_t>(j - 1)] =
          r(plane, j) * kBackToSi[static_cast<std::size_t>(j - 1)];
  c.chromatic = w.chromatic;
  return c;
}

bool all_finite(const CoefficientValues& c) {
  const double scalars[] = {c.collimator_distance, c.shadow_distance, c.total_length, c.chromatic.xt,
                            c.chromatic.yp,        c.chromatic.xx,      c.chromatic.yy};
  bool ok = finite(scalars) && finite(c.object) && finite(c.aperture) && finite(c.first.v);
  for (const auto& row : c.second) ok = ok && finite(row);
  for (const auto& row : c.third) ok = ok && finite(row);
  return ok;
}

std::string coefficient_records(const CoefficientValues& c) {
  qx::StringOutput out(kCofUnit);
  static const qx::Format kTitle{"(1H ,A)"};
  out.write(kTitle, c.title);
  static const qx::Format kFour{"(1H ,1P,G12.4,',',1P,G12.4,',',1P,G12.4,',',1P,G12.4)"};
  put_values(out, kFour, c.object);
  put_values(out, kFour, c.aperture);
  put_length(out, c.collimator_distance);
  static const qx::Format kShape{"(1H ,A)"};
  out.write(kShape, std::string(1, c.shape));
  put_length(out, c.shadow_distance);
  put_length(out, c.total_length);
  for (int i = 1; i <= 4; ++i) out.write(kFour, c.first(i, 1), c.first(i, 2), c.first(i, 3), c.first(i, 4));
  static const qx::Format kSecond{"(1H ,9(1P,G12.4,','),1P,G12.4)"};
  for (const auto& row : c.second) put_values(out, kSecond, row);
  static const qx::Format kThird{"(1H ,9(1P,G11.4,','),1P,G11.4,',0,0')"};
  for (const auto& row : c.third) put_values(out, kThird, row);
  static const qx::Format kFifth{"(1H ,'0,0,0,0,0,0',/,1H ,'0,0,0,0,0,0')"};
  out.write(kFifth);
  static const qx::Format kChromatic{"(1H ,1P,G12.5,',',1P,G12.5,/,1H ,1P,G12.5,',',1P,G12.5)"};
  out.write(kChromatic, c.chromatic.xt, c.chromatic.yp, c.chromatic.xx, c.chromatic.yy);
  static const qx::Format kTrailer{"(1H ,'Coefficients from VORNE')"};
  out.write(kTrailer);
  return out.text();
}

void cmd_cofout(Vorne& v, const qx::CommandLine& line) {
  if (!v.sys.loaded()) {
    static const qx::Format kNoSystem{"(1H ,'?COFOUT- No system loaded, nothing written.')"};
    v.term.write(kNoSystem);
    return;
  }
  system_walk(v, kThirdOrderMode);
  if (!v.walk.ended) {
    static const qx::Format kNoEnd{"(1H ,'?COFOUT- The walk found no System End, nothing written.')"};
    v.term.write(kNoEnd);
    return;
  }

  std::string name = trim(argument_name(line));
  if (name.empty()) {
    const std::optional<std::string> answer = ask_name(v);
    if (!answer || answer->empty()) return;
    name = *answer;
  }
  const std::string file = cof_file_name(name);
  if (file.size() > kCofNameLength) {
    static const qx::Format kTooLong{"(1H ,'?COFOUT- File name longer than ',I2,' characters, nothing written: ',A)"};
    v.term.write(kTooLong, static_cast<int>(kCofNameLength), file);
    return;
  }
  std::unique_ptr<qx::FileOutput> opened = qx::FileOutput::open(file, qx::FileOutput::Mode::create_new, kCofUnit);
  if (!opened) {
    static const qx::Format kExists{"(1H ,'?COFOUT- File ',A,' already exists, nothing written.')"};
    static const qx::Format kUnable{"(1H ,'Unable to open ',A)"};
    v.term.write(qx::file_exists(file) ? kExists : kUnable, file);
    return;
  }
  NewFile out(std::move(opened));

  const std::optional<char> shape = ask_shape(v);
  if (!shape) return;
  static const qx::Format kShadow{"(1H ,'        Shadow plane distance assumed to be ',F10.5,' m')"};
  v.term.write(kShadow, kCofShadowDistance);
  static const qx::Format kLength{"(1H ,'                        Total system length ',F10.5,' m')"};
  v.term.write(kLength, v.sys.total_length);
  chromatic_run(v, kCofEnergySpread);
  static const qx::Format kChromatic{
      "(1H ,'Chromatic coefficients calculated with a ',1P,G12.5,'% energy spread.',/,"
      "1H ,'(X/XDe and Y/YDe are probably inaccurate.)')"};
  v.term.write(kChromatic, kCofEnergySpread);

  CoefficientValues values = coefficient_values(v, *shape);
  if (line.option == 'N' && !integrated_coefficients(v, values)) return;
  if (!all_finite(values)) {
    static const qx::Format kNotFinite{"(1H ,'?COFOUT- Coefficients not finite, nothing written to ',A)"};
    v.term.write(kNotFinite, file);
    return;
  }
  static const qx::Format kWriteError{"(1H ,'?COFOUT- Error writing ',A,', nothing kept.')"};
  if (!out.finish(coefficient_records(values))) v.term.write(kWriteError, file);
}

}  // namespace vorne
