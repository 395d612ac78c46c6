#include "reports/listing.h"

#include <memory>
#include <string>

#include "qx/format.h"
#include "reports/element_reports.h"
#include "system/datafile.h"

namespace vorne {

namespace {

constexpr int kListingUnit = 2;
constexpr std::string_view kConsole = "CONSOLE";

}  // namespace

// ---- The final run -----------------------------------------------------------------------------

void final_run(Vorne& v) {
  LensSystem& s = v.sys;
  std::string name = s.data_file + std::string(kListingExtension);
  std::unique_ptr<qx::FileOutput> file = qx::FileOutput::open(name, qx::FileOutput::Mode::create_new, kListingUnit);
  if (!file) {
    static const qx::Format kCannot{"(1H ,'Unable to open ',A,' for output.',/)"};
    v.term.write(kCannot, name);
    name = kConsole;
  }
  static const qx::Format kOutput{"(1H ,'Output data in file ',A,/)"};
  v.term.write(kOutput, name);
  v.listing = file.get();   // reports go to the listing while it is open
  qx::Output& out = v.report();

  static const qx::Format kHeader{"(1H ,A,'    file ',A)"};
  out.write(kHeader, s.title, s.data_file + std::string(kDataExtension));
  for (int iz = 1; iz <= s.izend; ++iz) {
    for (int col = 7; col <= 10; ++col) s.p(2, col) = s.p(2, col - 5);
    write_element_line(out, s, iz, 5);
  }
  static const qx::Format kLength{"(1H ,/,1H ,7X,'TOTAL LENGTH = ',F10.5,/)"};
  out.write(kLength, s.total_length);
  static const qx::Format kLevel{"(1H ,/,1H ,10X,'Diagnostic set to ',I2,/)"};
  out.write(kLevel, v.idiag);
  final_run_reports(v);

  v.listing = nullptr;
  static const qx::Format kWriteError{"(1H ,'?VORNE- Error writing ',A)"};
  if (file && !file->commit()) v.term.write(kWriteError, name);
}

}  // namespace vorne
