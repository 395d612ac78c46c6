// Placeholder until the list-directed reader lands.
#include "qx/listread.h"

namespace qx {

ReadStatus read_list(Input&, std::span<const ListItem>) { return ReadStatus::error; }
ReadStatus read_reals(Input& in, std::span<double> values) {
  std::vector<ListItem> items(values.begin(), values.end());
  return read_list(in, items);
}
std::optional<double> read_fixed_real(std::string_view) { return std::nullopt; }
std::optional<std::int64_t> read_fixed_int(std::string_view) { return std::nullopt; }

}  // namespace qx
