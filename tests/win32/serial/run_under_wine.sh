#!/bin/bash
# Runs a Windows serial test program under Wine with COM1 on a pseudo-terminal whose master a
# peer process holds, and the modem-line shim preloaded.
#
#   run_under_wine.sh ROLE TEST.exe [arguments...]     ROLE: echo or transceiver
#
# Sets up and takes down everything itself: the pty and its peer, the shim (built here with the
# host's compiler, the build being a cross build), the port mapping of the Wine prefix, and the
# Wine session. COM2 to COM4 lead to a path that does not exist. The program runs in a mount
# namespace of its own in which /dev/ttyS0, the machine's console, is /dev/null: whatever Wine
# makes of its ports, nothing here can reach the console.
set -eEuo pipefail
# A step that fails ends the test: say which, or the test fails without a word.
trap 'echo "run_under_wine.sh: line $LINENO: \"$BASH_COMMAND\" failed with exit code $?" >&2' ERR

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)

if [ -z "${QM_SERIAL_NAMESPACE:-}" ]; then
  export QM_SERIAL_NAMESPACE=1
  exec unshare -m --propagation private bash "$0" "$@"
fi
if [ -e /dev/ttyS0 ]; then
  mount --bind /dev/null /dev/ttyS0
fi

role=$1
exe=$2
shift 2

work=$(mktemp -d /tmp/qm-serial-XXXXXX)
peer_pid=
no_port="$work/no-such-port"

source "$root/scripts/wine-env.sh"
qm_wine_env "$root"

set_ports() {
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$1" /f >/dev/null 2>&1
  for com in COM2 COM3 COM4; do
    wine reg add 'HKLM\Software\Wine\Ports' /v $com /t REG_SZ /d "$no_port" /f >/dev/null 2>&1
  done
}

# The prefix's port links come from the mapping at the start of a session; a serial device
# that Wine found by itself gets the next free number. Point any such link away.
restart_session() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p >/dev/null 2>&1 </dev/null &
  wine cmd /c exit >/dev/null 2>&1
  local link
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] || continue
    case $(readlink "$link") in
      /dev/ttyS*) ln -sfn "$no_port" "$link" ;;
    esac
  done
}

cleanup() {
  local rc=$?
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null || true
  set_ports "$no_port" || true
  local link
  for link in "$WINEPREFIX"/dosdevices/com*; do
    [ -L "$link" ] && ln -sfn "$no_port" "$link"
  done
  # The next test must neither meet this server on its way out nor be the first program of a
  # new session: the session is left persistent, as scripts/wine-env.sh made it.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT

cc -shared -fPIC -O2 -Wall -Wextra -o "$work/qm_modem_shim.so" "$here/modem_line_shim.c" -ldl

printf 'cts 0\n' >"$work/lines"
printf 'mode echo\n' >"$work/mode"
# A pty has no line time: a write counts as sent once the peer could read it, and the link
# test's 1 ms read sees the echo only if the peer answers within that. The transceiver peer is
# in C and puts itself at real-time priority; the echo peer gets it from chrt where it may.
case $role in
  transceiver)
    cc -O2 -Wall -Wextra -o "$work/transceiver_peer" "$here/transceiver_peer.c" -lutil
    "$work/transceiver_peer" "$work/pty" "$work/lines" "${QM_SERIAL_READY:-3}" "$work/peer.log" &
    ;;
  echo)
    rt=
    if chrt -f 10 true 2>/dev/null; then rt="chrt -f 10"; fi
    $rt python3 "$here/serial_peer.py" --name-file "$work/pty" --mode-file "$work/mode" \
      --settings-file "$work/settings" &
    ;;
  *) echo "unknown role $role" >&2; exit 2 ;;
esac
peer_pid=$!
for _ in $(seq 200); do [ -s "$work/pty" ] && break; sleep 0.01; done
pty=$(cat "$work/pty")
case $pty in /dev/pts/*) ;; *) echo "no pseudo-terminal from the peer" >&2; exit 1 ;; esac

set_ports "$pty"
restart_session
if [ "$(readlink "$WINEPREFIX/dosdevices/com1")" != "$pty" ]; then
  echo "COM1 is not on $pty:" >&2
  ls -l "$WINEPREFIX/dosdevices" >&2
  exit 1
fi
if ls -l "$WINEPREFIX/dosdevices" | grep -q '/dev/ttyS'; then
  echo "a port of the prefix still leads to a ttyS device" >&2
  exit 1
fi

winpath() { echo "Z:${1//\//\\}"; }
export QM_SERIAL_LINES="$work/lines"
export QM_SERIAL_LINES_WIN=$(winpath "$work/lines")
export QM_SERIAL_MODE_WIN=$(winpath "$work/mode")
export QM_SERIAL_SETTINGS_WIN=$(winpath "$work/settings")
export QM_SERIAL_SHIM_LOG="$work/shim.log"
export QM_SERIAL_SHIM_LOG_WIN=$(winpath "$work/shim.log")
export QM_SERIAL_EXE_NAME=$(basename "$exe")
export WINEDLLOVERRIDES WINEDEBUG

status=0
LD_PRELOAD="$work/qm_modem_shim.so" ${QM_SERIAL_RUNNER:-wine} "$exe" "$@" || status=$?
if [ $status -ne 0 ] && [ -s "$work/peer.log" ]; then
  echo "--- peer log (last lines)" >&2
  tail -40 "$work/peer.log" >&2
fi
exit $status
