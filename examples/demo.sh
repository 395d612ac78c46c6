#!/bin/sh
# The main job end to end, in a scratch directory. The design program runs the macro demo.vcm,
# which loads the example lens system (a quadrupole triplet for 3 MeV protons), reports its
# third-order coefficients, system matrix, figure of merit, chromatic coefficients and thin-lens
# spherical aberration, saves it again, writes its coefficient file triplet.cof (square
# collimator apertures) and ends with EXIT 3, which writes the final-run listing. The ray-trace
# program then reads triplet.cof, makes a regular ray set (a 3 x 3 grid of object points times
# a 3 x 3 grid of aperture points, mapped to the end of the system), lists the first rays and
# counts them. The files written are shown at the end.
set -eu
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
case $build in
  /*) bin=$build ;;
  *) bin=$top/$build ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/vorne-demo.XXXXXX")
cp "$top"/examples/*.vrn "$top"/examples/*.vcm "$work"/
cd "$work"
echo "== vorne (in $work)"
printf '@demo\n' | "$bin/vorne/vorne"
echo
echo "== lumiray (in $work)"
# FAKE/N: no review of the coefficients. Answers: regular mode, 16 rays (4 object and 4
# aperture points per plane before the grid is centred), square apertures, object 10 x 10
# micron, aperture 2 x 2 mm, no aperture offset, no energy spread, no flux peaking, quit.
printf 'FAKE/N triplet\n2\n16\nS\n10 10\n2 2\n0 0\n0\n0 0\nQ\nVALUES 5\nNTOT\nEXIT\n' | "$bin/lumiray/lumiray"
echo
echo "== files written"
ls -l "$work"
echo "== triplet_saved.vrn"
cat triplet_saved.vrn
echo "== triplet_saved.lpt"
cat triplet_saved.lpt
echo "== triplet.cof"
cat triplet.cof
