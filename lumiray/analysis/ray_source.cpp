#include "analysis/ray_source.h"

#include "io/lqio.h"

namespace lumiray {

bool DataSet::ready(std::string_view who) const {
  static const qx::Format kNoSet{"(1H ,A,' - No ray file is open; use DATA or FAKE first.')"};
  static const qx::Format kNoRays{"(1H ,A,' - The data set holds no rays.')"};
  if (!s_.rays.reader) {
    s_.out.write(kNoSet, std::string(who));
    return false;
  }
  if (s_.ntot > 0) return true;
  s_.out.write(kNoRays, std::string(who));
  return false;
}

long DataSet::count() const { return s_.rays.reader ? s_.ntot : 0; }

bool DataSet::get(long index, Ray& r) {
  if (index < 1 || index > count()) return false;
  return lqio_read(s_.lqio(), index, r);
}

}  // namespace lumiray
