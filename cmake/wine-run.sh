#!/bin/sh
# Runs a test program under Wine. A program that fails says how it ended and after how long:
# a start that dies before main() prints nothing of its own, and Wine's error lines are kept
# (its fixme and trace lines are not).
start=$(date +%s%N)
# Unrandomised, as scripts/windows-test.sh explains, also when a test is run on its own.
WINEDEBUG=${QM_WINE_TEST_DEBUG:-err+all,fixme-all} setarch "$(uname -m)" -R wine "$@"
status=$?
if [ "$status" -ne 0 ]; then
  echo "wine-run: $(basename "$1") ended with exit code $status after $((($(date +%s%N) - start) / 1000000)) ms" >&2
fi
exit "$status"
