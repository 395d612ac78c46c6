// SPEC: a new file of (z, astigmatism) pairs over a range of z, each from the system cut at z.
#include "reports/astigmatism_scan.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "optics/snapshot.h"
#include "optics/truncated.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/numeric.h"
#include "qx/text.h"
#include "session/dialogue.h"
#include "session/walks.h"

namespace vorne {

namespace {

constexpr std::size_t kNameField = 30;   // the file name is read as A30
constexpr double kZeroDenominator = 1.0E-20;

// The command input, each record echoed as it is read inside a macro: a list-directed read may
// go on over several records, and each is part of the answer.
class EchoedInput : public qx::Input {
 public:
  explicit EchoedInput(Vorne& v) : qx::Input(v.in().unit()), v_(v) {}
  qx::ReadStatus read_line(std::string& line) override {
    const qx::ReadStatus st = v_.in().read_line(line);
    if (st == qx::ReadStatus::ok && v_.echo()) v_.term.list(std::string(qx::trim_right(line)));
    return st;
  }

 private:
  Vorne& v_;
};

// A new file for the scan: the argument or the answer at the prompt, asked again while the
// file cannot be created. Nothing (nullptr) on an empty answer or at the end of the input.
std::unique_ptr<qx::FileOutput> open_scan_file(Vorne& v, std::string name) {
  if (name.size() > kNameField) {
    static const qx::Format kTooLong{"(1H ,'?SPEC- A file name has at most ',I2,' characters: ',A)"};
    v.term.write(kTooLong, static_cast<int>(kNameField), name);
    name.clear();
  }
  for (;;) {
    if (name.empty()) {
      if (ask_output_name(v, kNameField, name) != qx::Answer::accepted || name.empty()) return nullptr;
    }
    std::unique_ptr<qx::FileOutput> f = qx::FileOutput::open(name, qx::FileOutput::Mode::create_new, 2);
    if (f) return f;
    say_unable_to_open(v, name);
    name.clear();
  }
}

struct Scan {
  double z1 = 0.0;   // m
  double z2 = 0.0;
  int n = 1;         // steps
};

// "Z initial, Z final, Number of steps": false at the end of the input.
bool ask_scan(Vorne& v, Scan& scan) {
  EchoedInput in(v);
  for (;;) {
    static const qx::Format kAsk{"(1H ,'Z initial, Z final, Number of steps  > ',$)"};
    v.term.write(kAsk);
    double values[3] = {0.0, 0.0, 0.0};
    const qx::ReadStatus st = qx::read_reals(in, values);
    if (st == qx::ReadStatus::eof) return false;
    if (st != qx::ReadStatus::ok) {
      static const qx::Format kBad{"(1H ,'?SPEC- Three numbers, please: z initial, z final (m), steps.')"};
      v.term.write(kBad);
      continue;
    }
    if (values[0] < 0.0 || values[1] < 0.0) {
      static const qx::Format kNegative{"(1H ,'?SPEC- Positions must not be negative.')"};
      v.term.write(kNegative);
      continue;
    }
    const std::optional<std::int64_t> n = qx::nearest_int(values[2], INT32_MIN, kMaxTraceSteps);
    if (n && *n < 1) {
      static const qx::Format kNoSteps{"(1H ,'?SPEC- At least one step, please.')"};
      v.term.write(kNoSteps);
      continue;
    }
    scan = {values[0], values[1], n ? static_cast<int>(*n) : kMaxTraceSteps};
    static const qx::Format kTooMany{"(1H ,'%SPEC- At most ',I5,' steps; ',I5,' taken.')"};
    if (!n) v.term.write(kTooMany, kMaxTraceSteps, kMaxTraceSteps);
    return true;
  }
}

}  // namespace

void cmd_spec(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  static const qx::Format kTitle{"(1H ,'Generate a file of (Z, Astig) ordered pairs.')"};
  v.term.write(kTitle);
  const SystemSnapshot keep(v.sys, v.walk);
  std::unique_ptr<qx::FileOutput> file = open_scan_file(v, argument_name(line));
  if (!file) return;
  Scan scan;
  if (!ask_scan(v, scan)) {
    // The file was made for this scan only: a cancelled scan leaves no empty file behind.
    const std::filesystem::path path = file->path();
    file.reset();
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return;
  }
  // The whole length is the sum of the lengths, not what an earlier cut walk left behind.
  const double length = plain_length(v.sys);
  if (scan.z2 <= scan.z1 || scan.z2 > length) scan.z2 = length;
  if (scan.z1 > scan.z2) scan.z1 = 0.0;
  const double step = (scan.z2 - scan.z1) / scan.n;
  Vec4 beam;
  for (int i = 1; i <= 4; ++i) beam(i) = v.sys.p(2, i + 1);
  for (int k = 0; k <= scan.n; ++k) {
    const double z = scan.z1 + k * step;
    const Mat4 s = evaluate_truncated(v.sys, v.walk, walk_settings(v), 1, z, step, beam).s;
    const double xx = s(2, 2) != 0.0 ? s(2, 2) : kZeroDenominator;
    const double yy = s(4, 4) != 0.0 ? s(4, 4) : kZeroDenominator;
    static const qx::Format kPair{"(1H ,1P,G13.5,',',1P,G13.5)"};
    file->write(kPair, z, s(1, 2) / xx - s(3, 4) / yy);
  }
  static const qx::Format kFailed{"(1H ,'?SPEC- Error writing ',A)"};
  if (!file->commit()) v.term.write(kFailed, file->path().string());
}

}  // namespace vorne
