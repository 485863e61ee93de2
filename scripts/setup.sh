#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need; with --windows, those
# that the Windows program needs instead: the mingw-w64 cross compiler, GoogleTest's sources to
# build for it, and Wine under Xvfb to run it; with --services, the programs the lock tests meet
# that come with a system service (ser2net, and NetworkManager for the dial-up tests), installed so
# that the service never starts: the tests run them privately. Safe to run again: it asks apt only for what is missing. Runs as
# root, or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n qt6-multimedia-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev umockdev libumockdev-dev
  xvfb xauth xdotool at-spi2-core python3-pyatspi
  dbus-daemon python3-dbusmock python3-dbus
  clang libclang-rt-14-dev
  desktop-file-utils appstream lintian dpkg-dev file man-db
  minicom picocom python3-serial
  ppp poppler-utils
  pulseaudio pulseaudio-utils
  libmicrohttpd-dev libqrencode-dev chromium chromium-driver python3-selenium zbar-tools
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
services=false
if [ "${1:-}" = --services ]; then
  packages=(ser2net network-manager)
  services=true
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
if ! $services; then
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  exit 0
fi
# policy-rc.d answering 101 keeps invoke-rc.d and deb-systemd-invoke from starting anything
# while the packages are installed; one that was there before is put back.
policy=/usr/sbin/policy-rc.d
saved=$(mktemp)
had_policy=false
if [ -e "$policy" ]; then
  cp -p "$policy" "$saved"
  had_policy=true
fi
restore_policy() {
  if $had_policy; then "${sudo_cmd[@]}" cp -p "$saved" "$policy"; else "${sudo_cmd[@]}" rm -f "$policy"; fi
  rm -f "$saved"
}
trap restore_policy EXIT
printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
"${sudo_cmd[@]}" chmod 755 "$policy"
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
# Nor at the next boot: every unit the packages bring, whose names need not be the package's
# (network-manager brings NetworkManager.service and its helpers).
if command -v systemctl >/dev/null; then
  for p in "${missing[@]}"; do
    for unit in $(dpkg-query -L "$p" | grep -E '^(/usr)?/lib/systemd/system/[^/]+\.(service|socket|timer)$'); do
      "${sudo_cmd[@]}" systemctl disable "$(basename "$unit")" >/dev/null 2>&1 || true
    done
  done
fi
