#!/usr/bin/env bash
# Builds the Windows program and its tests with mingw-w64 into a folder (default: build-win),
# warnings as errors, after installing what is missing. Extra arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build-win}
"$root/scripts/setup.sh" --windows
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-}" -DQM_WITH_QT=OFF -DQM_BUILD_BENCH=OFF -DQM_WERROR=ON \
  "$@" >/dev/null
ninja -C "$dir" -j"$(nproc)"
