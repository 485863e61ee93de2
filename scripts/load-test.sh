#!/usr/bin/env bash
# Runs the Linux suite and the Windows suite under Wine while a CPU hog keeps every core busy,
# RUNS times each (default 3), and prints the pass counts of every run. The suites must hold on
# a busy machine: nothing here retries a failing test.
#
#   scripts/load-test.sh [RUNS]
#
# Environment: BUILD_DIR (default: build), WIN_BUILD_DIR (default: build-win), SKIP_WINDOWS=1
# leaves the Windows suite out, SKIP_LINUX=1 the Linux suite. Needs stress-ng (Debian package
# stress-ng).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
build=${BUILD_DIR:-$root/build}
winbuild=${WIN_BUILD_DIR:-$root/build-win}
command -v stress-ng >/dev/null || {
  echo "load-test: stress-ng is missing (apt-get install stress-ng)" >&2
  exit 2
}

[ "${SKIP_LINUX:-}" = 1 ] || BUILD_DIR=$build "$root/scripts/build.sh" -DQM_WERROR=ON >/dev/null
[ "${SKIP_WINDOWS:-}" = 1 ] || BUILD_DIR=$winbuild "$root/scripts/windows-build.sh" >/dev/null

stress-ng --cpu "$(nproc)" --timeout 0 --quiet &
hog=$!
trap 'kill $hog 2>/dev/null; wait $hog 2>/dev/null' EXIT

# One line per run: the suite, the run, ctest's summary, the load average at its end.
summary() { # suite, run, log
  local line
  line=$(grep -E 'tests passed|tests failed' "$3" | tail -n 1)
  printf '%-8s run %d: %s (load %s)\n' "$1" "$2" "${line:-no summary}" \
    "$(cut -d' ' -f1 /proc/loadavg)"
}

logs=$(mktemp -d /tmp/qm-load-XXXXXX)
status=0
for run in $(seq "$runs"); do
  if [ "${SKIP_LINUX:-}" != 1 ]; then
    ctest --test-dir "$build" -j"$(nproc)" --timeout 300 --output-on-failure \
      >"$logs/linux-$run.log" 2>&1 || status=1
    summary linux "$run" "$logs/linux-$run.log"
  fi
  if [ "${SKIP_WINDOWS:-}" != 1 ]; then
    BUILD_DIR=$winbuild TEST_JOBS=$(nproc) "$root/scripts/windows-test.sh" \
      >"$logs/windows-$run.log" 2>&1 || status=1
    summary windows "$run" "$logs/windows-$run.log"
  fi
done
echo "logs: $logs"
exit $status
