#include "analysis/plotdata.h"

#include <span>

#include "io/lqio.h"
#include "qx/format.h"
#include "qx/listread.h"
#include "qx/text.h"

namespace lumiray {

namespace {

constexpr int kPlotFileUnit = 4;
constexpr int kRunFileUnit = 74;

}  // namespace

std::string base_name(std::string_view name) {
  const std::string s(qx::trim_right(name));
  const std::size_t slash = s.rfind('/');
  const std::size_t dot = s.find('.', slash == std::string::npos ? 0 : slash + 1);
  return dot == std::string::npos ? s : s.substr(0, dot);
}

std::string secondary_name(std::string_view base, std::string_view extension) {
  return std::string(base.substr(0, kSecondaryBase)) + std::string(extension);
}

std::unique_ptr<qx::FileOutput> open_plot_file(Lumiray& s, const std::string& name, qx::FileOutput::Mode mode,
                                               std::string_view who, int empty_lines) {
  static const qx::Format kKept{"(1H ,A,' - ',A,' is ',A,'; it is not written over.')"};
  static const qx::Format kFailed{"(1H ,A,' - Unable to open ',A)"};
  static const qx::Format kEmpty{"(1H )"};
  if (const std::string_view why = kept_file(s.lqio(), name); !why.empty()) {
    s.out.write(kKept, std::string(who), name, std::string(why));
    return nullptr;
  }
  std::unique_ptr<qx::FileOutput> f = qx::FileOutput::open(name, mode, kPlotFileUnit);
  if (!f) {
    s.out.write(kFailed, std::string(who), name);
    for (int i = 0; i < empty_lines; ++i) s.out.write(kEmpty);
  }
  return f;
}

void write_plot_header(qx::Output& f, std::string_view title, std::string_view x_label, std::string_view y_label,
                       std::string_view control) {
  static const qx::Format kRecord{"(1H ,A)"};
  static const qx::Format kZeros{"(1H ,'0',/,1H ,'0',/,1H ,'0')"};
  f.write(kRecord, std::string(qx::trim_right(title)));
  f.write(kRecord, std::string(x_label));
  f.write(kRecord, std::string(y_label));
  if (control.empty()) return;
  f.write(kRecord, std::string(control));
  f.write(kZeros);
}

std::string count_field(std::int64_t n, int w) {
  std::string text = qx::edit_i(n, w);
  while (text.find('*') != std::string::npos) text = qx::edit_i(n, ++w);
  return text;
}

int take_run_number(qx::Output& out) {
  static const qx::Format kRecord{"(I10)"};
  static const qx::Format kRun{"(1H ,'Run number ',I4,' ......')"};
  int run = 0;
  if (const std::unique_ptr<qx::FileInput> in = qx::FileInput::open(kRunNumberFile, kRunFileUnit)) {
    if (qx::read_ints(*in, std::span<int>(&run, 1)) != qx::ReadStatus::ok || run < 0 || run >= 999999) run = 0;
  }
  ++run;
  // Written beside the old file and renamed over it: an interrupted write keeps the count.
  if (std::unique_ptr<qx::FileOutput> f = qx::FileOutput::open(kRunNumberFile, qx::FileOutput::Mode::atomic,
                                                                kRunFileUnit)) {
    f->write(kRecord, run);
    f->commit();
  }
  out.write(kRun, run);
  return run;
}

}  // namespace lumiray
