#!/bin/sh
# Builds the Debian package tolvane_VERSION_ARCH.deb from a build tree with
# CPack (packaging/CMakeLists.txt holds the package's settings): the tree is
# brought up to date (nothing is rebuilt when the tests just built it), the
# install is staged, stripped and packed with the Depends dpkg-shlibdeps
# computes. The package lands in DEST, an older tolvane_*.deb there is removed.
# Usage: scripts/package.sh [BUILD_DIR [DEST]]   (default: build/, the source root)
# Prints the package's path on the last line.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
DEST=${2:-"$ROOT"}
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  "$ROOT/scripts/build.sh" "$BUILD"
else
  cmake --build "$BUILD" -j"$(nproc)"
fi
rm -rf "$BUILD/package"
(cd "$BUILD" && cpack -G DEB --config CPackConfig.cmake >"$BUILD/cpack.log" 2>&1) \
  || { cat "$BUILD/cpack.log" >&2; exit 1; }
set -- "$BUILD"/package/tolvane_*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "package.sh: CPack made no single tolvane_*.deb in $BUILD/package" >&2
  exit 1
fi
mkdir -p "$DEST"
rm -f "$DEST"/tolvane_*.deb
cp "$1" "$DEST/"
echo "$DEST/$(basename "$1")"
