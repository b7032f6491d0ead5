# Sourced by the scripts that run Windows programs: one X display with two monitors and one
# Wine prefix with a persistent wineserver for the whole run, stopped again on exit.
#
#   wine_session_start BUILD_DIR   sets DISPLAY, WINEPREFIX, WINEDEBUG, LC_ALL and WINE (wine64's path)
#   wine_session_stop              stops the wineserver and the display

source "$(dirname "${BASH_SOURCE[0]}")/programs.sh"

wine_session_start() {
  mkdir -p "$1"
  local build
  build=$(cd "$1" && pwd)  # Wine takes only an absolute WINEPREFIX
  WINE=$(program wine64)
  WINE_SESSION_SERVER=$(program wineserver)
  local xorg
  xorg=$(program Xorg)
  export WINE WINEPREFIX="$build/wine" WINEDEBUG=-all
  # Wine names Unix files in the locale's encoding: without one (an empty environment, as
  # in CI), a Windows file name beyond ASCII cannot be made.
  export LC_ALL=C.UTF-8
  # No mono or gecko installer dialogs while the prefix is made.
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  unset WINEARCH

  # Xorg's dummy driver with two RandR outputs side by side: two monitors at distinct
  # origins, as on a real rig. Xorg takes a -config path outside /etc/X11 only from root.
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  "$xorg" -config "$(dirname "${BASH_SOURCE[0]}")/xorg-two-monitors.conf" -noreset -nolisten tcp \
    -logfile "$build/xorg.log" -displayfd 3 3>"$fifo" >/dev/null 2>&1 &
  WINE_SESSION_X=$!
  read -r -t 20 display <"$fifo" || { echo "Xorg did not start; see $build/xorg.log" >&2; rm -f "$fifo"; return 1; }
  rm -f "$fifo"
  export DISPLAY=":$display"

  mkdir -p "$WINEPREFIX"
  local ready=$WINEPREFIX/.stagehand-prefix-4
  if [[ ! -f $ready ]]; then
    echo "preparing the Wine prefix $WINEPREFIX (once)"
    # On a machine busy with other Wine sessions a preparation has failed once and passed when
    # run again: one more try, said aloud.
    if ! wine_session_prepare; then
      echo "preparing the Wine prefix $WINEPREFIX failed; trying once more" >&2
      wine_session_prepare || { echo "the Wine prefix $WINEPREFIX could not be prepared" >&2; return 1; }
    fi
    touch "$ready"
  fi
  "$WINE_SESSION_SERVER" -k 2>/dev/null || true
  "$WINE_SESSION_SERVER" -w 2>/dev/null || true
  "$WINE_SESSION_SERVER" -p
  # The first program after a server start pays for the desktop process; pay it here.
  "$WINE" cmd /c exit >/dev/null 2>&1 || true
}

# Makes the prefix and stores the settings the tests need.
wine_session_prepare() {
  "$WINE_SESSION_SERVER" -k 2>/dev/null || true
  "$WINE_SESSION_SERVER" -w 2>/dev/null || true
  "$WINE" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed in $WINEPREFIX" >&2; return 1; }
  # wineboot returns while the prefix's first processes still write the registry: wait for
  # them and their server to end before the settings are stored.
  "$WINE_SESSION_SERVER" -w 2>/dev/null || true
  # There is no window manager: without this, destroying a visible window waits two
  # seconds for a manager to withdraw it.
  # Wine 8 does not honour SEM_NOGPFAULTERRORBOX (a FIXME in its UnhandledExceptionFilter): a
  # crashing program would wait on its debugger's dialog. Without the dialog, the debugger
  # writes the crash to standard error and ends the program, as Windows does.
  # The screen saver is on, as on a desktop: Wine reads the stored setting again in each
  # process that loads its display driver, so the stored one must say what the session does.
  { "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f &&
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v ScreenSaveActive /d 1 /f; } >/dev/null 2>&1 || return 1
  "$WINE_SESSION_SERVER" -k 2>/dev/null || true
  "$WINE_SESSION_SERVER" -w 2>/dev/null || true
}

wine_session_stop() {
  if [[ -n ${WINE_SESSION_SERVER:-} ]]; then
    "$WINE_SESSION_SERVER" -k 2>/dev/null || true
    "$WINE_SESSION_SERVER" -w 2>/dev/null || true
  fi
  if [[ -n ${WINE_SESSION_X:-} ]]; then
    kill "$WINE_SESSION_X" 2>/dev/null || true
    wait "$WINE_SESSION_X" 2>/dev/null || true
    WINE_SESSION_X=
  fi
}
