// Plot-data files: the text files the analyses write for plotting. Each begins with a few
// header records (title, axis labels with the font escapes "^gg^rm", "^Gg^Rm" or "^2l^cm" for
// micrometres, and for most kinds a control record "12,1" or the like and three records "0"),
// then one record per point with comma-separated values. Also the naming rules these files
// share, the run number of the plots, and the guard that keeps them off the data they are
// made from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "session/state.h"
#include "qx/units.h"

namespace lumiray {

inline constexpr std::size_t kSecondaryBase = 26;    // base-name characters of secondary files
inline constexpr const char* kRunNumberFile = "lumiray.run";

// The base name of an output file: the name up to the first "." of its file-name part (a "."
// in a directory does not count), trailing blanks dropped.
std::string base_name(std::string_view name);
// A secondary file: the base name cut to 26 characters, then the extension.
std::string secondary_name(std::string_view base, std::string_view extension);

// Opens an output file for the command `who` (such as "?LQSORT"). Refuses, naming the file,
// the current data set and the coefficient file just read; otherwise a failure prints
// who " - Unable to open " name, and empty_lines empty records after it.
std::unique_ptr<qx::FileOutput> open_plot_file(Lumiray& s, const std::string& name, qx::FileOutput::Mode mode,
                                               std::string_view who, int empty_lines = 0);

// The header: title, horizontal and vertical labels, then (unless control is empty) the
// control record and three records "0".
void write_plot_header(qx::Output& f, std::string_view title, std::string_view x_label, std::string_view y_label,
                       std::string_view control = {});

// A count in an Iw field, or in the narrowest wider field that holds it (a field of stars
// would lose the count).
std::string count_field(std::int64_t n, int w);

// The next run number of the plots from "lumiray.run" (one integer: read, add 1, write back;
// a file that cannot be read starts again at 1), printed as "Run number n ......".
int take_run_number(qx::Output& out);

}  // namespace lumiray
