#!/bin/sh
# Sets up the machine, builds Tolvane and runs every test.
# Usage: scripts/test.sh            install, build, run the test suite
#        scripts/test.sh asan       the same in an AddressSanitizer+UBSan build
#        scripts/test.sh tsan       the same in a ThreadSanitizer build
# The plain run then builds the Debian packages from the same build tree and
# checks them installed (scripts/package-check.sh, as root), and ends with the
# fault table (damaged, hostile and changing mailboxes, destination faults) in
# an AddressSanitizer+UBSan build.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
MODE=${1:-plain}

"$ROOT/scripts/install-deps.sh"

case "$MODE" in
  plain) BUILD="$ROOT/build"; EXTRA="" ;;
  asan)  BUILD="$ROOT/build-asan"; EXTRA="-DTOLVANE_SANITIZE=address" ;;
  tsan)  BUILD="$ROOT/build-tsan"; EXTRA="-DTOLVANE_SANITIZE=thread" ;;
  *) echo "usage: $0 [plain|asan|tsan]" >&2; exit 2 ;;
esac

# shellcheck disable=SC2086
"$ROOT/scripts/build.sh" "$BUILD" $EXTRA

export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan-suppressions.txt}
# GLib's slice allocator hands memory from thread to thread through locks the
# race detector cannot see (GLib is not instrumented); with plain malloc it can.
if [ "$MODE" = "tsan" ]; then export G_SLICE=always-malloc; fi
cd "$BUILD"
# -noreset: by default the X server resets whenever its last client leaves,
# and a test starting during that reset cannot connect. Tests start and end
# by the hundred here, so the server must stay up between them.
xvfb-run -a -s "-screen 0 1600x1000x24 -noreset" ctest --output-on-failure -j"$(nproc)" --timeout 600

if [ "$MODE" = "plain" ]; then
  if [ "$(id -u)" = "0" ]; then
    "$ROOT/scripts/package-check.sh" "$BUILD"
  else
    echo "skipping the package check: it installs and removes the package, run as root" >&2
  fi
  PATCHED=$(sed -n 's/^TOLVANE_PATCHED_LIBPFF:BOOL=//p' "$BUILD/CMakeCache.txt")
  FAULTS="$ROOT/build-asan-faults"
  cmake -S "$ROOT" -B "$FAULTS" -DTOLVANE_SANITIZE=address -DTOLVANE_BUILD_GUI=OFF \
    -DTOLVANE_PATCHED_LIBPFF="${PATCHED:-OFF}" >/dev/null
  cmake --build "$FAULTS" -j"$(nproc)" --target robustness_test tolvane-cli
  cd "$FAULTS"
  ./bin/robustness_test
fi
