#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need; with --windows, those
# that the Windows program needs instead: the mingw-w64 cross compiler, GoogleTest's sources to
# build for it, and Wine under Xvfb to run it. Safe to run again: it asks apt only for what is
# missing. Runs as root, or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  dbus-daemon python3-dbusmock python3-dbus
  clang libclang-rt-14-dev
  desktop-file-utils appstream lintian dpkg-dev file man-db
)
if [ "${1:-}" = --windows ]; then
  # Wine's X11 driver loads the X extension libraries itself; they are only its recommends. The
  # serial tests build a shim for Wine with the host's compiler and run their far end in Python.
  # nsis and zip make the download.
  packages=(
    cmake ninja-build googletest gcc python3
    g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    wine wine64 fonts-wine
    nsis zip
    xvfb xauth x11-utils
    libxrender1 libxrandr2 libxcursor1 libxi6 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
