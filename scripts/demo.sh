#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillmere against its built-in simulators: a
# transceiver on COM1 that is switched off and a user who switches it on when asked, and a
# dial-up service with one entry. Without --manual the whole automatic sequence runs by itself:
# switch-on prompt, configuration, six seconds of link test, dial, follow-up program, exit.
#
#   scripts/demo.sh            the automatic sequence
#   scripts/demo.sh --manual   the same set-up; press "Abbrechen" once to try the buttons by hand
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

demo=$(mktemp -d /tmp/quillmere-demo.XXXXXX)
mkdir -p "$demo/config/Talvenmark"
cat >"$demo/config/Talvenmark/Quillmere.conf" <<CONF
[Settings]
RAS%20Link%20Name=Optolink Dach
Run%20Program=$root/scripts/demo-follow-up.sh $demo/follow-up.log

[Ports]
COM1=sim:power=off,user=obedient,react=1500,log=$demo/transceiver.log

[Dialup]
Service=sim:entries=Optolink Dach,dial=ok,delay=2000,log=$demo/dialup.log
CONF

echo "Demo settings and logs: $demo" >&2
[ "$mode" = "--manual" ] && echo 'Press "Abbrechen" once: from then on every button works by hand.' >&2
set +e
XDG_CONFIG_HOME=$demo/config "$root/build/app/Quillmere"
code=$?
set -e
echo "Quillmere ended with exit code $code." >&2
for f in transceiver dialup follow-up; do
  [ -f "$demo/$f.log" ] && { echo "--- $f.log (last lines)" >&2; tail -n 8 "$demo/$f.log" >&2; }
done
exit $code
