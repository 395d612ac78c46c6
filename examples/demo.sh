#!/bin/sh
# The main job end to end, in a scratch directory: the design program loads the example
# lens system and reports on it; the files it writes are listed at the end.
set -eu
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vorne-demo.XXXXXX")
cp "$top"/examples/*.vrn "$top"/examples/*.vcm "$work"/ 2>/dev/null || true
cd "$work"
echo "== vorne (in $work)"
"$top/$build/vorne/vorne" < "$top/examples/demo.vcm"
echo "== files written"
ls -l "$work"
