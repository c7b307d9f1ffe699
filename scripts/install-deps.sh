#!/bin/sh
# Installs every Debian package the build, the tests, the benchmarks and the
# Debian packages (their build and scripts/package-check.sh) need.
# Idempotent: safe to run again; run as root (or through sudo).
set -eu

PACKAGES="
  build-essential cmake pkg-config g++ clang python3 git
  dpkg-dev patch zlib1g-dev
  libpff-dev libbfio-dev pst-utils
  libgmime-3.0-dev libical-dev python3-icalendar libssl-dev
  khard python3-vobject unicode-cldr-core
  notmuch maildir-utils parallel dovecot-imapd thunderbird
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-svg-dev libqt6svg6
  libgl-dev
  libgtest-dev googletest libgmock-dev
  xvfb xauth
  time
  imagemagick
  fonts-dejavu-core fonts-wqy-microhei
  scdoc librsvg2-bin file
  lintian desktop-file-utils appstream shared-mime-info xdg-utils man-db bash-completion xdotool
"

SUDO=""
if [ "$(id -u)" != "0" ]; then SUDO="sudo"; fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  # shellcheck disable=SC2086
  $SUDO apt-get install -y --no-install-recommends $missing
fi
