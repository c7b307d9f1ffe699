#!/bin/sh
# Builds the Debian packages from a build tree with CPack (packaging/
# DebianPackages.cmake holds their settings): tolvane-cli_VERSION-1_ARCH.deb,
# the command line alone, and tolvane_VERSION-1_ARCH.deb, the window, which
# depends on it. A build without the window (TOLVANE_BUILD_GUI=OFF) makes
# tolvane-cli alone. The tree is brought up to date (nothing is rebuilt when
# the tests just built it), each package's files are staged, stripped and
# packed with the Depends dpkg-shlibdeps computes. The packages land in DEST;
# older tolvane-cli_*.deb and tolvane_*.deb there are removed.
# Usage: scripts/package.sh [BUILD_DIR [DEST]]   (default: build/, the source root)
# Prints the path of each package, one a line: tolvane-cli first, then tolvane.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
DEST=${2:-"$ROOT"}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  "$ROOT/scripts/build.sh" "$BUILD"
else
  cmake --build "$BUILD" -j"$(nproc)"
fi
BUILD=$(cd "$BUILD" && pwd)  # CPack runs in it
rm -rf "$BUILD/package"
(cd "$BUILD" && cpack -G DEB --config CPackConfig.cmake >"$BUILD/cpack.log" 2>&1) \
  || { cat "$BUILD/cpack.log" >&2; exit 1; }

PACKAGES="tolvane-cli"
if [ "$(sed -n 's/^TOLVANE_BUILD_GUI:BOOL=//p' "$BUILD/CMakeCache.txt")" != "OFF" ]; then
  PACKAGES="$PACKAGES tolvane"
fi
for package in $PACKAGES; do
  set -- "$BUILD"/package/"${package}"_*.deb
  if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "package.sh: CPack made no single ${package}_*.deb in $BUILD/package" >&2
    exit 1
  fi
done
mkdir -p "$DEST"
rm -f "$DEST"/tolvane-cli_*.deb "$DEST"/tolvane_*.deb
for package in $PACKAGES; do
  set -- "$BUILD"/package/"${package}"_*.deb
  cp "$1" "$DEST/"
  echo "$DEST/$(basename "$1")"
done
