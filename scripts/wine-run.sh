#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, quietly.
# Used by ctest for the Windows builds and by the scripts that run the host.
# Usage: scripts/wine-run.sh [--arch win32|win64] PROGRAM [ARGUMENT...]
# Without --arch the architecture is read from PROGRAM's own header.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
arch=""
if [ "${1:-}" = "--arch" ]; then
  arch="$2"
  shift 2
fi
if [ -z "$arch" ]; then
  arch="$("$here/pe-arch.sh" "${1:-}" 2>/dev/null)" || arch="${TAMBER_WINE_ARCH:-win64}"
fi
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$arch"
exec "$TAMBER_WINE" "$@"
