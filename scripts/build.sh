#!/usr/bin/env bash
# Configures and builds into a folder (default: build). Extra arguments go to CMake.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build}
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
ninja -C "$dir" -j"$(nproc)"
