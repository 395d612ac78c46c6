#include "analysis/dump.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>

#include "analysis/plotdata.h"
#include "analysis/ray_tools.h"
#include "io/lqio.h"
#include "qx/listread.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr std::size_t kCaptionField = 70;   // the dump's caption line (A70)
constexpr int kSkipped = 3;                 // header lines after the caption
constexpr int kDumpUnit = 4;
constexpr long kStarEvery = 100;
constexpr int kStarsPerLine = 50;

// One data record: x, th, y, ph, a discarded number, d, a discarded number. False when the
// record does not hold seven numbers.
bool parse_record(const std::string& record, Ray& r) {
  std::array<double, 7> v{};
  qx::StringInput one(record);
  if (qx::read_reals(one, v) != qx::ReadStatus::ok) return false;
  r = Ray{v[0], v[1], v[2], v[3], v[5]};
  return true;
}

}  // namespace

void dump_command(Lumiray& s, const std::string& typed) {
  static const qx::Format kAsk{"(1H ,11X,'Filename for input > ',$)"};
  static const qx::Format kCannotCheck{"(1H ,'Unable to check the existence of ',A)"};
  static const qx::Format kMissing{"(1H ,A,' does not exist.')"};
  static const qx::Format kCannotOpen{"(1H ,'LQDUMP - Unable to open ',A)"};
  static const qx::Format kReading{"(1H ,'Reading dump file: ',A)"};
  static const qx::Format kCaption{"(1H ,'Dump file caption: ',A)"};
  static const qx::Format kOwnInput{"(1H ,'?LQDUMP - ',A,' is the dump being read; it is not written over.')"};
  static const qx::Format kBad{"(1H ,'?LQDUMP - Bad data at ray ',I6,'.')"};
  static const qx::Format kCount{"(1H ,I6,' rays in data file.')"};
  static const qx::Format kRange{"(1H ,'Energy spread range: ',1P,G12.5,' to ',1P,G12.5)"};

  const std::optional<std::string> asked = name_or_ask(s, typed, kAsk);
  if (!asked) return;
  std::string name = *asked;
  name = output_name(name, ".txt");
  const std::string rays_name = ray_file_name(base_name(name));
  std::error_code ec;
  const bool exists = std::filesystem::exists(name, ec);
  if (ec) {
    s.out.write(kCannotCheck, name);
    return;
  }
  if (!exists) {
    s.out.write(kMissing, name);
    return;
  }
  const std::unique_ptr<qx::FileInput> dump = qx::FileInput::open(name, kDumpUnit);
  if (!dump || std::filesystem::is_directory(name, ec)) {
    s.out.write(kCannotOpen, name);
    return;
  }
  s.out.write(kReading, name);
  std::string caption;
  if (qx::read_record(*dump, caption, kCaptionField) != qx::ReadStatus::ok) caption = std::string(kCaptionField, ' ');
  s.out.write(kCaption, qx::trim_right(caption));
  std::string skipped;
  for (int i = 0; i < kSkipped; ++i) qx::read_record(*dump, skipped, kCaptionLength);

  // "DUMP rays.bin" would name its own input as the output.
  if (std::filesystem::equivalent(rays_name, name, ec)) {
    s.out.write(kOwnInput, rays_name);
    return;
  }
  const std::string old_caption = s.caption;
  s.caption = field(caption, kCaptionLength);
  if (lqio_open(s.lqio(), 'W', rays_name) != 0) {
    s.caption = old_caption;
    return;
  }
  long count = 0;
  double dmin = 0.0, dmax = 0.0;
  Stars stars(s.out, kStarEvery, kStarsPerLine, 0);
  std::string record;
  Ray r;
  while (dump->read_line(record) == qx::ReadStatus::ok) {
    if (qx::qxlen(record) == 0) continue;
    // A bad record stops the command before anything is committed: the writer is dropped,
    // so an older file of that name stays as it was.
    const bool good = parse_record(record, r);
    if (!good || !lqio_write(s.lqio(), 'W', r)) {
      stars.finish();
      if (!good) s.out.write(kBad, count + 1);
      s.rays.writer.reset();
      s.caption = old_caption;
      return;
    }
    dmin = count == 0 ? r.d : std::min(dmin, r.d);
    dmax = count == 0 ? r.d : std::max(dmax, r.d);
    ++count;
    stars.tick(count);
  }
  stars.finish();
  s.out.write(kCount, count);
  lqio_close(s.lqio(), 'W');
  lqio_open(s.lqio(), 'R', rays_name);
  s.out.write(kRange, dmin, dmax);
}

}  // namespace lumiray
