#!/bin/sh
# Builds and runs the scan-and-convert fuzz target for a given time, then
# minimises every crash, hang and out-of-memory input it found into
# tests/data/ as a regression input.
# Usage: scripts/fuzz.sh [--recover] [SECONDS]          (default 600)
#   --recover: every input is scanned with recovery (deleted and orphan items)
# Environment: FUZZ_BUILD (default build-fuzz), FUZZ_ARGS (extra libFuzzer flags).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--recover" ]; then
  export TOLVANE_FUZZ_RECOVER=1
  shift
fi
SECONDS_TO_RUN=${1:-600}
BUILD=${FUZZ_BUILD:-"$ROOT/build-fuzz"}
SAMPLES="$ROOT/../shared/pst-samples"
PFF_PREFIX="$ROOT/build-fuzz-libpff/prefix"

"$ROOT/fuzz/build-libpff.sh" "$PFF_PREFIX"

mkdir -p "$BUILD"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOLVANE_FUZZ=ON -DTOLVANE_SANITIZE=address -DTOLVANE_BUILD_GUI=OFF -DTOLVANE_BUILD_TESTS=OFF \
  -DTOLVANE_PATCHED_LIBPFF=ON -DTOLVANE_LIBPFF_PREFIX="$PFF_PREFIX" >"$BUILD/tolvane-configure.log" 2>&1 \
  || { cat "$BUILD/tolvane-configure.log"; exit 1; }
cmake --build "$BUILD" --target tolvane_fuzz_scan_convert -j2
FUZZER="$BUILD/bin/tolvane_fuzz_scan_convert"

# Seeds: the real samples (read in place), the regression inputs and, when the
# PST writer's tool is built, a few small generated mailboxes.
CORPUS="$BUILD/corpus"
SEEDS="$BUILD/seeds"
ARTIFACTS="$BUILD/artifacts"
mkdir -p "$CORPUS" "$SEEDS" "$ARTIFACTS"
if cmake --build "$BUILD" --target mkpst -j2 >/dev/null 2>&1 && [ -x "$BUILD/bin/mkpst" ]; then
  [ -f "$SEEDS/small-mixed.pst" ] || "$BUILD/bin/mkpst" --messages 12 --folders 3 --depth 2 --attachment-ratio 0.5 \
    --attachment-size 600 --embedded-ratio 0.3 --contacts 2 --appointments 2 "$SEEDS/small-mixed.pst" >/dev/null
  [ -f "$SEEDS/small-plain.pst" ] || "$BUILD/bin/mkpst" --messages 6 --folders 2 --attachment-ratio 0 \
    --embedded-ratio 0 --encoding none "$SEEDS/small-plain.pst" >/dev/null
  [ -f "$SEEDS/deleted.pst" ] || "$BUILD/bin/mkpst" --messages 8 --folders 2 --deleted 6 --attachment-ratio 0.5 \
    --attachment-size 400 --seed 11 "$SEEDS/deleted.pst" >/dev/null
  [ -f "$SEEDS/nested.pst" ] || "$BUILD/bin/mkpst" --messages 8 --folders 6 --depth 5 --embedded-ratio 1 \
    --attachment-ratio 0.2 --attachment-size 300 --seed 7 "$SEEDS/nested.pst" >/dev/null
  # An offline cache: the same structure, content type "SO".
  [ -f "$SEEDS/cache.ost" ] || "$BUILD/bin/mkpst" --ost --messages 8 --folders 3 --attachment-ratio 0.3 \
    --attachment-size 300 --seed 5 "$SEEDS/cache.ost" >/dev/null
fi
SEED_DIRS="$SEEDS"
[ -d "$SAMPLES" ] && SEED_DIRS="$SEED_DIRS $SAMPLES"
[ -d "$ROOT/tests/data" ] && SEED_DIRS="$SEED_DIRS $ROOT/tests/data"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC

LOG="$BUILD/fuzz-$(date -u +%Y%m%dT%H%M%S).log"
# One job: the machine's cores are shared.
# shellcheck disable=SC2086
"$FUZZER" -max_total_time="$SECONDS_TO_RUN" -timeout=30 -rss_limit_mb=4096 -max_len=300000 \
  -artifact_prefix="$ARTIFACTS/" -print_final_stats=1 ${FUZZ_ARGS:-} "$CORPUS" $SEED_DIRS 2>&1 | tee "$LOG" \
  | grep -E '^#[0-9]+ +(INITED|DONE|pulse)|ERROR|SUMMARY|stat::' || true
executions=$(grep -E '^stat::number_of_executed_units' "$LOG" | awk '{print $2}' | tail -1)
echo "$(date -u +%FT%TZ) seconds=$SECONDS_TO_RUN executions=${executions:-?} log=$LOG" >>"$BUILD/fuzz-runs.txt"
echo "executions this run: ${executions:-?}"

# Minimise what was found into tests/data/.
mkdir -p "$ROOT/tests/data"
found=0
for artifact in "$ARTIFACTS"/crash-* "$ARTIFACTS"/timeout-* "$ARTIFACTS"/oom-* "$ARTIFACTS"/leak-*; do
  [ -f "$artifact" ] || continue
  found=$((found + 1))
  kind=$(basename "$artifact" | cut -d- -f1)
  hash=$(sha1sum "$artifact" | cut -c1-12)
  target="$ROOT/tests/data/fuzz-$kind-$hash.pst"
  [ -f "$target" ] && { rm -f "$artifact"; continue; }
  echo "minimising $artifact"
  "$FUZZER" -minimize_crash=1 -max_total_time=300 -timeout=30 -exact_artifact_path="$target" "$artifact" \
    >"$artifact.minimize.log" 2>&1 || true
  [ -f "$target" ] || cp "$artifact" "$target"
  echo "kept $(basename "$target") ($(stat -c %s "$target") bytes)"
  mv "$artifact" "$artifact.done"
done
echo "new artifacts: $found"
