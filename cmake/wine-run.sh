#!/bin/sh
# Runs a test program under Wine. A program that fails says how it ended and after how long:
# a start that dies before main() prints nothing of its own, and Wine's error lines are kept
# (its fixme and trace lines are not).
start=$(date +%s%N)
# Unrandomised where allowed, as scripts/windows-test.sh explains, also for a test run alone.
unrandomised=
setarch "$(uname -m)" -R true 2>/dev/null && unrandomised="setarch $(uname -m) -R"
WINEDEBUG=${QM_WINE_TEST_DEBUG:-err+all,fixme-all} $unrandomised wine "$@"
status=$?
if [ "$status" -ne 0 ]; then
  echo "wine-run: $(basename "$1") ended with exit code $status after $((($(date +%s%N) - start) / 1000000)) ms" >&2
fi
exit "$status"
