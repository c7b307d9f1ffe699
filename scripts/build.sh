#!/bin/sh
# Configures and builds Tolvane into a build directory.
# Usage: scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
[ $# -gt 0 ] && shift
# The project's patched libpff (faster open and item access on big mailboxes)
# is built from Debian's source package first and linked instead of the
# system library. TOLVANE_PATCHED_LIBPFF=OFF in the environment (or
# -DTOLVANE_PATCHED_LIBPFF=OFF) keeps the system library; when the source
# package cannot be fetched or built, the build falls back to it with a warning.
PATCHED=${TOLVANE_PATCHED_LIBPFF:-ON}
case " $* " in
  *" -DTOLVANE_PATCHED_LIBPFF=OFF "*) PATCHED=OFF ;;
  *" -DTOLVANE_PATCHED_LIBPFF=ON "*) PATCHED=ON ;;
esac
if [ "$PATCHED" = "ON" ]; then
  if "$ROOT/scripts/build-libpff.sh"; then
    set -- "$@" -DTOLVANE_PATCHED_LIBPFF=ON
  else
    echo "warning: the patched libpff could not be built; using the system libpff" >&2
    set -- "$@" -DTOLVANE_PATCHED_LIBPFF=OFF
  fi
else
  set -- "$@" -DTOLVANE_PATCHED_LIBPFF=OFF
fi
cmake -S "$ROOT" -B "$BUILD" "$@" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
