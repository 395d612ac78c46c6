#include "io/lqio.h"

#include <filesystem>
#include <system_error>

#include "qx/text.h"

namespace lumiray {

namespace {

constexpr std::size_t kNameAnswer = 30;   // a name typed at the prompt (A30)

const qx::Format kCannotOpen{"(1H ,'Unable to open ',A)"};
const qx::Format kCannotWrite{"(1H ,'Unable to write rays.')"};

bool same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  const auto na = std::filesystem::weakly_canonical(a, ec);
  const auto nb = std::filesystem::weakly_canonical(b, ec);
  return !ec && na == nb;
}

}  // namespace

std::string_view kept_file(const Lumiray& s, const std::string& name) {
  // Writing over the rays being analysed, or over the coefficients just read, would lose them.
  if (s.rays.reader && same_file(name, s.rays.reader->path().string())) return "the current data set";
  if (same_file(name, s.cof_file)) return "the coefficient file just read";
  return {};
}

namespace {

std::unique_ptr<RayWriter>& writing_unit(Lumiray& s, char mode) {
  return mode == 'A' ? s.rays.appender : s.rays.writer;
}

void finish_writer(Lumiray& s, std::unique_ptr<RayWriter>& w) {
  if (w && !w->finish()) s.out.write(kCannotWrite);
  w.reset();
}

int open_reader(Lumiray& s, const std::string& name) {
  static const qx::Format kOpened{"(1H ,'R: Rays file opened: ',A)"};
  static const qx::Format kNoCaption{"(1H ,'?LQIO - ',A,' holds no caption record: not a ray file.')"};

  std::unique_ptr<RayReader> reader = RayReader::open(name);
  if (!reader) {
    s.out.write(kCannotOpen, name);
    return 1;
  }
  s.out.write(kOpened, name);
  std::string caption;
  if (!reader->read_caption(caption)) {
    s.out.write(kNoCaption, name);
    return 1;
  }
  static const qx::Format kCaption{"(1H ,'Caption: ',A)"};
  static const qx::Format kFinding{"(1H ,'Finding number of rays....')"};
  s.out.write(kCaption, qx::trim_right(caption));
  s.out.write(kFinding);
  static const qx::Format kEndAt{"(1H ,'End at ',I6,' rays.')"};
  static const qx::Format kInFile{"(1H ,I6,' rays in file.')"};
  static const qx::Format kLimit{"(1H ,'%LQIO - Only the first ',I6,' rays are used.')"};
  const RayReader::Count count = reader->count_rays();
  if (count.damaged) s.out.write(kEndAt, count.rays);
  s.out.write(kInFile, count.rays);
  s.ntot = static_cast<int>(std::min<long>(count.rays, kMaxRays));
  if (count.rays > kMaxRays) s.out.write(kLimit, kMaxRays);
  s.caption = caption;
  s.data_file = name;
  s.rays.reader = std::move(reader);
  s.rays.last_index = 0;
  return 0;
}

int open_writer(Lumiray& s, char mode, const std::string& name) {
  static const qx::Format kOpened{"(1H ,A,': Rays file opened: ',A)"};
  static const qx::Format kNotAppended{"(1H ,'?LQIO - ',A,' is ',A,'; nothing appended.')"};
  static const qx::Format kNotReplaced{"(1H ,'?LQIO - ',A,' is ',A,'; it is not written over.')"};

  if (const std::string_view kept = kept_file(s, name); !kept.empty()) {
    s.out.write(kNotReplaced, name, std::string(kept));
    return 1;
  }
  std::string why;
  std::unique_ptr<RayWriter> w = RayWriter::open(
      name, mode == 'A' ? RayWriter::Mode::append : RayWriter::Mode::replace, s.caption, why);
  if (!w) {
    if (why == "cannot be opened" || why == "not a file name")
      s.out.write(kCannotOpen, name);
    else
      s.out.write(mode == 'A' ? kNotAppended : kNotReplaced, name, why);
    return 1;
  }
  finish_writer(s, writing_unit(s, mode));
  writing_unit(s, mode) = std::move(w);
  s.out.write(kOpened, std::string(1, mode), name);
  return 0;
}

}  // namespace

bool lqio_refuse_current_set(Lumiray& s, const std::string& name) {
  static const qx::Format kInUse{"(1H ,'?LQIO - ',A,' is the current data set; it is not written over.')"};
  const std::string current = s.rays.reader ? s.rays.reader->path().string() : std::string();
  if (!same_file(name, current)) return false;
  s.out.write(kInUse, name);
  return true;
}

std::string ray_file_name(std::string_view name) {
  return with_default_extension(name, ".bin");
}

int lqio_open(Lumiray& s, char mode, std::string name) {
  static const qx::Format kUnknown{"(1H ,'Unknown option to LQIO, R assumed.')"};
  static const qx::Format kPrompt{"(1H ,11X,'Filename for rays file > ',$)"};
  mode = qx::upper(std::string(1, mode))[0];
  if (mode != 'R' && mode != 'W' && mode != 'A' && mode != 'E') {
    s.out.write(kUnknown);
    mode = 'R';
  }
  if (mode == 'E') {
    lqio_close(s, 'R');
    lqio_close(s, 'W');
    lqio_close(s, 'A');
    return 0;
  }
  name = std::string(qx::trim_right(name));
  const std::size_t lead = name.find_first_not_of(' ');
  name = lead == std::string::npos ? std::string() : name.substr(lead);
  if (name.empty()) {
    const std::optional<std::string> answer = ask_file_name(s.dialogue(), kPrompt, kNameAnswer);
    if (!answer || answer->empty()) return 1;
    name = *answer;
  }
  name = ray_file_name(name);
  return mode == 'R' ? open_reader(s, name) : open_writer(s, mode, name);
}

bool lqio_read(Lumiray& s, long index, Ray& r) {
  static const qx::Format kEndAt{"(1H ,'End at ',I6,' rays.')"};
  RayFiles& f = s.rays;
  if (f.reader && index >= 1 && index == f.last_index) {
    r = f.last_ray;
    return true;
  }
  if (f.reader && f.reader->read_ray(index, r)) {
    f.last_index = index;
    f.last_ray = r;
    return true;
  }
  f.last_index = 0;
  s.ntot = static_cast<int>(std::clamp<long>(index - 1, 0, kMaxRays));
  s.out.write(kEndAt, s.ntot);
  return false;
}

bool lqio_write(Lumiray& s, char mode, const Ray& r) {
  std::unique_ptr<RayWriter>& w = writing_unit(s, mode);
  if (w && w->write(r)) return true;
  s.out.write(kCannotWrite);
  return false;
}

void lqio_close(Lumiray& s, char mode) {
  if (mode == 'R') {
    s.rays.reader.reset();
    s.rays.last_index = 0;
    return;
  }
  finish_writer(s, writing_unit(s, mode));
}

}  // namespace lumiray
