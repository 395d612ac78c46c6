// Sensitivity of the designed system to imperfect quadrupoles: a parasitic sextupole or
// octupole field on each quadrupole in turn (PARASI), a rotation about the axis (ROTN) or a
// transverse displacement (DISP). Each report perturbs one quadrupole at a time, walks the
// system, prints the change per unit of perturbation on the terminal, and puts the table,
// tilts, offsets and the last walk's results back as they were (DISP's offsets come back
// rounded to single precision, as it keeps them).
#pragma once

#include "qx/command.h"
#include "session/state.h"

namespace vorne {

// PARASI [S|O] [percent].
void cmd_parasi(Vorne& v, const qx::CommandLine& line);
// The rotational and displacement reports of ROTN and DISP (without Z, A or /I).
void rotation_report(Vorne& v, const qx::CommandLine& line);
void displacement_report(Vorne& v, const qx::CommandLine& line);

// kind 'S' sextupoles only, 'O' octupoles only, anything else both; percent the parasitic
// field as a percentage of the quadrupole field (5 % when not above 1E-10).
void parasitic_report(Vorne& v, char kind, double percent);

// letter 'D': coefficients per degree, else per radian; angle in degrees (1 degree when not
// above 1E-10).
void rotational_report(Vorne& v, char letter, double angle);

// offset in metres (1 mm when not above 1E-10); the letter is not used.
void displacement_aberration_report(Vorne& v, double offset);

}  // namespace vorne
