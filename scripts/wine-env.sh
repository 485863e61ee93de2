# Sourced by the Windows scripts: a private Wine prefix for the program and its tests, made on
# first use, and one wineserver kept running so that each Wine start is quick.
#
# Environment: WINEPREFIX (default: build-win/wineprefix beside the build), QM_WINE_DISPLAY
# (default: a private Xvfb on :93 when no DISPLAY is set).
#
#   qm_wine_env ROOT   sets Wine up for the checkout at ROOT
#   qm_wine_stop       ends the wineserver of the prefix, and the Xvfb if qm_wine_env started it
qm_wine_env() {
  local root=$1
  export WINEPREFIX=${WINEPREFIX:-$root/build-win/wineprefix}
  export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=${QM_WINE_DISPLAY:-:93}
    local n=${DISPLAY#:} pid
    if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
      # A killed Xvfb leaves its lock and socket behind, and every window of Wine then fails
      # ("Invalid window handle"): they are taken away when the process they name is gone.
      pid=$(tr -d ' \n' 2>/dev/null <"/tmp/.X$n-lock" || true)
      if [ -e "/tmp/.X11-unix/X$n" ] && ! { [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; }; then
        echo "wine-env: removing the stale display :$n left by process ${pid:-?}" >&2
        rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
      fi
    fi
    if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
      QM_WINE_XVFB_PID=$!
      local i
      for i in $(seq 50); do
        [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
        sleep 0.1
      done
    fi
  fi
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
  # Persistent server; its output must not hold the caller's pipes open. The first program of a
  # session starts Wine's services, which live as long as the server and keep that program's
  # standard streams: they start here, on /dev/null, and not inside the first test.
  wineserver -p >/dev/null 2>&1 </dev/null || true
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

qm_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "${QM_WINE_XVFB_PID:-}" ]; then
    kill "$QM_WINE_XVFB_PID" 2>/dev/null || true
    wait "$QM_WINE_XVFB_PID" 2>/dev/null || true
    QM_WINE_XVFB_PID=
  fi
}
