#!/usr/bin/env bash
# Builds the Windows program and its tests (scripts/windows-build.sh), then runs the tests under
# Wine in a private prefix, made on first use; the Wine session ends with the script.
#
# Environment: BUILD_DIR (default: build-win), WINEPREFIX (default: BUILD_DIR/wineprefix),
# DISPLAY (scripts/wine-env.sh), TEST_JOBS (ctest -j, default: nproc),
# WINDOWS_TEST_EXCLUDE (ctest -E; default: nothing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export BUILD_DIR=${BUILD_DIR:-$root/build-win}
"$root/scripts/windows-build.sh"

export WINEPREFIX=${WINEPREFIX:-$BUILD_DIR/wineprefix}
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
trap qm_wine_stop EXIT
qm_wine_env "$root"

exclude=${WINDOWS_TEST_EXCLUDE-}
jobs=${TEST_JOBS:-$(nproc)}
results=$BUILD_DIR/windows-test-results.xml
# Debian's Wine has no preloader to keep 0x7ffe0000 free: with address randomisation a Wine
# process's heap now and then lands there (here about once in several thousand starts), and
# Wine then cannot map its shared user data (c0000018) and ends before the program's main.
# Unrandomised, the heap always starts just above the loader, at 0x7d005000. Every Wine
# process of the tests inherits the setting. A container that forbids it runs them as they are.
unrandomised=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  unrandomised=(setarch "$(uname -m)" -R)
fi
"${unrandomised[@]}" \
  ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$jobs" --timeout 600 --output-junit "$results" \
  ${exclude:+-E "$exclude"}
