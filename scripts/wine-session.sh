# Sourced by the scripts that run Windows programs: one X display and one Wine prefix
# with a persistent wineserver for the whole run, stopped again on exit.
#
#   wine_session_start BUILD_DIR   sets DISPLAY, WINEPREFIX, WINEDEBUG, WINE
#   wine_session_stop              stops the wineserver and the display

WINE=/usr/lib/wine/wine64

wine_session_start() {
  local build=$1
  export WINEPREFIX="$build/wine"
  export WINEDEBUG=-all
  # No mono or gecko installer dialogs while the prefix is made.
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  unset WINEARCH

  # Two screens joined with Xinerama give the Windows desktop two monitors.
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1920x1080x24 -screen 1 1280x1024x24 +xinerama \
    3>"$fifo" >/dev/null 2>&1 &
  WINE_SESSION_XVFB=$!
  read -r -t 20 display <"$fifo" || { echo "Xvfb did not start" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$display"

  mkdir -p "$WINEPREFIX"
  local ready=$WINEPREFIX/.stagehand-prefix-2
  if [[ ! -f $ready ]]; then
    echo "preparing the Wine prefix $WINEPREFIX (once)"
    "$WINE" wineboot -i >/dev/null 2>&1
    # Without XRandR Wine reports each Xinerama screen as a monitor of its own.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
    # There is no window manager: without this, destroying a visible window waits two
    # seconds for a manager to withdraw it.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -k || true
    wineserver -w || true
    touch "$ready"
  fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  # The first program after a server start pays for the desktop process; pay it here.
  "$WINE" cmd /c exit >/dev/null 2>&1 || true
}

wine_session_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [[ -n ${WINE_SESSION_XVFB:-} ]]; then
    kill "$WINE_SESSION_XVFB" 2>/dev/null || true
    wait "$WINE_SESSION_XVFB" 2>/dev/null || true
    WINE_SESSION_XVFB=
  fi
}
