#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillmere against its built-in simulators: a
# transceiver on COM1 that is switched off and a user who switches it on when asked, and a
# dial-up service with one entry. Without --manual the whole automatic sequence runs by itself:
# switch-on prompt, configuration, six seconds of link test, dial, follow-up program, exit.
#
#   scripts/demo.sh            the automatic sequence
#   scripts/demo.sh --manual   the same set-up with a head swept through the beam: the link test
#                              finds the link bad and goes on by hand, as when aligning
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-auto}

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'TXT'
Quillmere is a desktop program and needs a display, but none is set (DISPLAY, WAYLAND_DISPLAY).
  - On a desktop: run this from a terminal inside your graphical session.
  - Over SSH: connect with "ssh -X" (X11 forwarding) and run it again.
  - Without any screen: run it under a virtual X server, e.g.
        xvfb-run -a scripts/demo.sh
    (package xvfb; you will not see the window, but the logs below tell the story), or
        QT_QPA_PLATFORM=offscreen scripts/demo.sh
TXT
  exit 2
fi

"$root/scripts/setup.sh"
BUILD_DIR=$root/build "$root/scripts/build.sh" >/dev/null

link=
[ "$mode" = "--manual" ] && link=,link=sweep
demo=$(mktemp -d /tmp/quillmere-demo.XXXXXX)
mkdir -p "$demo/config/Talvenmark"
cat >"$demo/config/Talvenmark/Quillmere.conf" <<CONF
[Settings]
RAS%20Link%20Name=Optolink Dach
Run%20Program=$root/scripts/demo-follow-up.sh $demo/follow-up.log

[Ports]
COM1=sim:power=off,user=obedient,react=1500$link,log=$demo/transceiver.log

[Dialup]
Service=sim:entries=Optolink Dach,dial=ok,delay=2000,log=$demo/dialup.log
CONF

echo "Demo settings and logs: $demo" >&2
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  mkdir -m 0700 "$demo/runtime"
  export XDG_RUNTIME_DIR=$demo/runtime
fi
[ "$mode" = "--manual" ] &&
  echo 'The link test runs by hand while the simulated head sweeps through the beam (30 % to 100 % and back every 20 s); "Abbrechen" ends it, and every button then works by hand.' >&2
set +e
XDG_CONFIG_HOME=$demo/config "$root/build/app/Quillmere"
code=$?
set -e
echo "Quillmere ended with exit code $code." >&2
if [ -f "$demo/transceiver.log" ]; then
  # The line itself is long; show what happened on it, with the bytes counted and the link-test
  # cycles (everything sent between two purges) summed up.
  echo "--- transceiver.log, in short" >&2
  awk 'function flush() { if (tx || rx) printf "  %d bytes sent, %d received\n", tx, rx; tx = rx = 0 }
       function cycles() { if (nc) printf "  %d link-test cycles: %d of %d bytes came back\n", nc, crx, ctx; nc = ctx = crx = 0 }
       $1 == "tx" { tx += NF - 1; next }
       $1 == "rx" { rx += NF - 1; next }
       $1 == "purge" { nc++; ctx += tx; crx += rx; tx = rx = 0; next }
       { flush(); cycles(); print "  " $0 }
       END { flush(); cycles() }' "$demo/transceiver.log" >&2
fi
for f in dialup follow-up; do
  [ -f "$demo/$f.log" ] && { echo "--- $f.log" >&2; sed 's/^/  /' "$demo/$f.log" >&2; }
done
exit $code
