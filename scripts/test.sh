#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
BUILD_DIR=${BUILD_DIR:-$root/build} "$root/scripts/build.sh" -DQM_WERROR=ON
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 300
