#!/bin/sh
# Configures and builds Tolvane into a build directory.
# Usage: scripts/build.sh [BUILD_DIR] [extra cmake arguments...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
[ $# -gt 0 ] && shift
cmake -S "$ROOT" -B "$BUILD" "$@" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
