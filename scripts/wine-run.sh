#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix, quietly.
# Used by ctest for the Windows build and by the scripts that run the host.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
source "$here/wine-env.sh"
exec wine "$@"
