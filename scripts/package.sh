#!/usr/bin/env bash
# Builds the Debian package in a folder of its own (default: build-pkg) with Debian's build flags,
# and checks what it installs: lintian, the desktop entry, the AppStream metadata, the manual
# page and the icons.
#
#   scripts/package.sh                 build and check the .deb
#   scripts/package.sh --install-test  also install it, start it as its desktop entry says, hang
#                                      up through it, and purge it again (root only; it replaces
#                                      an installed quillmere)
# The checks below are small bash -c scripts that take their own $1, $2.
# shellcheck disable=SC2016
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build-pkg}
app_id=de.talvenmark.Quillmere
install_test=false
case "${1:-}" in
  "") ;;
  --install-test) install_test=true ;;
  *) echo "usage: $0 [--install-test]" >&2; exit 2 ;;
esac
umask 022

"$root/scripts/setup.sh"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DBUILD_TESTING=OFF -DQM_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
ninja -C "$dir" -j"$(nproc)"
rm -f "$dir"/quillmere_*.deb
(cd "$dir" && cpack -G DEB --config CPackConfig.cmake >/dev/null)
debs=("$dir"/quillmere_*.deb)
deb=${debs[0]}
echo "== $deb" >&2
dpkg-deb --field "$deb" Package Version Section Depends Suggests >&2

failed=0
check() { # name, command...
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name" >&2
  else
    echo "FAIL $name" >&2
    failed=1
  fi
}

# The files as installed, checked where they will lie.
check_tree() { # prefix of an installed tree
  local t=$1
  check "desktop-file-validate" desktop-file-validate "$t/usr/share/applications/$app_id.desktop"
  check "appstreamcli validate" appstreamcli validate --no-net \
    "$t/usr/share/metainfo/$app_id.metainfo.xml"
  # As lintian reads manual pages: any groff warning counts.
  check "manual page" bash -c '! LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null | grep .' _ \
    "$t/usr/share/man/man1/Quillmere.1.gz"
  local size
  for size in 16 32 48 64 128; do
    check "icon ${size}px" bash -c 'file -b "$1" | grep -q "^PNG image data, $2 x $2,"' _ \
      "$t/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png" "$size"
  done
  check "icon scalable" bash -c 'file -b "$1" | grep -q "SVG"' _ \
    "$t/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
}

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
check_tree "$tree"
check "lintian" lintian --fail-on error --tag-display-limit 0 "$deb"

if $install_test; then
  [ "$(id -u)" -eq 0 ] || { echo "--install-test needs root" >&2; exit 2; }
  check "dpkg -i" dpkg -i "$deb"
  check_tree ""
  check "man -w Quillmere" man -w Quillmere
  # Started as the desktop entry starts it, offscreen, with no port: the dialog stays up until
  # it is ended, so a time-out (124) means it ran.
  home=$tree/home
  mkdir -p "$home/Talvenmark"
  printf '[Settings]\nRAS%%20Link%%20Name=Optolink\n\n[Ports]\nCOM1=\n\n[Dialup]\n%s\n' \
    "Service=sim:entries=Optolink,active=Optolink,log=$home/dialup.log" \
    >"$home/Talvenmark/Quillmere.conf"
  exec_line=$(sed -n 's/^Exec=//p' "/usr/share/applications/$app_id.desktop" | head -n 1)
  check "desktop entry starts the dialog" bash -c \
    'XDG_CONFIG_HOME=$1 QT_QPA_PLATFORM=offscreen timeout 5 $2 >/dev/null 2>&1; [ $? -eq 124 ]' \
    _ "$home" "$exec_line"
  check "Quillmere /d hangs up and exits 0" bash -c \
    'XDG_CONFIG_HOME=$1 env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/Quillmere /d &&
     grep -qx "hangup Optolink" "$1/dialup.log"' _ "$home"
  check "dpkg --purge" dpkg --purge quillmere
  check "nothing left behind" bash -c \
    '! dpkg -s quillmere >/dev/null 2>&1 && [ ! -e /usr/bin/Quillmere ] &&
     [ ! -e /usr/share/doc/quillmere ] && [ ! -e /usr/share/applications/$1.desktop ]' _ "$app_id"
fi

exit $failed
