// Planes behind the lens system: straight-line propagation of a ray, the X and Y image planes
// from the paraxial rays, the extents of a set in a plane and the dialogues that choose a
// plane. Every distance z is in metres from the end of the system; the dialogues speak
// micrometres.
#pragma once

#include <optional>
#include <string_view>

#include "analysis/ray_source.h"
#include "session/state.h"
#include "qx/command.h"
#include "qx/constants.h"

namespace lumiray {

using qx::kMicrometresPerMetre;

// Where a ray crosses the plane at z: (x + th z, y + ph z).
struct Point {
  double x = 0.0, y = 0.0;
};
inline Point at_plane(const Ray& r, double z) { return Point{r.x + r.th * z, r.y + r.ph * z}; }

// The image planes of the set: zx = -(x2 - x1)/(th2 - th1), zy likewise, from the paraxial
// rays 1 and 2.
struct ImagePlanes {
  double zx = 0.0, zy = 0.0;
};
// When the paraxial rays do not define the planes (no slope difference, or fewer than two
// rays), "Bad paraxial rays." is printed and both planes are 0. SORT, PROFIL, MAXIMA and DIFF
// test each slope difference against 1.0E-20; MAP, PLOT and SHADOW their product against
// 1.0E-30.
enum class ParaxialTest { each_slope, slope_product };
ImagePlanes image_planes(RaySource& rays, ParaxialTest test, qx::Output& out);

// The smallest and largest x and y in a plane. Points that are not finite are left out.
struct Extents {
  double xmin = 0.0, xmax = 0.0, ymin = 0.0, ymax = 0.0;
  bool empty = true;
  void add(Point p);
  double xrange() const { return xmax - xmin; }
  double yrange() const { return ymax - ymin; }
  // The largest of |xmin|, |xmax|, |ymin|, |ymax|.
  double largest() const;
};
// Extents at z of rays first..count(). Empty when the set ended early (it said why).
std::optional<Extents> extents_at(RaySource& rays, double z, long first, Extents start = {});

// A plane typed as an argument: the value of register An when the argument text is A0..A9,
// otherwise the line's number (both in micrometres).
double plane_argument(const Registers& reg, const qx::CommandLine& line);
// The argument text names a register A0..A9.
std::optional<int> register_argument(const qx::CommandLine& line);

// The plane dialogue of MAP and PLOT: X or Y image plane, F or G focal position (offered once
// FAKE has found them) or another plane typed in micrometres. Empty at the end of the input.
// A letter in `answer` (a command's option, such as SPOT/X) is taken as the first answer.
std::optional<double> ask_plane(Lumiray& s, const ImagePlanes& planes, char answer = ' ');

// The plane question of SORT and DIFF: the image planes in micrometres, then
// "Image distance (micron) (CR for 0) > ". Empty at the end of the input.
std::optional<double> ask_image_distance(Lumiray& s, const ImagePlanes& planes);

}  // namespace lumiray
