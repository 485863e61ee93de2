#!/usr/bin/env bash
# The downloadable Windows program: Quillmere.exe with its German README in a zip, and an
# installer made with NSIS. Builds first (scripts/windows-build.sh).
#
#   scripts/windows-package.sh                 build both into build-win-dist/dist
#   scripts/windows-package.sh --install-test  also install, start and uninstall them under Wine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build-win-dist}
install_test=false
case "${1:-}" in
  "") ;;
  --install-test) install_test=true ;;
  *) echo "usage: $0 [--install-test]" >&2; exit 2 ;;
esac

BUILD_DIR=$dir BUILD_TYPE=Release "$root/scripts/windows-build.sh" -DBUILD_TESTING=OFF

exe=$dir/app/Quillmere.exe
dist=$dir/dist
stage=$dist/Quillmere-1.0
rm -rf "$dist"
mkdir -p "$stage"
cp "$exe" "$stage/Quillmere.exe"
x86_64-w64-mingw32-strip "$stage/Quillmere.exe"
# Notepad of older systems wants CRLF.
sed 's/$/\r/' "$root/packaging/windows/LIESMICH.txt" >"$stage/LIESMICH.txt"
(cd "$dist" && zip -q -X -r Quillmere-1.0-windows.zip Quillmere-1.0)
makensis -V2 -DEXE="$stage/Quillmere.exe" -DREADME="$stage/LIESMICH.txt" \
  -DICON="$root/res/icons/quillmere.ico" -DOUT="$dist/Quillmere-1.0-Setup.exe" \
  "$root/packaging/windows/quillmere.nsi"
ls -l "$dist"/*.zip "$dist"/*.exe >&2

$install_test || exit 0
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
export WINEPREFIX=${WINEPREFIX:-$dir/wineprefix-install}
trap qm_wine_stop EXIT
qm_wine_env "$root"
failed=0
check() { # what, command...: a failure shows what the command said
  local out
  if out=$("${@:2}" 2>&1); then
    echo "ok: $1" >&2
  else
    echo "FAILED: $1" >&2
    printf '%s\n' "$out" | tail -n 20 | sed 's/^/  | /' >&2
    failed=1
  fi
}
until_true() { # seconds, command...: waits for what the command checks, up to a deadline
  local end=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.5
  done
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmere'
registered() { wine reg query "$uninstall_key" /v UninstallString; }
target=$WINEPREFIX/drive_c/Program\ Files/Quillmere
wine "$dist/Quillmere-1.0-Setup.exe" /S
# A fresh machine once found the key missing just after the installer had returned and its files
# were in place; the key is waited for, and one that never comes fails below with what reg said.
until_true 60 registered || true
check "the installer puts the program and its README in place" \
  test -f "$target/Quillmere.exe" -a -f "$target/LIESMICH.txt"
check "the installer registers its uninstaller" registered
# No dial-up service: "/d" has nothing to hang up and ends at once with 0.
wine reg add 'HKCU\Software\Talvenmark\Quillmere\Dialup' /v Service /t REG_SZ /d none /f >/dev/null
check "the installed program hangs up and exits with 0" \
  timeout 60 wine "C:\\Program Files\\Quillmere\\Quillmere.exe" /d
wine "C:\\Program Files\\Quillmere\\Deinstallieren.exe" /S
# The uninstaller copies itself away and finishes from there.
until_true 30 test ! -e "$target/Quillmere.exe" || true
check "the uninstaller removes the program" test ! -e "$target/Quillmere.exe"
check "the user's settings survive the uninstall" \
  wine reg query 'HKCU\Software\Talvenmark\Quillmere\Dialup' /v Service
exit $failed
