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

std::string_view kept_file(const RayUnits& u, const std::string& name) {
  // Writing over the rays being analysed, or over the coefficients just read, would lose them.
  if (u.files.reader && same_file(name, u.files.reader->path().string())) return "the current data set";
  if (same_file(name, u.cof_file)) return "the coefficient file just read";
  return {};
}

namespace {

std::unique_ptr<RayWriter>& writing_unit(const RayUnits& u, char mode) {
  return mode == 'A' ? u.files.appender : u.files.writer;
}

void finish_writer(const RayUnits& u, std::unique_ptr<RayWriter>& w) {
  if (w && !w->finish()) u.dialogue.out.write(kCannotWrite);
  w.reset();
}

int open_reader(const RayUnits& u, const std::string& name) {
  static const qx::Format kOpened{"(1H ,'R: Rays file opened: ',A)"};
  static const qx::Format kNoCaption{"(1H ,'?LQIO - ',A,' holds no caption record: not a ray file.')"};

  std::unique_ptr<RayReader> reader = RayReader::open(name);
  if (!reader) {
    u.dialogue.out.write(kCannotOpen, name);
    return 1;
  }
  u.dialogue.out.write(kOpened, name);
  std::string caption;
  if (!reader->read_caption(caption)) {
    u.dialogue.out.write(kNoCaption, name);
    return 1;
  }
  static const qx::Format kCaption{"(1H ,'Caption: ',A)"};
  static const qx::Format kFinding{"(1H ,'Finding number of rays....')"};
  u.dialogue.out.write(kCaption, qx::trim_right(caption));
  u.dialogue.out.write(kFinding);
  static const qx::Format kEndAt{"(1H ,'End at ',I6,' rays.')"};
  static const qx::Format kInFile{"(1H ,I6,' rays in file.')"};
  static const qx::Format kLimit{"(1H ,'%LQIO - Only the first ',I6,' rays are used.')"};
  const RayReader::Count count = reader->count_rays();
  if (count.damaged) u.dialogue.out.write(kEndAt, count.rays);
  u.dialogue.out.write(kInFile, count.rays);
  u.ntot = static_cast<int>(std::min<long>(count.rays, kMaxRays));
  if (count.rays > kMaxRays) u.dialogue.out.write(kLimit, kMaxRays);
  u.caption = caption;
  u.data_file = name;
  u.files.reader = std::move(reader);
  u.files.last_index = 0;
  return 0;
}

int open_writer(const RayUnits& u, char mode, const std::string& name) {
  static const qx::Format kOpened{"(1H ,A,': Rays file opened: ',A)"};
  static const qx::Format kNotAppended{"(1H ,'?LQIO - ',A,' is ',A,'; nothing appended.')"};
  static const qx::Format kNotReplaced{"(1H ,'?LQIO - ',A,' is ',A,'; it is not written over.')"};

  if (const std::string_view kept = kept_file(u, name); !kept.empty()) {
    u.dialogue.out.write(kNotReplaced, name, std::string(kept));
    return 1;
  }
  std::string why;
  std::unique_ptr<RayWriter> w = RayWriter::open(
      name, mode == 'A' ? RayWriter::Mode::append : RayWriter::Mode::replace, u.caption, why);
  if (!w) {
    if (why == "cannot be opened" || why == "not a file name")
      u.dialogue.out.write(kCannotOpen, name);
    else
      u.dialogue.out.write(mode == 'A' ? kNotAppended : kNotReplaced, name, why);
    return 1;
  }
  finish_writer(u, writing_unit(u, mode));
  writing_unit(u, mode) = std::move(w);
  u.dialogue.out.write(kOpened, std::string(1, mode), name);
  return 0;
}

}  // namespace

bool lqio_refuse_current_set(const RayUnits& u, const std::string& name) {
  static const qx::Format kInUse{"(1H ,'?LQIO - ',A,' is the current data set; it is not written over.')"};
  const std::string current = u.files.reader ? u.files.reader->path().string() : std::string();
  if (!same_file(name, current)) return false;
  u.dialogue.out.write(kInUse, name);
  return true;
}

std::string ray_file_name(std::string_view name) {
  return with_default_extension(name, ".bin");
}

int lqio_open(const RayUnits& u, char mode, std::string name) {
  static const qx::Format kUnknown{"(1H ,'Unknown option to LQIO, R assumed.')"};
  static const qx::Format kPrompt{"(1H ,11X,'Filename for rays file > ',$)"};
  mode = qx::upper(std::string(1, mode))[0];
  if (mode != 'R' && mode != 'W' && mode != 'A' && mode != 'E') {
    u.dialogue.out.write(kUnknown);
    mode = 'R';
  }
  if (mode == 'E') {
    lqio_close(u, 'R');
    lqio_close(u, 'W');
    lqio_close(u, 'A');
    return 0;
  }
  name = std::string(qx::trim_right(name));
  const std::size_t lead = name.find_first_not_of(' ');
  name = lead == std::string::npos ? std::string() : name.substr(lead);
  if (name.empty()) {
    const std::optional<std::string> answer = ask_file_name(u.dialogue, kPrompt, kNameAnswer);
    if (!answer || answer->empty()) return 1;
    name = *answer;
  }
  name = ray_file_name(name);
  return mode == 'R' ? open_reader(u, name) : open_writer(u, mode, name);
}

bool lqio_read(const RayUnits& u, long index, Ray& r) {
  static const qx::Format kEndAt{"(1H ,'End at ',I6,' rays.')"};
  RayFiles& f = u.files;
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
  u.ntot = static_cast<int>(std::clamp<long>(index - 1, 0, kMaxRays));
  u.dialogue.out.write(kEndAt, u.ntot);
  return false;
}

bool lqio_write(const RayUnits& u, char mode, const Ray& r) {
  std::unique_ptr<RayWriter>& w = writing_unit(u, mode);
  if (w && w->write(r)) return true;
  u.dialogue.out.write(kCannotWrite);
  return false;
}

void lqio_close(const RayUnits& u, char mode) {
  if (mode == 'R') {
    u.files.reader.reset();
    u.files.last_index = 0;
    return;
  }
  finish_writer(u, writing_unit(u, mode));
}

}  // namespace lumiray
