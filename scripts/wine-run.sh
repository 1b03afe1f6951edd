#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...] - runs a cross-built program under Wine in
# the project's prefix; ctest uses it as the cross-compiling emulator.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
velmar_prefix_ready || { echo "wine-run.sh: cannot create the Wine prefix $WINEPREFIX" >&2; exit 1; }
exec wine "$@"
