#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...] - runs a cross-built program under Wine in
# the project's prefix; ctest uses it as the cross-compiling emulator.
# The program's own header tells the kind: an x86-64 program runs in the
# 64-bit prefix. A 32-bit one, where this machine runs no 32-bit code, is
# not run: the reason is printed and the status is 77, which ctest counts
# as skipped.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/machine.sh"
export VELMAR_WINE_ARCH
VELMAR_WINE_ARCH=$(velmar_pe_arch "${1:-}")
if [ "$VELMAR_WINE_ARCH" = win32 ] && ! velmar_runs_32bit; then
  echo "skipped: $VELMAR_NO_32BIT_REASON"
  exit 77
fi
. "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
velmar_prefix_ready || { echo "wine-run.sh: cannot create the Wine prefix $WINEPREFIX" >&2; exit 1; }
exec wine "$@"
