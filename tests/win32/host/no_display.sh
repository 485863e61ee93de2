#!/bin/bash
# Quillmere.exe started where no window can open (its X display not there): it must say so and
# end with code 2, not fail on a dialog and end with 0. Runs inside the Wine session of
# scripts/wine-env.sh; the display is this start's alone, the session's stays as it is.
set -uo pipefail
err=$(DISPLAY=:65535 timeout 60 wine "$1" 2>&1 >/dev/null)
rc=$?
failed=0
[ $rc -eq 2 ] || { echo "FAILED: exit code $rc, expected 2" >&2; failed=1; }
grep -qF 'Es steht keine Anzeige zur Verfügung.' <<<"$err" ||
  { echo "FAILED: no German sentence about the display" >&2; failed=1; }
[ $failed -eq 0 ] || printf '%s\n' "--- its standard error" "$err" >&2
exit $failed
