#!/usr/bin/env bash
# start.sh [FILE] - checks the tools and installs what is missing where it may
# (scripts/install-deps.sh), cross-builds velmar.exe and starts it under Wine.
# A FILE (Linux path) is handed to velmar.exe as the file to print at once.
#
# LPT1 goes to the first printer device found (/dev/usb/lp*, /dev/lp*), or
# else to the capture file build/lpt1-capture.prn, so that what would reach
# the printer can be looked at. The CUPS queues, which velmar sees as
# printers, are listed.
#
# Where this machine runs no 32-bit program (or VELMAR_NO_32BIT=1), or the
# 32-bit packages could not be installed (scripts/machine.sh), the 64-bit
# build of the same sources (build/win64) is started under wine64.
#
# VELMAR_BUILD_DIR and VELMAR_WINEPREFIX choose another build directory
# and Wine prefix.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh || { echo "start.sh: tools are missing (see above)" >&2; exit 1; }

. "$root/scripts/machine.sh"
velmar_choose_build start.sh
build=${VELMAR_BUILD_DIR:-$root/build/win$velmar_width}
cmake --no-warn-unused-cli -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$velmar_toolchain.cmake >/dev/null &&
    cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target velmar ||
    { echo "start.sh: the build failed" >&2; exit 1; }
exe=$build/shell/velmar.exe

if [ -z "${DISPLAY:-}" ]; then
    echo "start.sh: no X display (DISPLAY is not set)." >&2
    echo "  velmar.exe is a window program. Run this from a desktop session, set DISPLAY" >&2
    echo "  (e.g. DISPLAY=:0 scripts/start.sh), or use a virtual display:" >&2
    echo "  xvfb-run -a scripts/start.sh [FILE]" >&2
    echo "  velmar.exe is built: $exe" >&2
    exit 1
fi


. "$root/scripts/wine-prefix.sh"
velmar_prefix_ready || { echo "start.sh: cannot create the Wine prefix $WINEPREFIX" >&2; exit 1; }
echo "start.sh: $(velmar_prefix_describe)"

port=""
for device in /dev/usb/lp* /dev/lp*; do
    if [ -c "$device" ]; then
        port=$device
        break
    fi
done
if [ -n "$port" ]; then
    echo "start.sh: LPT1 is the printer $port"
else
    port=$root/build/lpt1-capture.prn
    touch "$port"
    echo "start.sh: no printer device found; LPT1 writes to $port"
fi
ln -sfn "$port" "$WINEPREFIX/dosdevices/lpt1"

# Wine shows every CUPS queue as a printer of the same name (a queue of
# another server too, when CUPS_SERVER names it).
queues=$(lpstat -e 2>/dev/null)
if [ -n "$queues" ]; then
    echo "start.sh: CUPS queues, each a printer in velmar:"
    printf '  %s\n' $queues
    echo "  To print to one, choose it with the \"...\" button beside Print To in Setting."
    echo "  Give the printer a raw queue (lpadmin -p NAME -v DEVICE-URI -E, no model), so the"
    echo "  bytes reach it unchanged. A job from the command line still goes to LPT1."
else
    echo "start.sh: no CUPS queues found (lpstat -e); only LPT1 is wired to a printer."
fi

args=()
if [ $# -gt 0 ]; then
    [ -e "$1" ] || echo "start.sh: warning: $1 does not exist; velmar.exe will report the error" >&2
    # Wine quotes an argument with blanks, which velmar.exe takes whole.
    file=$(winepath -w "$(realpath -m "$1")" 2>/dev/null)
    args=("$file" "${@:2}")
fi

# ini.ini lands beside the executable, in the build directory.
cd "$(dirname "$exe")" && exec wine "$exe" "${args[@]}"
