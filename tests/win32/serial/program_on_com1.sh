#!/bin/bash
# Quillmere.exe itself on COM1, the far end answering as the transceiver (run through
# run_under_wine.sh as its runner): the automatic sequence from a switched-off transceiver. This
# script is the user who switches the transceiver on when asked; the dial-up service is the
# simulator. Passes when the program configures, tests about six seconds, dials and exits 0.
set -uo pipefail
exe=$1
work=$(mktemp -d /tmp/qm-program-XXXXXX)
trap 'rm -rf "$work"' EXIT
key='HKCU\Software\Talvenmark\Quillmere'
wine reg delete "$key" /f >/dev/null 2>&1
wine reg add "$key\\Dialup" /v Service /t REG_SZ /d "sim:entries=Dach,log=Z:${work//\//\\}\\dial.log" \
  /f >/dev/null 2>&1
wine reg add "$key\\Settings" /v "RAS Link Name" /t REG_SZ /d Dach /f >/dev/null 2>&1

wine "$exe" &
pid=$!
# The start-up probe reads CTS off and the configuration asks for the switch.
sleep 3
switched=$SECONDS
printf 'cts 1\n' >"$QM_SERIAL_LINES.new" && mv "$QM_SERIAL_LINES.new" "$QM_SERIAL_LINES"
wait $pid
rc=$?
took=$((SECONDS - switched))
wine reg delete "$key" /f >/dev/null 2>&1

echo "exit code $rc, $took s after the switch; dial-up log:" >&2
cat "$work/dial.log" >&2 2>/dev/null
failed=0
[ $rc -eq 0 ] || { echo "FAILED: exit code $rc, not 0" >&2; failed=1; }
grep -qx 'dial Dach ok' "$work/dial.log" 2>/dev/null || { echo "FAILED: no dial" >&2; failed=1; }
# Configuration and six seconds of link test come before the dial.
[ $took -ge 6 ] || { echo "FAILED: over after $took s, too soon for the link test" >&2; failed=1; }
exit $failed
