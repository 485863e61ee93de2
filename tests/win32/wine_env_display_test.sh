#!/bin/bash
# The display each Windows test run gets (scripts/wine-env.sh): two runs at once never share an
# X server, so one ending its own leaves the other's answering; a DISPLAY that nothing answers
# is not used. Needs Xvfb and xdpyinfo only.
set -uo pipefail
source "$1"
failed=0
check() { # what, command...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1" >&2; failed=1; fi
}
answers() { xdpyinfo -display "$1" >/dev/null 2>&1; }

fifo=$(mktemp -u /tmp/qm-display-XXXXXX)
mkfifo "$fifo"
trap 'rm -f "$fifo"' EXIT
# Run A takes its display first; run B, started while A runs, takes one and waits until A has
# ended, then says whether its display still answers.
unset DISPLAY
qm_wine_display
a=${DISPLAY:-}
(
  unset DISPLAY
  qm_wine_display || exit 1
  echo "$DISPLAY" >"$fifo"
  read -r _ <"$fifo"
  answers "$DISPLAY" && echo answers >"$fifo" || echo gone >"$fifo"
  qm_wine_display_end
) &
read -r b <"$fifo"
check "each run has an X server of its own ($a, $b)" test -n "$a" -a -n "$b" -a "$a" != "$b"
qm_wine_display_end
echo ended >"$fifo"
read -r state <"$fifo"
check "the other run's display still answers after the first ended" test "$state" = answers
wait

# No X server on :65535: the run starts its own instead.
DISPLAY=:65535
qm_wine_display 2>/dev/null
check "a DISPLAY with no X server is replaced by a private one ($DISPLAY)" answers "$DISPLAY"
check "and that one is not the given one" test "$DISPLAY" != :65535
qm_wine_display_end
exit $failed
