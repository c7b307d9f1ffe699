#!/bin/sh
# Builds the project's patched libpff: fetches Debian's bookworm source package
# of libpff 20180714 with apt-get source (enabling Debian's source packages in
# the apt sources when they are not yet), applies the patches kept in
# third_party/libpff/ and installs the library, its header and its pkg-config
# file into a project-local prefix. Only the library is built, never the
# programs of the source package. Idempotent: a prefix built from the same
# patches is kept as it is.
# Usage: scripts/build-libpff.sh [PREFIX]      (default: build-libpff/prefix)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK="$ROOT/build-libpff"
PREFIX=${1:-"$WORK/prefix"}
VERSION=20180714-3
PATCHES="$ROOT/third_party/libpff/patches"
LIBRARY_DIRS="include common libcerror libcthreads libcdata libclocale libcnotify libcsplit libuna libcfile libcpath libfcache libfdata libfdatetime libfguid libfwnt libfmapi libpff"

SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi

stamp=$(cat "$PATCHES"/*.patch | sha256sum | cut -d' ' -f1)
if [ -f "$PREFIX/lib/libpff.so" ] && [ "$(cat "$PREFIX/.tolvane-patches" 2>/dev/null)" = "$stamp" ]; then
  echo "patched libpff is up to date in $PREFIX"
  exit 0
fi

# Debian's source packages: add a deb-src entry for the mirror the machine
# already uses when apt cannot find the source package yet.
if ! apt-get source --print-uris "libpff=$VERSION" >/dev/null 2>&1; then
  mirror=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}' | grep -m1 '/debian/\?$' || true)
  if [ -z "$mirror" ]; then
    mirror=$(grep -hs '^deb ' /etc/apt/sources.list | awk '{print $2}' | grep -m1 '/debian/\?$' || true)
  fi
  mirror=${mirror:-http://deb.debian.org/debian}
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$mirror" | $SUDO tee /etc/apt/sources.list.d/tolvane-deb-src.sources >/dev/null
  $SUDO apt-get update
fi

rm -rf "$WORK/src"
mkdir -p "$WORK/src"
cd "$WORK/src"
apt-get source --download-only "libpff=$VERSION"
dpkg-source -x "libpff_$VERSION.dsc" libpff >/dev/null
cd libpff
for patch in "$PATCHES"/*.patch; do
  echo "applying $(basename "$patch")"
  patch -p1 --forward --quiet < "$patch"
done

./configure --prefix="$PREFIX" --enable-shared --disable-static --disable-python \
  --disable-nls --disable-dependency-tracking CFLAGS="${CFLAGS:--O2 -g}" >configure.log
# Overriding SUBDIRS keeps the build and the install to the library alone.
make -j"$(nproc)" SUBDIRS="$LIBRARY_DIRS" >make.log 2>&1 || { tail -30 make.log; exit 1; }
rm -rf "$PREFIX"
make SUBDIRS="$LIBRARY_DIRS" install >install.log
echo "$stamp" > "$PREFIX/.tolvane-patches"
echo "patched libpff installed in $PREFIX"
