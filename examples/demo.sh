#!/bin/sh
# The main job end to end, in a scratch directory. The design program runs the macro demo.vcm,
# which loads the example lens system (a quadrupole triplet for 3 MeV protons), reports its
# third-order coefficients, system matrix, figure of merit, chromatic coefficients and thin-lens
# spherical aberration, saves it again, writes its coefficient file triplet.cof (square
# collimator apertures) and ends with EXIT 3, which writes the final-run listing. The ray-trace
# program then runs the macro demo.lcm: it reads triplet.cof, makes a regular ray set (an 11 x 11
# grid of object points times an 11 x 11 grid of aperture points, mapped to the end of the
# system), lists the first rays and counts them, sorts the set into a 25 x 25 grid
# (triplet.agp) and maps it in the X image plane to the PostScript file plt01.ps; then it
# measures the spot there (SPOT), scans it through focus (SPOT/S, triplet.spt) and maps the
# beam at its smallest spot to the SVG file plt02.svg (MAP/V). The files written are shown at
# the end, and where the maps are.
set -eu
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
case $build in
  /*) bin=$build ;;
  *) bin=$top/$build ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/vorne-demo.XXXXXX")
cp "$top"/examples/*.vrn "$top"/examples/*.vcm "$top"/examples/*.lcm "$work"/
cd "$work"
echo "== vorne (in $work)"
printf '@demo\n' | "$bin/vorne/vorne"
echo
echo "== lumiray (in $work)"
printf '@demo\n' | "$bin/lumiray/lumiray"
echo
echo "== files written"
ls -l "$work"
echo "== triplet_saved.vrn"
cat triplet_saved.vrn
echo "== triplet_saved.lpt"
cat triplet_saved.lpt
echo "== triplet.cof"
cat triplet.cof
echo "== the map of the ray set in the X image plane: $work/plt01.ps"
echo "   as a picture: gs -dSAFER -dBATCH -dNOPAUSE -sPAPERSIZE=letter -sDEVICE=png16m -r100 \\"
echo "                    -sOutputFile=map.png $work/plt01.ps"
svg=$(ls "$work"/plt*.svg | tail -n 1)
echo "== the beam at its smallest spot: $svg"
echo "   an SVG picture: open it in any web browser"
