#!/bin/sh
# Builds Debian's libpff source with the project's patches (the library the
# project links by default) as a static library instrumented for the fuzzer:
# AddressSanitizer and libFuzzer's coverage, with every companion library
# taken from the source package so that all of them are instrumented. A build
# of other patches than the current ones is made again.
# Usage: fuzz/build-libpff.sh [PREFIX]     (default: build-fuzz-libpff/prefix)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK="$ROOT/build-fuzz-libpff"
PREFIX=${1:-"$WORK/prefix"}
VERSION=20180714-3
PATCHES="$ROOT/third_party/libpff/patches"

stamp=$(cat "$PATCHES"/*.patch | sha256sum | cut -d' ' -f1)
if [ -f "$PREFIX/lib/libpff.a" ] && [ -f "$PREFIX/lib/pkgconfig/libpff.pc" ] \
   && [ "$(cat "$PREFIX/.tolvane-patches" 2>/dev/null)" = "$stamp" ]; then
  echo "instrumented libpff is ready in $PREFIX"
  exit 0
fi

mkdir -p "$WORK"
cd "$WORK"
if [ ! -f "libpff_$VERSION.dsc" ]; then
  if [ -f "$ROOT/build-libpff/src/libpff_$VERSION.dsc" ]; then
    cp "$ROOT/build-libpff/src/"libpff_* .
  else
    apt-get source --download-only "libpff=$VERSION"
  fi
fi
# Always from pristine source, so the patches apply to what they were made for.
rm -rf src
dpkg-source -x "libpff_$VERSION.dsc" src >/dev/null
cd src
for patch in "$PATCHES"/*.patch; do
  patch -p1 --forward --quiet < "$patch"
done

LOCAL=""
for library in libcerror libcthreads libcdata libclocale libcnotify libcsplit libuna libcfile libcpath libbfio \
               libfcache libfdata libfdatetime libfguid libfvalue libfwnt libfmapi; do
  LOCAL="$LOCAL --with-$library=no"
done
# shellcheck disable=SC2086
CC=clang CFLAGS="-O1 -g -fno-omit-frame-pointer -fsanitize=address -fsanitize=fuzzer-no-link" \
  ./configure --prefix="$PREFIX" --disable-shared --enable-static --disable-python --disable-nls \
  --disable-dependency-tracking $LOCAL >configure.log
SUBDIRS="include common libcerror libcthreads libcdata libclocale libcnotify libcsplit libuna libcfile libcpath \
libbfio libfcache libfdata libfdatetime libfguid libfvalue libfwnt libfmapi libpff"
make -j2 SUBDIRS="$SUBDIRS" >make.log
rm -rf "$PREFIX"
make SUBDIRS="$SUBDIRS" install >install.log
echo "$stamp" > "$PREFIX/.tolvane-patches"
echo "instrumented libpff installed in $PREFIX"
