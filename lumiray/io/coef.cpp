#include "io/coef.h"

#include <filesystem>
#include <span>
#include <system_error>
#include <vector>

#include "qx/listread.h"
#include "qx/text.h"

namespace lumiray {

namespace {

// Labels of the review dialogue, fixed by the file's definition.
constexpr const char* kCoordinateNames[4] = {" X", "Th", " Y", "Ph"};
constexpr const char* kSecondOrderNames[10] = {"X2", "XT", "XY", "XP", "T2", "TY", "TP", "Y2", "YP", "P2"};
constexpr const char* kThirdOrderNames[2][12] = {
    {"T3 ", "TP2", "XT2", "XP2", "TYP", "X2T", "TY2", "XYP", "X3 ", "XY2", "T2P", "P3 "},
    {"P3 ", "PT2", "YP2", "YT2", "PXT", "Y2P", "PX2", "YXT", "Y3 ", "YX2", "P2T", "T3 "}};
constexpr const char* kFifthOrderNames[2][6] = {{"T5  ", "T4P ", "T3P2", "T2P3", "TP4 ", "P5  "},
                                                {"P5  ", "P4T ", "P3T2", "P2T3", "PT4 ", "T5  "}};
constexpr const char* kOutputNames[2] = {" X", " Y"};
constexpr const char* kChromaticNames[4] = {"X/Th%DE", "Y/Ph%DE", "X/X%DE ", "Y/Y%DE "};

bool read_group(qx::Input& in, std::span<double> values) {
  return qx::read_reals(in, values) == qx::ReadStatus::ok;
}

// One progress note of the reader, when a progress unit is given.
void note(qx::Output* progress, const qx::Format& f) {
  if (progress != nullptr) progress->write(f);
}

bool read_body(qx::Input& in, CoefficientSet& set, qx::Output* progress) {
  static const qx::Format kTitle{"(1H ,'Read title.')"};
  static const qx::Format kSizes{"(1H ,'Read image/aperture sizes')"};
  static const qx::Format kCollimator{"(1H ,'read collimator.')"};
  static const qx::Format kFirst{"(1H ,'read first order matrix')"};
  static const qx::Format kFifth{"(1H ,'Read fifth order matrix.')"};

  std::string rec;
  if (qx::read_record(in, rec, kCofTitleLength) != qx::ReadStatus::ok) return false;
  set.title = field(rec, kTitleLength);
  note(progress, kTitle);

  double collimator = 0.0;
  if (!read_group(in, set.object) || !read_group(in, set.aperture) ||
      !read_group(in, std::span<double>(&collimator, 1)))
    return false;
  set.collimator_distance = collimator;
  note(progress, kSizes);

  if (qx::read_record(in, rec, kCofShapeRecord) != qx::ReadStatus::ok) return false;
  note(progress, kCollimator);
  const std::size_t letter = rec.find_first_not_of(' ');
  set.aperture_shape = letter == std::string::npos ? ' ' : rec[letter];   // all blank: circular

  double lengths[2] = {0.0, 0.0};
  if (!read_group(in, std::span<double>(lengths, 1)) || !read_group(in, std::span<double>(lengths + 1, 1)))
    return false;
  set.shadow_distance = lengths[0];
  set.total_length = lengths[1];
  if (!read_group(in, set.first_order)) return false;
  set.map_terms.fill(0.0);
  set.refresh_map();
  note(progress, kFirst);

  double second[40] = {};
  if (!read_group(in, second)) return false;
  for (int i = 1; i <= 4; ++i)
    for (int c = 5; c <= 14; ++c) set.map(i, c) = second[(i - 1) * 10 + (c - 5)];

  if (!read_group(in, set.third_order) || !read_group(in, set.fifth_order)) return false;
  note(progress, kFifth);
  return read_group(in, set.chromatic_terms);
}

// Inquiry of the file system: false only when the file is known not to exist. An inquiry
// that fails for another reason is reported and the file is taken to exist.
bool inquire_exists(Dialogue d, const std::string& name) {
  static const qx::Format kInquire{"(1H ,'Inquire by file error, file = ',A)"};
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(name, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    d.out.write(kInquire, name);
    return true;
  }
  return std::filesystem::exists(st);
}

// The name to read, asked for while it is blank or names no file. Empty when the user
// gave up with a blank answer or the input ended.
std::optional<std::string> existing_cof_name(Dialogue d, std::string name) {
  static const qx::Format kPrompt{"(1H ,'Filename for input > ',$)"};
  static const qx::Format kMissing{"(1H ,'%COFIN - ',A,' Does not exist.')"};
  static const qx::Format kTooLong{"(1H ,'?COFIN - File name longer than 30 characters: ',A)"};
  if (name.size() > kCofNameLength) {
    d.out.write(kTooLong, name);
    name.clear();
  }
  while (true) {
    if (name.empty()) {
      const std::optional<std::string> answer = ask_file_name(d, kPrompt, kCofAnswerLength);
      if (!answer || answer->empty()) return std::nullopt;
      name = *answer;
    }
    name = cof_file_name(name);
    if (inquire_exists(d, name)) return name;
    d.out.write(kMissing, name);
    name.clear();
  }
}

// One prompt of the review dialogue: label, current value, " > ".
bool review_value(Dialogue d, const std::string& label, double& value, bool chromatic = false) {
  static const qx::Format kValue{"(1H ,A,1P,G13.5,' > ',$)"};
  static const qx::Format kChromaticValue{"(1H ,A,1P,G12.5,' > ',$)"};
  return ask_number(d, [&] { d.out.write(chromatic ? kChromaticValue : kValue, label, value); }, value);
}

bool review_title(Dialogue d, CoefficientSet& set) {
  static const qx::Format kTitle{"(1H ,'Title:',/,1H ,A)"};
  static const qx::Format kNew{"(1H ,'  New: ',$)"};
  d.out.write(kTitle, qx::trim_right(set.title));
  const std::optional<std::string> answer = ask_text(d, kNew);
  if (!answer) return false;
  if (qx::qxlen(*answer) > 0) set.title = field(*answer, kTitleLength);
  return true;
}

bool review_shape(Dialogue d, CoefficientSet& set) {
  static const qx::Format kSquare{"(1H ,'Square apertures selected.')"};
  static const qx::Format kCircular{"(1H ,'Circular apertures selected.')"};
  static const qx::Format kNewSquare{"(1H ,'New? > ',$)"};
  static const qx::Format kNewCircular{"(1H ,'New? (Square/Circular) > ',$)"};
  const bool square = set.aperture_shape == 'S';
  d.out.write(square ? kSquare : kCircular);
  const std::optional<char> letter = ask_letter(d, square ? kNewSquare : kNewCircular);
  if (!letter) return false;
  if (*letter != ' ') set.aperture_shape = *letter == 'S' ? 'S' : 'C';
  d.out.write(set.aperture_shape == 'S' ? kSquare : kCircular);
  return true;
}

bool review_physical(Dialogue d, CoefficientSet& set) {
  static const qx::Format kObject{"(1H ,'Object coordinates:')"};
  static const qx::Format kAperture{"(1H ,'Aperture coordinates: ')"};
  static const char* const kLabels[4] = {" X/2     = ", "X CENTRE = ", " Y/2     = ", "Y CENTRE = "};
  d.out.write(kObject);
  for (int k = 0; k < 4; ++k)
    if (!review_value(d, kLabels[k], set.object[static_cast<std::size_t>(k)])) return false;
  d.out.write(kAperture);
  for (int k = 0; k < 4; ++k)
    if (!review_value(d, kLabels[k], set.aperture[static_cast<std::size_t>(k)])) return false;
  return review_value(d, "  Object to Aperture (m) = ", set.collimator_distance) && review_shape(d, set) &&
         review_value(d, "Image to Shadow plane (m)= ", set.shadow_distance) &&
         review_value(d, "  System total length (m)= ", set.total_length);
}

std::string label(const char* row, const char* column) { return std::string("   ") + row + "/" + column + " = "; }

bool review_first(Dialogue d, CoefficientSet& set) {
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      if (!review_value(d, label(kCoordinateNames[i - 1], kCoordinateNames[j - 1]), set.first(i, j))) return false;
  return true;
}

bool review_second(Dialogue d, CoefficientSet& set) {
  for (const int i : {1, 3})   // the x and y outputs
    for (int c = 5; c <= 14; ++c)
      if (!review_value(d, label(kCoordinateNames[i - 1], kSecondOrderNames[c - 5]), set.map(i, c))) return false;
  return true;
}

bool review_third(Dialogue d, CoefficientSet& set) {
  for (int r = 1; r <= 2; ++r)
    for (int k = 1; k <= 12; ++k)
      if (!review_value(d, label(kOutputNames[r - 1], kThirdOrderNames[r - 1][k - 1]), set.third(r, k))) return false;
  return true;
}

bool review_fifth(Dialogue d, CoefficientSet& set) {
  for (int r = 1; r <= 2; ++r)
    for (int k = 1; k <= 6; ++k)
      if (!review_value(d, label(kOutputNames[r - 1], kFifthOrderNames[r - 1][k - 1]), set.fifth(r, k))) return false;
  return true;
}

bool review_chromatic(Dialogue d, CoefficientSet& set) {
  for (int k = 1; k <= 4; ++k)
    if (!review_value(d, std::string("   ") + kChromaticNames[k - 1] + " = ", set.chromatic(k), true)) return false;
  return true;
}

// A yes/no question followed, on yes, by a part of the review. False at the end of input.
template <class Review>
bool review_part(Dialogue d, const qx::Format& question, CoefficientSet& set, Review review) {
  const std::optional<bool> yes = ask_yes(d, question);
  if (!yes) return false;
  return !*yes || review(d, set);
}

// The whole review; false when the input ended on the way.
bool review(Dialogue d, CoefficientSet& set) {
  static const qx::Format kPhysical{"(1H ,'    Do you want to modify the physical parameters? > ',$)"};
  static const qx::Format kFirstQ{"(1H ,'   Do you want to change the first order matrix ? > ',$)"};
  static const qx::Format kSecondQ{"(1H ,'  Do you want to change the second order matrix ? > ',$)"};
  static const qx::Format kThirdQ{"(1H ,'   Do you want to change the third order matrix ? > ',$)"};
  static const qx::Format kFifthQ{"(1H ,'   Do you want to change the fifth order matrix ? > ',$)"};
  static const qx::Format kChromaticQ{"(1H ,'Do you want to change the chromatic coefficients? > ',$)"};
  if (!review_title(d, set) || !review_part(d, kPhysical, set, review_physical)) return false;
  const bool first_done = review_part(d, kFirstQ, set, review_first);
  set.refresh_map();   // whatever was answered, the working map follows the matrix
  return first_done && review_part(d, kSecondQ, set, review_second) &&
         review_part(d, kThirdQ, set, review_third) && review_part(d, kFifthQ, set, review_fifth) &&
         review_part(d, kChromaticQ, set, review_chromatic);
}

void write_values(qx::Output& out, std::span<const double> values) {
  const std::vector<qx::FormatArg> args(values.begin(), values.end());
  out.put(qx::render_list(args));
}

}  // namespace

void CoefficientSet::refresh_map() {
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) map(i, j) = first(i, j);
}

bool read_coefficients(qx::Input& in, CoefficientSet& set) { return read_body(in, set, nullptr); }

int cofin(Dialogue d, std::string& name, CoefficientSet& current) {
  static const qx::Format kGetting{"(1H ,'Getting coefficients from ',A)"};
  static const qx::Format kUnit{"(1H ,'On unit number ',I2)"};
  static const qx::Format kCannotOpen{"(1H ,'Unable to open ',A)"};
  static const qx::Format kOpened{"(1H ,'Opened file successfully.')"};
  static const qx::Format kReadError{"(1H ,'Error reading data from file ',A)"};

  const std::optional<std::string> found = existing_cof_name(d, std::string(qx::trim_right(name)));
  if (!found) return 1;
  name = *found;
  d.out.write(kGetting, name);
  d.out.write(kUnit, kCofUnit);
  const std::unique_ptr<qx::FileInput> file = qx::FileInput::open(name, kCofUnit);
  if (!file) {
    d.out.write(kCannotOpen, name);
    return 1;
  }
  d.out.write(kOpened);
  // A scratch set: the current coefficients stay as they are unless the whole file reads.
  CoefficientSet scratch;
  if (!read_body(*file, scratch, &d.out)) {
    d.out.write(kReadError, name);
    return 1;
  }
  scratch.loaded = true;
  current = scratch;
  return 0;
}

int cofrev(Dialogue d, std::string& name, char option, CoefficientSet& current) {
  static const qx::Format kModify{"(1H ,'Modify/review the data in the coefficient file ? > ',$)"};
  static const qx::Format kSaving{"(1H ,'Saving new coefficients in file ',A)"};
  if (cofin(d, name, current) != 0) return 1;
  if (option == 'N') return 0;
  const std::optional<bool> yes = ask_yes(d, kModify);
  if (!yes) return 2;
  if (!*yes) return 0;
  if (!review(d, current)) return 2;
  d.out.write(kSaving, name);
  cofsav(d, name, current);
  return 0;
}

bool cofsav(Dialogue d, std::string name, CoefficientSet& set) {
  static const qx::Format kPrompt{"(1H ,'Filename for output > ',$)"};
  static const qx::Format kCannotOpen{"(1H ,'Unable to open ',A)"};
  static const qx::Format kCannotWrite{"(1H ,'Unable to write ',A)"};
  static const qx::Format kTitle{"(A)"};
  static const qx::Format kShape{"(1H ,A)"};

  name = std::string(qx::trim_right(name));
  if (name.empty()) {
    const std::optional<std::string> answer = ask_file_name(d, kPrompt, kCofAnswerLength);
    if (!answer || answer->empty()) return false;
    name = *answer;
  }
  name = cof_file_name(name);
  // Written beside the old file and renamed over it at the end: a failed write loses nothing.
  const std::unique_ptr<qx::FileOutput> file = qx::FileOutput::open(name, qx::FileOutput::Mode::atomic, kCofUnit);
  if (!file) {
    d.out.write(kCannotOpen, name);
    return false;
  }
  double second[40];
  for (int i = 1; i <= 4; ++i)
    for (int c = 5; c <= 14; ++c) second[(i - 1) * 10 + (c - 5)] = set.map(i, c);
  file->write(kTitle, field(set.title, kCofTitleLength));
  write_values(*file, set.object);
  write_values(*file, set.aperture);
  write_values(*file, std::span<const double>(&set.collimator_distance, 1));
  file->write(kShape, std::string(1, set.aperture_shape));
  write_values(*file, std::span<const double>(&set.shadow_distance, 1));
  write_values(*file, std::span<const double>(&set.total_length, 1));
  write_values(*file, set.first_order);
  write_values(*file, second);
  write_values(*file, set.third_order);
  write_values(*file, set.fifth_order);
  write_values(*file, set.chromatic_terms);
  const bool written = file->commit();
  if (!written) d.out.write(kCannotWrite, name);
  set.refresh_map();
  set.loaded = true;
  return written;
}

}  // namespace lumiray
