# Sourced by the Windows scripts: a private Wine prefix for the program and its tests, made on
# first use, and one wineserver kept running so that each Wine start is quick.
#
# Environment: WINEPREFIX (default: build-win/wineprefix beside the build), DISPLAY (used when an
# X server answers there; otherwise a private Xvfb on a free display, for this run alone).
#
#   qm_wine_env ROOT   sets Wine up for the checkout at ROOT
#   qm_wine_stop       ends the wineserver of the prefix, and the Xvfb if qm_wine_env started it
#
# Wine's desktop window lives in the session's explorer.exe, which opens the display once: if
# that X server goes away, or was not there when the session started, every window of the
# session fails ("Invalid window handle") until the wineserver ends. So a run never shares an
# X server that another run may end, and never starts Wine before its display answers.

# Starts Xvfb on a display no other X server holds and waits until it says it is ready; exports
# DISPLAY.
qm_wine_xvfb() {
  local dir number=
  dir=$(mktemp -d /tmp/qm-xvfb-XXXXXX) || return 1
  mkfifo "$dir/ready"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/ready" >/dev/null 2>&1 \
    </dev/null &
  QM_WINE_XVFB_PID=$!
  # Xvfb writes the number once it accepts clients; an Xvfb that fails closes the pipe unwritten.
  read -r -t 60 number <"$dir/ready" || true
  rm -rf "$dir"
  if [ -z "$number" ]; then
    echo "wine-env: Xvfb did not get ready within 60 s" >&2
    kill "$QM_WINE_XVFB_PID" 2>/dev/null || true
    QM_WINE_XVFB_PID=
    return 1
  fi
  export DISPLAY=:$number
}

# One run per prefix: another run's "wineserver -k" would end this run's programs, and its
# session's desktop would sit on the other run's display. The lock is held by a process of its
# own, which ends with qm_wine_stop or with this shell; no program started here inherits it.
qm_wine_hold_prefix() {
  local dir fd shell=$BASHPID
  mkdir -p "$(dirname "$WINEPREFIX")"
  dir=$(mktemp -d /tmp/qm-prefix-XXXXXX) || return 1
  mkfifo "$dir/held"
  exec {fd}<>"$dir/held"
  flock -o "$WINEPREFIX.lock" sh -c 'echo held >"$1"; exec tail --pid="$2" -f /dev/null' _ \
    "$dir/held" "$shell" >/dev/null 2>&1 </dev/null &
  QM_WINE_HOLDER_PID=$!
  if ! read -r -t 5 -u "$fd" _; then
    echo "wine-env: another run uses $WINEPREFIX; waiting until it ends" >&2
    read -r -u "$fd" _
  fi
  exec {fd}<&-
  rm -rf "$dir"
}

# DISPLAY when an X server answers there, otherwise a private Xvfb (qm_wine_xvfb).
qm_wine_display() {
  if [ -n "${DISPLAY:-}" ] && ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
    echo "wine-env: no X server answers on DISPLAY=$DISPLAY; starting a private one" >&2
    unset DISPLAY
  fi
  [ -n "${DISPLAY:-}" ] || qm_wine_xvfb
}

# Ends the Xvfb that qm_wine_display started, if it started one.
qm_wine_display_end() {
  if [ -n "${QM_WINE_XVFB_PID:-}" ]; then
    kill "$QM_WINE_XVFB_PID" 2>/dev/null || true
    wait "$QM_WINE_XVFB_PID" 2>/dev/null || true
    QM_WINE_XVFB_PID=
  fi
}

qm_wine_env() {
  local root=$1
  export WINEPREFIX=${WINEPREFIX:-$root/build-win/wineprefix}
  export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  local fresh_session=false
  if [ "${QM_WINE_PREFIX_HELD:-}" != "$WINEPREFIX" ]; then
    qm_wine_hold_prefix || return 1
    export QM_WINE_PREFIX_HELD=$WINEPREFIX
    fresh_session=true
  fi
  qm_wine_display || return 1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
    # Debian's Wine does not find its own fonts; without them dialogs come out in another font.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # A crash must end the test, not open a debugger dialog; without a window manager Wine
    # draws the captions itself.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
  fi
  # The bitmap "MS Sans Serif" the dialog templates are measured in; its outline stand-in is
  # wider, and labels then wrap.
  if [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/sserife.fon" ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/sserife.fon "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  # A server left by an earlier run may hold a desktop on a display that is gone: this run's
  # session starts afresh, on this run's display.
  if $fresh_session; then
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  fi
  # Persistent server; its output must not hold the caller's pipes open. The first program of a
  # session starts Wine's services, which live as long as the server and keep that program's
  # standard streams: they start here, on /dev/null, and not inside the first test.
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

qm_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  qm_wine_display_end
  if [ -n "${QM_WINE_HOLDER_PID:-}" ]; then
    kill "$QM_WINE_HOLDER_PID" 2>/dev/null || true
    wait "$QM_WINE_HOLDER_PID" 2>/dev/null || true
    QM_WINE_HOLDER_PID=
    unset QM_WINE_PREFIX_HELD
  fi
}
