#!/usr/bin/env bash
# Prints what the failed tests of the last ctest run in each given build folder wrote (the last
# 60 lines of each), so that the end of a long log says why a run failed.
#   scripts/failed-test-output.sh BUILD_DIR...
set -uo pipefail
for dir in "$@"; do
  failed=$dir/Testing/Temporary/LastTestsFailed.log
  log=$dir/Testing/Temporary/LastTest.log
  [ -s "$failed" ] && [ -f "$log" ] || continue
  # Only a list written by the last run counts; an older one stays behind when all pass.
  (($(stat -c %Y "$log") - $(stat -c %Y "$failed") <= 60)) || continue
  cut -d: -f2- "$failed" | while IFS= read -r name; do
    echo "--- $dir: $name"
    awk -v name="$name" '
      $0 ~ /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); p = ($0 == name); next }
      p && /^<end of output>/ { p = 0 }
      p' "$log" | tail -n 60
  done
done
