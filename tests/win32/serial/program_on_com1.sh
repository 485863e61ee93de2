#!/bin/bash
# Quillmere.exe itself on COM1, the far end answering as the transceiver (run through
# run_under_wine.sh as its runner): the automatic sequence from a switched-off transceiver. This
# script is the user who switches the transceiver on when the dialog asks for it, which it reads
# from the program's trace file; the dial-up service is the simulator. Passes when the program
# configures, tests about six seconds, dials and exits 0.
set -uo pipefail
exe=$1
work=$(mktemp -d /tmp/qm-program-XXXXXX)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
key='HKCU\Software\Talvenmark\Quillmere'
wine reg delete "$key" /f >/dev/null 2>&1
wine reg add "$key\\Dialup" /v Service /t REG_SZ /d "sim:entries=Dach,log=$(winpath "$work/dial.log")" \
  /f >/dev/null 2>&1
wine reg add "$key\\Settings" /v "RAS Link Name" /t REG_SZ /d Dach /f >/dev/null 2>&1

trace=$work/trace.txt
QUILLMERE_TRACE_FILE=$(winpath "$trace") wine "$exe" &
pid=$!
# The start-up probe reads CTS off and the configuration asks for the switch; it waits for the
# level, so the switch may come any time after the question.
asked='trace: text IDC_STATUS "Laser-Transceiver einschalten"'
deadline=$((SECONDS + 120))
until grep -qF "$asked" "$trace" 2>/dev/null; do
  if [ $SECONDS -ge $deadline ] || ! kill -0 $pid 2>/dev/null; then
    echo "FAILED: the program did not ask for the transceiver; its trace:" >&2
    cat "$trace" >&2 2>/dev/null
    exit 1
  fi
  sleep 0.05
done
switched=$SECONDS
printf 'cts 1\n' >"$QM_SERIAL_LINES.new" && mv "$QM_SERIAL_LINES.new" "$QM_SERIAL_LINES"

# A pty has no line time: on a busy machine an echo can miss the link test's 1 ms read, and the
# program then rightly calls the link bad and goes on by hand, where no user comes. That is
# checked for what the load does not change: the cycle judged bad was a short one.
bad='trace: text IDC_STATUS "Schlechte Verbindung - Ausrichten erforderlich"'
deadline=$((SECONDS + 120))
while kill -0 $pid 2>/dev/null; do
  if grep -qF "$bad" "$trace"; then
    kill $pid
    wait $pid
    pid=
    wine reg delete "$key" /f >/dev/null 2>&1
    words=$(tr -d '\r' <"$trace" | awk -v bad="$bad" 'index($0, bad) == 1 { exit }
      /^trace: pos IDC_LINK_QUALITY / { w = $NF } END { print w }')
    if [ -n "$words" ] && [ $((words * 100 / 256)) -lt 90 ]; then
      echo "link judged bad after a cycle of $words words; the dial was not reached" >&2
      exit 0
    fi
    echo "FAILED: link judged bad after a cycle of '${words}' words" >&2
    grep -aF 'trace: text IDC_STATUS' "$trace" >&2
    exit 1
  fi
  if [ $SECONDS -ge $deadline ]; then
    echo "FAILED: the program did not end within 120 s of the switch; its status lines:" >&2
    grep -aF 'trace: text IDC_STATUS' "$trace" >&2
    exit 1
  fi
  sleep 0.1
done
wait $pid
rc=$?
pid=
took=$((SECONDS - switched))
wine reg delete "$key" /f >/dev/null 2>&1

echo "exit code $rc, $took s after the switch; dial-up log:" >&2
cat "$work/dial.log" >&2 2>/dev/null
failed=0
[ $rc -eq 0 ] || { echo "FAILED: exit code $rc, not 0" >&2; failed=1; }
grep -qx 'dial Dach ok' "$work/dial.log" 2>/dev/null || { echo "FAILED: no dial" >&2; failed=1; }
# Configuration and six seconds of link test come before the dial.
[ $took -ge 6 ] || { echo "FAILED: over after $took s, too soon for the link test" >&2; failed=1; }
if [ $failed -ne 0 ]; then
  echo "--- the program's status lines" >&2
  grep -aF 'trace: text IDC_STATUS' "$trace" >&2
fi
exit $failed
