#!/bin/sh
# Checks the Debian package as a user gets it, on this machine, as root:
# builds it from the build tree (scripts/package.sh, no rebuild), installs it
# with apt-get, runs the installed programs (version, a conversion of the demo
# mailbox checked with verify, the window under Xvfb), checks the desktop
# integration (file type, default application, icons, manual page), runs
# lintian, then purges the package and checks nothing of it is left.
# A tolvane package installed before (an earlier run) is purged first, so
# every run checks a fresh install.
# Usage: scripts/package-check.sh [BUILD_DIR]      (default: build/)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
if [ "$(id -u)" != "0" ]; then
  echo "package-check.sh: run as root (it installs and removes the package)" >&2
  exit 2
fi
export DEBIAN_FRONTEND=noninteractive
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
PATCHED=$(sed -n 's/^TOLVANE_PATCHED_LIBPFF:BOOL=//p' "$BUILD/CMakeCache.txt")
DEB=$("$ROOT/scripts/package.sh" "$BUILD" "$WORK" | tail -n 1)
echo "package: $(basename "$DEB")"

if dpkg-query -W -f='${Status}' tolvane 2>/dev/null | grep -q 'ok installed'; then
  echo "purging the tolvane package installed before"
  apt-get remove --purge -y tolvane >/dev/null
fi

# Minimal images keep dpkg from unpacking manual pages (path-exclude in
# /etc/dpkg/dpkg.cfg.d/). Say so, and unpack this package's pages all the
# same so the check below looks at a real page rather than passing by default.
APT_OPTIONS=""
if grep -hs '^path-exclude' /etc/dpkg/dpkg.cfg.d/* | grep -q '/usr/share/man'; then
  echo "note: dpkg excludes /usr/share/man on this machine; tolvane's pages are included for this install"
  APT_OPTIONS="-o Dpkg::Options::=--path-include=/usr/share/man/man1/tolvane*.1.gz"
  APT_OPTIONS="$APT_OPTIONS -o Dpkg::Options::=--path-include=/usr/share/man/man1/mkpst.1.gz"
fi
# shellcheck disable=SC2086
apt-get install -y $APT_OPTIONS "$DEB" >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log"; exit 1; }
pass "installed $(dpkg-query -W -f='${Package} ${Version}' tolvane)"
dpkg -L tolvane | sort >"$WORK/files"

# The programs.
for program in tolvane-cli tolvane; do
  got=$("/usr/bin/$program" --version 2>&1) || true
  if [ "$got" = "$program $VERSION" ]; then pass "/usr/bin/$program --version: $got"
  else fail "/usr/bin/$program --version printed '$got', expected '$program $VERSION'"; fi
done
if [ "$PATCHED" = "ON" ]; then
  libpff=$(ldd /usr/bin/tolvane-cli | awk '$1 ~ /^libpff/ { print $3 }')
  libpff=$(readlink -f "$libpff")
  case "$libpff" in
    /usr/lib/*/tolvane/libpff.so.*|/usr/lib/tolvane/libpff.so.*) pass "tolvane-cli loads the private $libpff" ;;
    *) fail "tolvane-cli loads libpff from '$libpff', not from the package's private directory" ;;
  esac
fi
mkdir "$WORK/out"
status=0
/usr/bin/tolvane-cli convert "$BUILD/demo/demo.pst" "$WORK/out" >"$WORK/convert.log" 2>&1 || status=$?
output=$(find "$WORK/out" -mindepth 1 -maxdepth 1 -type d | head -n 1)
emls=$(find "$WORK/out" -name '*.eml' | wc -l)
if [ "$status" -eq 0 ] && [ "$emls" -gt 0 ] && /usr/bin/tolvane-cli verify "$output" >"$WORK/verify.log" 2>&1; then
  pass "installed tolvane-cli converted the demo mailbox: $emls .eml files, verify agrees"
else
  fail "conversion of the demo mailbox: status $status, $emls .eml files"; cat "$WORK/convert.log" "$WORK/verify.log" >&2 || true
fi

# The window: starts from the installed files and shows its main window.
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null; then
  status=0
  # shellcheck disable=SC2016
  QTWEBENGINE_DISABLE_SANDBOX=1 timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
    /usr/bin/tolvane "$1" >"$2/window.log" 2>&1 &
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^Tolvane $3\$" | head -n 1)
    kill $! 2>/dev/null; wait $! 2>/dev/null
    [ -n "$window" ]' sh /usr/share/tolvane/demo.pst "$WORK" "$VERSION" || status=$?
  if [ "$status" -eq 0 ]; then pass "the installed window showed 'Tolvane $VERSION' under Xvfb"
  else fail "the installed window did not show under Xvfb"; cat "$WORK/window.log" >&2 || true; fi
else
  fail "xvfb-run or xdotool missing (scripts/install-deps.sh installs them)"
fi

# Desktop integration, read the way a desktop reads it: the file type from the
# shared MIME database, the default application from the desktop database
# (xdg-mime with no desktop session and an empty home of its own, so nothing
# but the system's files answers), the icons from the hicolor theme.
globs=$(grep -h ':\*\.pst$' /usr/share/mime/globs2 2>/dev/null | cut -d: -f2 | sort -u)
if [ "$globs" = "application/vnd.ms-outlook" ]; then pass "*.pst is application/vnd.ms-outlook in the MIME database"
else fail "*.pst in /usr/share/mime/globs2 is '${globs:-nothing}'"; fi
if grep -aq '^\[50:application/vnd.ms-outlook\]' /usr/share/mime/magic 2>/dev/null; then
  pass "the MIME database knows the \"!BDN\" magic"
else fail "no magic for application/vnd.ms-outlook in /usr/share/mime/magic"; fi
default=$(env -i PATH="$PATH" HOME="$WORK/home" xdg-mime query default application/vnd.ms-outlook 2>&1) || true
if [ "$default" = "tolvane.desktop" ]; then pass "xdg-mime: application/vnd.ms-outlook opens with $default"
else fail "xdg-mime query default application/vnd.ms-outlook answered '$default'"; fi
for size in 16x16 32x32 48x48 256x256 scalable; do
  ls /usr/share/icons/hicolor/$size/apps/tolvane.* >/dev/null 2>&1 || fail "no $size icon in the hicolor theme"
done
if identify -format '%wx%h' /usr/share/icons/hicolor/48x48/apps/tolvane.png 2>/dev/null | grep -qx 48x48; then
  pass "icons in the hicolor theme"
else fail "the 48x48 icon is not a 48x48 picture"; fi
if desktop-file-validate /usr/share/applications/tolvane.desktop; then pass "desktop-file-validate"
else fail "desktop-file-validate /usr/share/applications/tolvane.desktop"; fi
if appstreamcli validate --no-net /usr/share/metainfo/org.tolvane.tolvane.metainfo.xml >"$WORK/as.log" 2>&1; then
  pass "appstreamcli validate"
else fail "appstreamcli validate"; cat "$WORK/as.log" >&2; fi
if page=$(man -w tolvane-cli 2>/dev/null) && [ -s "$page" ] && zcat "$page" | grep -q -- '--from-records'; then
  pass "man -w tolvane-cli: $page"
else fail "man -w tolvane-cli finds no page"; fi
if [ -f /usr/share/bash-completion/completions/tolvane-cli ]; then pass "bash completion installed"
else fail "no bash completion for tolvane-cli"; fi

# lintian: no errors (warnings and notes are printed for the record).
if lintian --fail-on error --display-info --tag-display-limit 0 "$DEB" >"$WORK/lintian.log" 2>&1; then
  pass "lintian: no errors"
else fail "lintian reports errors"; fi
grep -v 'running with root privileges' "$WORK/lintian.log" | sed 's/^/  lintian: /' || true

# Purge, then nothing of the package may be left: no file, and no directory
# that no other package owns.
apt-get remove --purge -y tolvane >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log"; exit 1; }
left=0
while IFS= read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    dpkg-query -S "$path" >/dev/null 2>&1 && continue
    echo "  left behind: directory $path" >&2; left=$((left + 1))
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "  left behind: $path" >&2; left=$((left + 1))
  fi
done <"$WORK/files"
if [ "$left" -eq 0 ]; then pass "purged: none of the $(wc -l <"$WORK/files") paths of dpkg -L is left"
else fail "$left paths of the package are left after the purge"; fi

if [ "$failures" -ne 0 ]; then
  echo "package check: $failures failure(s)" >&2
  exit 1
fi
echo "package check: all passed"
