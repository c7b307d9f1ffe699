#!/bin/sh
# Checks the Debian packages as a user gets them, on this machine, as root:
# builds them from the build tree (scripts/package.sh, no rebuild), then
#  1. installs tolvane-cli alone with apt-get, as a machine without a desktop
#     would: its Depends and the libraries its programs load name nothing of
#     Qt's GUI, Widgets or WebEngine; runs the installed programs (version, a
#     conversion of the bundled demo mailbox checked with verify) and checks
#     its manual pages and bash completion;
#  2. installs tolvane (the window) as well: its dependency on tolvane-cli of
#     the same version, the window under Xvfb, the desktop integration (file
#     type, default application, icons, desktop entry, AppStream metainfo,
#     manual page);
#  3. runs lintian on each package, purges both and checks nothing of them is
#     left;
#  4. installs the single package tolvane 5.0 of before the split (made here
#     from the new packages' files), installs the new packages over it and
#     checks they took its place; purges them again.
# Packages installed before (an earlier run) are purged first, so every run
# checks a fresh install. A build without the window (TOLVANE_BUILD_GUI=OFF)
# has no tolvane package: steps 2 and its lintian are left out, said so.
# Usage: scripts/package-check.sh [BUILD_DIR]      (default: build/)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-"$ROOT/build"}
if [ "$(id -u)" != "0" ]; then
  echo "package-check.sh: run as root (it installs and removes the packages)" >&2
  exit 2
fi
export DEBIAN_FRONTEND=noninteractive
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
purge_installed() {  # purges whichever of tolvane and tolvane-cli dpkg knows, in any state; prints their names
  packages=""
  for package in tolvane tolvane-cli; do
    if dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -qv ' not-installed$'; then
      packages="$packages $package"
    fi
  done
  [ -n "$packages" ] || return 0
  # dpkg rather than apt: it also purges a package a failed install left unpacked.
  # shellcheck disable=SC2086
  dpkg --purge $packages >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log" >&2; exit 1; }
  echo "$packages"
}

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
PATCHED=$(sed -n 's/^TOLVANE_PATCHED_LIBPFF:BOOL=//p' "$BUILD/CMakeCache.txt")
mkdir "$WORK/debs"
"$ROOT/scripts/package.sh" "$BUILD" "$WORK/debs" >"$WORK/package.log"
CLI_DEB=$(grep -x "$WORK/debs/tolvane-cli_.*\.deb" "$WORK/package.log" || true)
WINDOW_DEB=$(grep -x "$WORK/debs/tolvane_.*\.deb" "$WORK/package.log" || true)
if [ -z "$CLI_DEB" ]; then
  cat "$WORK/package.log" >&2
  echo "package-check.sh: scripts/package.sh made no tolvane-cli package" >&2
  exit 1
fi
echo "packages: $(basename "$CLI_DEB")${WINDOW_DEB:+ $(basename "$WINDOW_DEB")}"
if [ -z "$WINDOW_DEB" ]; then
  echo "note: the build has no window (TOLVANE_BUILD_GUI=OFF): tolvane-cli alone is checked"
fi

earlier=$(purge_installed)
if [ -n "$earlier" ]; then echo "purged the packages installed before:$earlier"; fi

# Minimal images keep dpkg from unpacking manual pages (path-exclude in
# /etc/dpkg/dpkg.cfg.d/). Say so, and unpack these packages' pages all the
# same so the checks below look at real pages rather than passing by default.
APT_OPTIONS=""
if grep -hs '^path-exclude' /etc/dpkg/dpkg.cfg.d/* | grep -q '/usr/share/man'; then
  echo "note: dpkg excludes /usr/share/man on this machine; tolvane's pages are included for this install"
  APT_OPTIONS="-o Dpkg::Options::=--path-include=/usr/share/man/man1/tolvane*.1.gz"
  APT_OPTIONS="$APT_OPTIONS -o Dpkg::Options::=--path-include=/usr/share/man/man1/mkpst.1.gz"
fi
install_package() {
  # shellcheck disable=SC2086
  apt-get install -y $APT_OPTIONS "$1" >"$WORK/apt.log" 2>&1 || { cat "$WORK/apt.log"; exit 1; }
}
check_version() {  # PROGRAM: prints "PROGRAM VERSION"
  got=$("/usr/bin/$1" --version 2>&1) || true
  if [ "$got" = "$1 $VERSION" ]; then pass "/usr/bin/$1 --version: $got"
  else fail "/usr/bin/$1 --version printed '$got', expected '$1 $VERSION'"; fi
}
check_private_libpff() {  # PROGRAM: loads the libpff of tolvane-cli's private directory
  [ "$PATCHED" = "ON" ] || return 0
  libpff=$(ldd "/usr/bin/$1" | awk '$1 ~ /^libpff/ { print $3 }')
  libpff=$(readlink -f "$libpff")
  case "$libpff" in
    /usr/lib/*/tolvane/libpff.so.*|/usr/lib/tolvane/libpff.so.*) pass "$1 loads the private $libpff" ;;
    *) fail "$1 loads libpff from '$libpff', not from tolvane-cli's private directory" ;;
  esac
}
check_no_libpff1() {  # PACKAGE: with the private libpff, Debian's libpff1 is no dependency
  [ "$PATCHED" = "ON" ] || return 0
  if dpkg-query -W -f='${Depends}' "$1" | tr ',|' '\n' | sed 's/^ *//; s/ .*//' | grep -qx 'libpff1'; then
    fail "$1 depends on Debian's libpff1, though its programs load the private libpff"
  else pass "$1 does not depend on Debian's libpff1"; fi
}
check_man_page() {  # PAGE TEXT: man finds the page and it holds TEXT
  if page=$(man -w "$1" 2>/dev/null) && [ -s "$page" ] && zcat "$page" | grep -q -- "$2"; then
    pass "man -w $1: $page"
  else fail "man -w $1 finds no page holding '$2'"; fi
}

# --- 1. tolvane-cli alone ----------------------------------------------------
install_package "$CLI_DEB"
pass "installed $(dpkg-query -W -f='${Package} ${Version}' tolvane-cli) alone"
dpkg -L tolvane-cli >"$WORK/files"
if installed tolvane || [ -e /usr/bin/tolvane ]; then fail "installing tolvane-cli brought the window with it"; fi
# Nothing of the desktop comes with it: neither through its Depends nor
# among the libraries its programs load.
GUI_PACKAGES='^libqt6(gui|widgets|webengine|opengl|svg|quick|qml|printsupport)'
depends=$(dpkg-query -W -f='${Depends}' tolvane-cli)
gui_depends=$(echo "$depends" | tr ',|' '\n' | sed 's/^ *//; s/ .*//' | grep -E "$GUI_PACKAGES" || true)
if [ -n "$depends" ] && [ -z "$gui_depends" ]; then
  pass "tolvane-cli depends on no Qt GUI, Widgets or WebEngine package"
else fail "tolvane-cli's Depends '$depends' name: $(echo "$gui_depends" | tr '\n' ' ')"; fi
gui_libraries=$(for program in tolvane-cli mkpst; do ldd "/usr/bin/$program"; done \
  | awk '{ print $1 }' | grep -E '^libQt6(Gui|Widgets|WebEngine|OpenGL|Svg|Quick|Qml)' | sort -u || true)
if [ -z "$gui_libraries" ]; then pass "tolvane-cli and mkpst load no Qt GUI, Widgets or WebEngine library"
else fail "tolvane-cli or mkpst load $(echo "$gui_libraries" | tr '\n' ' ')"; fi

check_no_libpff1 tolvane-cli
check_version tolvane-cli
check_private_libpff tolvane-cli
mkdir "$WORK/out"
status=0
/usr/bin/tolvane-cli convert /usr/share/tolvane/demo.pst "$WORK/out" >"$WORK/convert.log" 2>&1 || status=$?
output=$(find "$WORK/out" -mindepth 1 -maxdepth 1 -type d | head -n 1)
emls=$(find "$WORK/out" -name '*.eml' | wc -l)
if [ "$status" -eq 0 ] && [ "$emls" -gt 0 ] && /usr/bin/tolvane-cli verify "$output" >"$WORK/verify.log" 2>&1; then
  pass "installed tolvane-cli converted the bundled demo mailbox: $emls .eml files, verify agrees"
else
  fail "conversion of /usr/share/tolvane/demo.pst: status $status, $emls .eml files"
  cat "$WORK/convert.log" "$WORK/verify.log" >&2 || true
fi
# mkpst gives the same bytes for the same arguments: the bundled mailbox.
if /usr/bin/mkpst --demo "$WORK/demo.pst" >/dev/null 2>&1 && cmp -s "$WORK/demo.pst" /usr/share/tolvane/demo.pst; then
  pass "installed mkpst --demo wrote the bundled demo mailbox byte for byte"
else fail "installed mkpst --demo did not write the bundled demo mailbox"; fi
check_man_page tolvane-cli --from-records
check_man_page mkpst --demo
if [ -f /usr/share/bash-completion/completions/tolvane-cli ]; then pass "bash completion installed"
else fail "no bash completion for tolvane-cli"; fi

# --- 2. the window as well ---------------------------------------------------
if [ -n "$WINDOW_DEB" ]; then
  install_package "$WINDOW_DEB"
  pass "installed $(dpkg-query -W -f='${Package} ${Version}' tolvane)"
  dpkg -L tolvane >>"$WORK/files"
  wanted="tolvane-cli (= $(dpkg-query -W -f='${Version}' tolvane-cli))"
  if dpkg-query -W -f='${Depends}' tolvane | tr ',' '\n' | sed 's/^ *//' | grep -qxF "$wanted"; then
    pass "tolvane depends on $wanted"
  else fail "tolvane's Depends '$(dpkg-query -W -f='${Depends}' tolvane)' lack '$wanted'"; fi
  check_no_libpff1 tolvane
  check_version tolvane
  check_private_libpff tolvane

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

  # Desktop integration, read the way a desktop reads it: the file type from
  # the shared MIME database, the default application from the desktop
  # database (xdg-mime with no desktop session and an empty home of its own,
  # so nothing but the system's files answers), the icons from the hicolor theme.
  for suffix in pst ost; do
    globs=$(grep -h ":\\*\\.$suffix\$" /usr/share/mime/globs2 2>/dev/null | cut -d: -f2 | sort -u)
    if [ "$globs" = "application/vnd.ms-outlook" ]; then pass "*.$suffix is application/vnd.ms-outlook in the MIME database"
    else fail "*.$suffix in /usr/share/mime/globs2 is '${globs:-nothing}'"; fi
  done
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
  # --no-net: the screenshot's web address cannot be fetched from here.
  if appstreamcli validate --no-net /usr/share/metainfo/org.tolvane.tolvane.metainfo.xml >"$WORK/as.log" 2>&1; then
    pass "appstreamcli validate --no-net"
  else fail "appstreamcli validate --no-net"; cat "$WORK/as.log" >&2; fi
  check_man_page tolvane tolvane-cli
fi

# --- 3. lintian, then purge --------------------------------------------------
# No error and no warning; notes are printed for the record.
for deb in "$CLI_DEB" ${WINDOW_DEB:+"$WINDOW_DEB"}; do
  name=$(basename "$deb")
  if lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" >"$WORK/lintian.log" 2>&1; then
    pass "lintian $name: no errors or warnings"
  else fail "lintian $name reports errors or warnings"; fi
  grep -v 'running with root privileges' "$WORK/lintian.log" | sed "s/^/  lintian: /" || true
done

# Purge both, then nothing of them may be left: no file, and no directory
# that no other package owns.
purge_installed >/dev/null
if installed tolvane || installed tolvane-cli; then fail "a package is still installed after the purge"; fi
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
else fail "$left paths of the packages are left after the purge"; fi

# --- 4. upgrade over the single package of before the split -----------------
# Until 5.0 one package, tolvane, held the files of both. It is rebuilt here
# from the new packages' files, with their control data as tolvane 5.0 had it.
single="$WORK/single"
dpkg-deb -R "$CLI_DEB" "$single"
mv "$single/usr/share/doc/tolvane-cli" "$single/usr/share/doc/tolvane"
if [ -n "$WINDOW_DEB" ]; then dpkg-deb -x "$WINDOW_DEB" "$single"; fi
sed -i -e 's/^Package: .*/Package: tolvane/' -e 's/^Version: .*/Version: 5.0/' \
       -e '/^Breaks:/d' -e '/^Replaces:/d' "$single/DEBIAN/control"
(cd "$single" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
dpkg-deb -b --root-owner-group "$single" "$WORK/tolvane_5.0_single.deb" >/dev/null
install_package "$WORK/tolvane_5.0_single.deb"
if [ "$(dpkg-query -S /usr/bin/tolvane-cli 2>/dev/null)" = "tolvane: /usr/bin/tolvane-cli" ]; then
  # shellcheck disable=SC2086
  if apt-get install -y $APT_OPTIONS "$CLI_DEB" ${WINDOW_DEB:+"$WINDOW_DEB"} >"$WORK/apt.log" 2>&1; then
    owner=$(dpkg-query -S /usr/bin/tolvane-cli 2>/dev/null) || true
    window=$(dpkg-query -W -f='${Status} ${Version}' tolvane 2>/dev/null) || true
    expected="install ok installed $(dpkg-deb -f "$CLI_DEB" Version)"
    if [ -z "$WINDOW_DEB" ]; then expected=""; fi
    case "$window" in *"not-installed"*|*"config-files"*) window="" ;; esac
    if [ "$owner" = "tolvane-cli: /usr/bin/tolvane-cli" ] && [ "$window" = "$expected" ]; then
      pass "the packages replaced the single tolvane 5.0 in an upgrade"
    else fail "after the upgrade /usr/bin/tolvane-cli is '$owner', tolvane is '$window'"; fi
  else
    fail "the packages did not install over the single tolvane 5.0"; cat "$WORK/apt.log" >&2
  fi
else fail "the single tolvane 5.0 made for the upgrade check did not install"; fi
purge_installed >/dev/null

if [ "$failures" -ne 0 ]; then
  echo "package check: $failures failure(s)" >&2
  exit 1
fi
echo "package check: all passed"
