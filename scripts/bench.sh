#!/usr/bin/env bash
# Builds the program and the benchmarks in Release and runs every benchmark, printing the
# figures (docs/performance.md explains them). Takes about three minutes.
#   BUILD_DIR   build folder (default: build-bench)
#   QUICK=1     fewer repetitions, for a first look
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${BUILD_DIR:-$root/build-bench}
"$root/scripts/setup.sh"
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_BENCH=ON >/dev/null
ninja -C "$dir" -j"$(nproc)" Quillmere bare_dialog cancel_latency link_cycle ui_roundtrip \
    startup auto_run dial_hangup

if [[ ${QUICK:-0} == 1 ]]; then
    cycle_s=2 cancel_runs=20 calls=5000 starts=10 autoruns=2 dials=5 tone_changes=30
else
    cycle_s=6 cancel_runs=100 calls=20000 starts=30 autoruns=5 dials=20 tone_changes=200
fi

# Qt wants a private runtime folder; nothing here needs a display.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=offscreen
# The program's own debug lines (an unmapped COM1, no dial-up service) are expected here.
quiet() { "$@" 2> >(grep -v '^Quillmere: ' >&2); }

echo "== machine"
echo "nproc: $(nproc)"
lscpu | head -n 15
echo "kernel: $(uname -r)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
b="$dir/bench"
echo; echo "== 1. link-test cycle / line time"
quiet "$b/link_cycle" "$cycle_s"
echo; echo "== 2. cancel latency"
quiet "$b/cancel_latency" "$cancel_runs"
echo; echo "== 3. worker -> UI control call"
quiet "$b/ui_roundtrip" headless "$calls"
echo
quiet "$b/ui_roundtrip" qt "$calls"
echo; echo "== 4. start-up"
quiet "$b/startup" "$starts"
echo; echo "== 5. automatic run overhead"
quiet "$b/auto_run" "$autoruns"
echo; echo "== 6. dial and hang-up (a real NetworkManager: root and scripts/setup.sh --services)"
quiet "$b/dial_hangup" "$dials" --phases || [[ $? == 77 ]]
echo
quiet "$b/dial_hangup" "$dials" --phases --qt || [[ $? == 77 ]]
ninja -C "$dir" -j"$(nproc)" responsiveness >/dev/null
echo; echo "== 7. responsiveness"
quiet "$b/responsiveness"
ninja -C "$dir" -j"$(nproc)" readout_paint >/dev/null
echo; echo "== 9. alignment readout"
quiet "$b/readout_paint" "$cycle_s"
ninja -C "$dir" -j"$(nproc)" alignment_aids >/dev/null
echo; echo "== 10. link test with the tone and the readout"
quiet "$b/alignment_aids" "$cycle_s" "$tone_changes"
echo; echo "== 11. the readout on a phone (headless Chromium under Xvfb)"
quiet "$b/link_cycle" "$cycle_s" 8
/usr/bin/python3 "$root/bench/phone_latency.py" "$dir/app/Quillmere" 200 2> >(grep -v '^Quillmere: ' >&2)
echo; echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
