#!/bin/sh
# Configures and builds Tolvane into a build directory.
# Usage: scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
[ $# -gt 0 ] && shift
# The patched libpff (TOLVANE_PATCHED_LIBPFF=ON in the environment or as a
# cmake argument) is built from Debian's source package first.
case " ${TOLVANE_PATCHED_LIBPFF:-} $* " in
  *" ON "*|*"-DTOLVANE_PATCHED_LIBPFF=ON "*)
    "$ROOT/scripts/build-libpff.sh"
    set -- "$@" -DTOLVANE_PATCHED_LIBPFF=ON ;;
esac
cmake -S "$ROOT" -B "$BUILD" "$@" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
