# Sourced: a project-local Wine prefix, set up once, with no Mono/Gecko
# prompts, no debug chatter, and the GDI Direct3D renderer (Wine's OpenGL
# renderer makes every DirectDraw surface lock cost ~11 ms on Xvfb).
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${TAMBER_WINEPREFIX:-$root/.wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
if [ ! -f "$WINEPREFIX/.tamber-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.tamber-ready" ]; then
      wineboot -i >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d gdi /f >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.tamber-ready"
    fi
  )
fi
