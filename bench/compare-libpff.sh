#!/bin/sh
# Checks that the patched libpff gives the same results as Debian's libpff:
# `tolvane-cli scan --json` and the floor's item dump must be identical under
# both libraries for every real sample and for generated mailboxes. The same
# binaries run twice; the library is chosen with LD_LIBRARY_PATH, which the
# dynamic loader searches before a binary's RUNPATH.
# Usage: bench/compare-libpff.sh BUILD_DIR [PATCHED_PREFIX]
# Exit status 77 (skipped) when the patched library or the tools are absent.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:?usage: compare-libpff.sh BUILD_DIR [PATCHED_PREFIX]}
PREFIX=${2:-"$ROOT/build-libpff/prefix"}
SAMPLES=${TOLVANE_SAMPLES_DIR:-"$ROOT/../shared/pst-samples"}
CLI="$BUILD/bin/tolvane-cli"
FLOOR="$BUILD/bin/pff-floor"
MKPST="$BUILD/bin/mkpst"

if [ ! -f "$PREFIX/lib/libpff.so.1" ]; then
  echo "SKIP: no patched libpff in $PREFIX (scripts/build-libpff.sh builds it)"
  exit 77
fi
SYSTEM_LIBDIR=$(dirname "$(ldconfig -p | awk '/libpff\.so\.1 /{print $NF; exit}')")
if [ -z "$SYSTEM_LIBDIR" ] || [ ! -f "$SYSTEM_LIBDIR/libpff.so.1" ]; then
  echo "SKIP: Debian's libpff is not installed"
  exit 77
fi
if [ ! -x "$FLOOR" ]; then
  echo "SKIP: $FLOOR is not built"
  exit 77
fi

# The loader must really pick the library asked for.
for libdir in "$PREFIX/lib" "$SYSTEM_LIBDIR"; do
  loaded=$(LD_LIBRARY_PATH="$libdir" ldd "$FLOOR" | awk '/libpff\.so\.1/{print $3}')
  if [ "$(dirname "$loaded")" != "$libdir" ]; then
    echo "FAIL: asked for libpff in $libdir, the loader took $loaded"
    exit 1
  fi
done

WORKDIR=$(mktemp -d)
trap 'rm -rf "$WORKDIR"' EXIT INT TERM

files=""
if [ -d "$SAMPLES" ]; then
  files=$(find "$SAMPLES" -name '*.pst' -o -name '*.ost' | sort)
else
  echo "note: no real samples in $SAMPLES, checking generated mailboxes only"
fi
if [ -x "$MKPST" ]; then
  for seed in 1 2 3; do
    if "$MKPST" --messages $((seed * 700)) --big-folder 300 --contacts 20 --appointments 20 \
        --seed "$seed" "$WORKDIR/generated-$seed.pst" >/dev/null 2>&1; then
      files="$files $WORKDIR/generated-$seed.pst"
    else
      echo "note: mkpst could not write a mailbox with seed $seed"
    fi
  done
fi

failures=0
checked=0
for file in $files; do
  for tool in floor scan; do
    for variant in system patched; do
      if [ $variant = system ]; then libdir="$SYSTEM_LIBDIR"; else libdir="$PREFIX/lib"; fi
      out="$WORKDIR/$tool.$variant"
      case $tool in
        floor) LD_LIBRARY_PATH="$libdir" "$FLOOR" --dump "$file" >"$out" 2>/dev/null || echo "exit $?" >>"$out" ;;
        scan)
          if [ ! -x "$CLI" ]; then continue 2; fi
          LD_LIBRARY_PATH="$libdir" "$CLI" scan --json "$file" >"$out.raw" 2>&1 || echo "exit $?" >>"$out.raw"
          # Each run has a temporary directory of its own (<pid>-<random>), named in attachment paths.
          sed -E 's#(/tolvane-[0-9]+/)[0-9]+-[A-Za-z0-9]+/#\1<process>/#g' "$out.raw" >"$out" ;;
      esac
    done
    checked=$((checked + 1))
    if cmp -s "$WORKDIR/$tool.system" "$WORKDIR/$tool.patched"; then
      echo "same: $tool $(basename "$file")"
    else
      echo "DIFFERENT: $tool $(basename "$file")"
      diff "$WORKDIR/$tool.system" "$WORKDIR/$tool.patched" | head -20
      failures=$((failures + 1))
    fi
  done
done
echo "$checked comparisons, $failures different"
[ "$failures" -eq 0 ]
