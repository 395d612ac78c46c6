#!/bin/sh
# Installs the Debian packages the build and the tests need, only those that are missing:
# the stroke-font data the font tables are made from, and the programs the tests use to
# render and check our PostScript, HPGL and SVG plot files.
set -eu
PACKAGES="hershey-fonts-data ghostscript hp2xx librsvg2-bin libxml2-utils"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "Missing packages:$missing (install them with your package manager)" >&2
  exit 1
fi
SUDO=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "Missing packages:$missing (run: apt-get install$missing as root)" >&2
    exit 1
  fi
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet.
$SUDO apt-get install -y --no-install-recommends $missing >/dev/null 2>&1 || {
  $SUDO apt-get update >/dev/null
  $SUDO apt-get install -y --no-install-recommends $missing >/dev/null
}
