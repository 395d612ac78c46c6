// Placeholders for the commands and computations of later parts of the program. Each is
// removed from here by the part that provides it; until then a command is accepted and does
// nothing. Kept one per paragraph so that parts landing separately do not touch each other's
// lines.
#include "commands.h"
#include "hooks.h"

#include <algorithm>

namespace vorne {

// ---- Computations ------------------------------------------------------------------------------

// Placeholder walk: the geometric bookkeeping only (System End row, lens centres, total length,
// lens-region mid-point), in the walk's own rules: a lens (polarity not 0, not supra) and a
// drift advance z by their length, anything else does not.
void system_walk(Vorne& v, int) {
  LensSystem& s = v.sys;
  const int end = find_system_end(s);
  double z = 0.0;
  double start = 0.0;
  bool seen_lens = false;
  for (int iz = kFirstElementRow; end != 0 && iz < end; ++iz) {
    const TypeCode t = s.type_at(iz);
    if (t.supra != 0) continue;
    const double len = s.p(iz, 2);
    if (t.polarity != 0) {
      if (!seen_lens) start = z;
      seen_lens = true;
      s.p(iz, 5) = z + len / 2.0;
      z += len;
    } else if (t.type == kDrift) {
      z += len;
    }
  }
  if (end != 0) s.izend = end;
  s.total_length = z;
  s.lens_mid = start + (z - start) / 2.0;
}

double fitting_objective(Vorne&) { return 0.0; }

void build_variable_list(Vorne&) {}

void final_run_reports(Vorne&) {}

// ---- Commands ----------------------------------------------------------------------------------

void cmd_elemen(Vorne&, const qx::CommandLine&) {}

void cmd_couple(Vorne&, const qx::CommandLine&) {}

void cmd_insert(Vorne&, const qx::CommandLine&) {}

void cmd_remove(Vorne&, const qx::CommandLine&) {}

void cmd_squeez(Vorne&, const qx::CommandLine&) {}

void cmd_effect(Vorne&, const qx::CommandLine&) {}

void cmd_p(Vorne&, const qx::CommandLine&) {}

void cmd_ptf(Vorne&, const qx::CommandLine&) {}

void cmd_s(Vorne&, const qx::CommandLine&) {}

void cmd_mask(Vorne&, const qx::CommandLine&) {}

void cmd_agp(Vorne&, const qx::CommandLine&) {}

void cmd_trace(Vorne&, const qx::CommandLine&) {}

void cmd_spec(Vorne&, const qx::CommandLine&) {}

void cmd_third(Vorne&, const qx::CommandLine&) {}

void cmd_ab3(Vorne&, const qx::CommandLine&) {}

void cmd_smat(Vorne&, const qx::CommandLine&) {}

void cmd_system(Vorne&, const qx::CommandLine&) {}

void cmd_russ(Vorne&, const qx::CommandLine&) {}

void cmd_excite(Vorne&, const qx::CommandLine&) {}

void cmd_vector(Vorne&, const qx::CommandLine&) {}

void cmd_ab2(Vorne&, const qx::CommandLine&) {}

void cmd_cram(Vorne&, const qx::CommandLine&) {}

void cmd_element_report(Vorne&, const qx::CommandLine&) {}

void cmd_fishk(Vorne&, const qx::CommandLine&) {}

void cmd_parasi(Vorne&, const qx::CommandLine&) {}

void cmd_cofout(Vorne&, const qx::CommandLine&) {}

void rotation_report(Vorne&, const qx::CommandLine&) {}

void displacement_report(Vorne&, const qx::CommandLine&) {}

}  // namespace vorne
