# Sourced, with the architecture of the Windows programs to run:
#     source scripts/wine-env.sh win32     # the 32-bit build (build-win32)
#     source scripts/wine-env.sh win64     # the 64-bit build (build-win64)
# Every script and test that runs Wine takes its loader, server and prefix
# from here. It exports:
#     TAMBER_WINE        the Wine loader to run a program with
#     TAMBER_WINESERVER  the matching wineserver (-w waits, -k kills)
#     WINEPREFIX         a project-local prefix per architecture, set up once
#                        with no Mono/Gecko prompts and the GDI Direct3D
#                        renderer (Wine's OpenGL renderer makes every
#                        DirectDraw surface lock cost ~11 ms on Xvfb)
# plus WINELOADER/WINESERVER/WINEARCH, so that Wine starts its own helper
# processes with the same loader. Debian's wine/wineboot/wineserver
# wrappers pick the 32-bit loader whenever wine32 is installed, so the
# programs are named directly.
#
# A kernel that runs 64-bit programs only cannot start the 32-bit loader at
# all ("Exec format error"): tamber_wine32_runs tells, and sourcing this with
# win32 on such a machine fails with a message saying so.
#
# The architecture may also come from TAMBER_WINE_ARCH; the default is
# win64, which runs on every x86-64 machine. "probe" instead of an
# architecture only defines the two functions above, setting up nothing.
tamber_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# True when this machine can start Wine's 32-bit loader.
tamber_wine32_runs() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Why the 32-bit loader cannot start here, in one line.
tamber_wine32_why_not() {
  local said
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "Wine's 32-bit loader /usr/lib/wine/wine is not installed (package wine32:i386)"
    return
  fi
  said="$( (/usr/lib/wine/wine --version) 2>&1 || true)"
  case "$said" in
    *"Exec format error"*)
      echo "this kernel runs 64-bit programs only (starting /usr/lib/wine/wine gives 'Exec format error')" ;;
    *)
      echo "/usr/lib/wine/wine --version fails: ${said%%$'\n'*}" ;;
  esac
}

tamber_wine_env() {  # win32 | win64
  local arch="$1"
  case "$arch" in
    win32)
      if ! tamber_wine32_runs; then
        echo "wine-env: cannot run 32-bit Windows programs here: $(tamber_wine32_why_not)" >&2
        return 1
      fi
      TAMBER_WINE=/usr/lib/wine/wine
      TAMBER_WINESERVER=/usr/lib/wine/wineserver32
      WINEPREFIX="${TAMBER_WINEPREFIX:-$tamber_root/.wine}"
      ;;
    win64)
      TAMBER_WINE=/usr/lib/wine/wine64
      TAMBER_WINESERVER=/usr/lib/wine/wineserver64
      WINEPREFIX="${TAMBER_WINEPREFIX64:-$tamber_root/.wine64}"
      if [ ! -x "$TAMBER_WINE" ]; then
        echo "wine-env: 64-bit Wine is not installed ($TAMBER_WINE; package wine64): run scripts/install-deps.sh" >&2
        return 1
      fi
      ;;
    *)
      echo "wine-env: unknown architecture '$arch' (win32 or win64)" >&2
      return 1
      ;;
  esac
  export TAMBER_WINE TAMBER_WINESERVER WINEPREFIX
  export TAMBER_WINE_ARCH="$arch" WINEARCH="$arch"
  export WINELOADER="$TAMBER_WINE" WINESERVER="$TAMBER_WINESERVER"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  [ -f "$WINEPREFIX/.tamber-ready" ] && return 0
  mkdir -p "$WINEPREFIX"
  (
    exec 9>"$WINEPREFIX.lock"
    flock 9
    [ -f "$WINEPREFIX/.tamber-ready" ] && exit 0
    if ! "$TAMBER_WINE" wineboot -i >"$WINEPREFIX.boot.log" 2>&1; then
      echo "wine-env: setting up the Wine prefix $WINEPREFIX failed; Wine said:" >&2
      tail -n 20 "$WINEPREFIX.boot.log" >&2
      exit 1
    fi
    "$TAMBER_WINE" reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d gdi /f >/dev/null 2>&1
    "$TAMBER_WINESERVER" -w
    touch "$WINEPREFIX/.tamber-ready"
  )
}

if [ "${1:-}" != probe ]; then
  tamber_wine_env "${1:-${TAMBER_WINE_ARCH:-win64}}"
fi
