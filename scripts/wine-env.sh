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

# The kernel probe: a 96-byte 32-bit x86 Linux program that exits with 42
# (mov eax, 1; mov ebx, 42; int 0x80), written here so that no i386 package
# is needed to ask. Sets tamber_kernel_32bit to "yes" or to the reason it
# does not run, once.
tamber_kernel_32bit=""
tamber_probe_kernel_32bit() {
  [ -n "$tamber_kernel_32bit" ] && return 0
  # To try the 64-bit-only path on any machine.
  if [ "${TAMBER_ASSUME_64BIT_ONLY:-}" = 1 ]; then
    tamber_kernel_32bit="TAMBER_ASSUME_64BIT_ONLY=1 says to act as if this kernel ran 64-bit programs only"
    return 0
  fi
  local dir program said status
  dir="$(mktemp -d "${TMPDIR:-/tmp}/tamber-probe32.XXXXXX")" || { tamber_kernel_32bit="no temporary folder for the probe"; return 0; }
  program="$dir/exit42"
  # ELF header (52 bytes), one loadable segment at 0x08048000 (32 bytes),
  # then the 12 bytes of code at the entry point 0x08048054.
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0''\2\0\3\0\1\0\0\0''\124\200\4\10''\64\0\0\0''\0\0\0\0''\0\0\0\0''\64\0\40\0\1\0\0\0\0\0\0\0' >"$program"
  printf '\1\0\0\0''\0\0\0\0''\0\200\4\10''\0\200\4\10''\140\0\0\0''\140\0\0\0''\5\0\0\0''\0\20\0\0' >>"$program"
  printf '\270\1\0\0\0''\273\52\0\0\0''\315\200' >>"$program"
  chmod 755 "$program"
  said="$( ("$program") 2>&1)" && status=0 || status=$?
  rm -rf "$dir"
  case "$status:$said" in
    42:*) tamber_kernel_32bit=yes ;;
    *"Exec format error"*) tamber_kernel_32bit="this kernel runs 64-bit programs only (a 32-bit program gives 'Exec format error')" ;;
    *) tamber_kernel_32bit="a 32-bit test program did not run (exit code $status${said:+: ${said%%$'\n'*}})" ;;
  esac
}

# True when the kernel runs 32-bit x86 programs.
tamber_kernel_runs_32bit() {
  tamber_probe_kernel_32bit
  [ "$tamber_kernel_32bit" = yes ]
}

# Why it does not, in one line.
tamber_kernel_32bit_why_not() {
  tamber_probe_kernel_32bit
  echo "$tamber_kernel_32bit"
}

# True when this machine can start the system's 32-bit Wine loader.
tamber_wine32_runs() {
  tamber_kernel_runs_32bit && [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Why the system's 32-bit loader cannot start here, in one line.
tamber_wine32_why_not() {
  local said
  if ! tamber_kernel_runs_32bit; then
    tamber_kernel_32bit_why_not
    return
  fi
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "the system's 32-bit Wine is not installed (package wine32:i386; scripts/install-deps.sh says why)"
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
