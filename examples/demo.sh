#!/bin/sh
# The main job end to end, in a scratch directory: the design program runs the macro demo.vcm,
# which loads the example lens system (a quadrupole triplet for 3 MeV protons), reports its
# third-order coefficients, system matrix, figure of merit, chromatic coefficients and
# thin-lens spherical aberration, saves it again and ends with EXIT 3, which writes the
# final-run listing. The files written are shown at the end.
set -eu
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vorne-demo.XXXXXX")
cp "$top"/examples/*.vrn "$top"/examples/*.vcm "$work"/
cd "$work"
echo "== vorne (in $work)"
printf '@demo\n' | "$top/$build/vorne/vorne"
echo
echo "== files written"
ls -l "$work"
echo "== triplet_saved.vrn"
cat triplet_saved.vrn
echo "== triplet_saved.lpt"
cat triplet_saved.lpt
