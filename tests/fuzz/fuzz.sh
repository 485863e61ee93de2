#!/usr/bin/env bash
# Builds and runs the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer).
#
#   tests/fuzz/fuzz.sh build                    builds every fuzz_<target> in build-fuzz/
#   tests/fuzz/fuzz.sh run [SECONDS] [TARGET]   fuzzes each target (or one) for SECONDS (30)
#                                               starting from its seed corpus; prints the runs
# BUILD_DIR overrides the folder. New inputs go to $BUILD_DIR/corpus/<target>, never into the
# seed corpus; a failing input is left as $BUILD_DIR/crash-<target>-*, and the run fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=${BUILD_DIR:-$root/build-fuzz}
targets=(ini port_options dialup_choice command_line match_words)

build() {
  cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None \
    "-DCMAKE_CXX_FLAGS=-O1 -g -fno-sanitize-recover=all" \
    -DQM_SANITIZE=address,undefined,fuzzer-no-link -DQM_FUZZ=ON -DQM_WITH_QT=OFF \
    -DQM_BUILD_BENCH=OFF >/dev/null
  ninja -C "$dir" -j"$(nproc)" "${targets[@]/#/fuzz_}"
}

run() { # seconds, target
  local seconds=$1 t=$2 log
  mkdir -p "$dir/corpus/$t"
  log=$dir/fuzz-$t.log
  # Nothing the targets do may be left running or linger; -close_fd_mask keeps the log short.
  if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$dir/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/crash-$t-" \
    "$dir/corpus/$t" "$root/tests/fuzz/corpus/$t" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "FAIL fuzz_$t (input in $dir/crash-$t-*)" >&2
    return 1
  fi
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  printf 'ok   fuzz_%-14s %3ss  %10s runs  corpus %s\n' "$t" "$seconds" "$execs" \
    "$(find "$dir/corpus/$t" "$root/tests/fuzz/corpus/$t" -type f | wc -l)" >&2
}

case "${1:-}" in
  build) build ;;
  run)
    seconds=${2:-30}
    [ -n "${3:-}" ] && targets=("$3")
    [ -x "$dir/tests/fuzz/fuzz_${targets[0]}" ] || build
    failed=0
    for t in "${targets[@]}"; do run "$seconds" "$t" || failed=1; done
    exit $failed
    ;;
  *) echo "usage: $0 build | run [SECONDS] [TARGET]" >&2; exit 2 ;;
esac
