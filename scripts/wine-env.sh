# Sourced: a throwaway Wine prefix under build/ and a private X display.
# Never the user's ~/.wine, never the user's display.
#   wine_env_start [--visible]   sets WINEPREFIX, DISPLAY (Xvfb unless --visible
#                                and a display is set) and boots the prefix once
#   wine_env_stop                stops that prefix's wineserver and our Xvfb
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
FERRUNE_XVFB_PID=""

wine_env_start() {
  local visible=${1:-}
  export WINEPREFIX=${FERRUNE_WINEPREFIX:-$root/build/wine/prefix}
  export WINEARCH=win64
  if [ "$visible" = --visible ] && [ -n "${DISPLAY:-}" ]; then
    :
  else
    local n
    for n in $(seq 91 140); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    FERRUNE_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
  fi
  # The display must be set before the prefix's first wine call (its desktop
  # keeps the display its server started with).
  if [ ! -f "$WINEPREFIX/.ferrune-ready" ]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # Real Tahoma: without it the font is substituted and texts no longer fit.
    cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Title bars drawn by Wine itself, since Xvfb has no window manager.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ferrune-ready"
  fi
}

wine_env_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  if [ -n "$FERRUNE_XVFB_PID" ]; then
    kill "$FERRUNE_XVFB_PID" 2>/dev/null || true
    wait "$FERRUNE_XVFB_PID" 2>/dev/null || true
  fi
}
