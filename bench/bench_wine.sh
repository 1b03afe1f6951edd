#!/usr/bin/env bash
# bench_wine.sh [RUNS] - the shipped velmar.exe under Wine against
# "cmd /c copy /b FILE LPT1", both writing to the same capture file in the
# same run. Cross-builds the Release exe, uses a Wine prefix and an Xvfb
# display of its own, and confirms each page range dialog the moment it
# appears (bench_driver.exe, inside Wine). Prints figures and ratios; it
# passes or fails nothing.
#
#   (a) 100 MB of Windows-1251 text cut by form feeds (about 30 K pages),
#       recoded, blank-page check on: the job from process start, leaving
#       out the wait in the dialog, against copy /b; once with an ini.ini
#       written an hour ago, once with none at all (a fresh copy). Each job
#       is reported split: start to the page range dialog (Wine's start,
#       reading, recoding, cutting) and its pages (confirmation to the last
#       byte).
#   (b) 10 MB cut at line feeds (about 170 K pages): microseconds per page
#       from the confirmation to the last byte in the capture file; and the
#       same 170 K pages cut at form feeds with no ini.ini (without one the
#       delimiter is the form feed).
#   Peak memory: the job's peak commit over that of a one-page job, against
#   file + 8 bytes a page + 4 MB.
#   Then the page preview, (c) drawn pages and (d) UTF-8 input, as said at
#   each. Every case is one function, case_NAME, further down; they run in
#   the order they stand there, or VELMAR_BENCH_CASES="NAME ..." picks some
#   (baseline first, for the figures measured over a one-page job).
#
# RUNS (default 3) runs of each; the best is shown. VELMAR_BENCH_BUILD,
# VELMAR_BENCH_WORK and VELMAR_BENCH_WINEPREFIX choose other places.
# Where this machine runs no 32-bit program (scripts/machine.sh), the 64-bit
# build is measured under wine64 instead, and the first line says so.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)
runs=${1:-3}
. "$root/scripts/machine.sh"
velmar_choose_build bench_wine
build=${VELMAR_BENCH_BUILD:-$root/build/bench-win$velmar_width}
work=${VELMAR_BENCH_WORK:-$root/build/bench-work}

for tool in cmake Xvfb wine wineserver winepath python3; do
    command -v "$tool" >/dev/null || { echo "bench_wine: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$velmar_toolchain.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build "$build" -j2 --target velmar bench_driver >/dev/null ||
    { echo "bench_wine: the build failed" >&2; exit 1; }
exe=$build/shell/velmar.exe
driver=$build/bench/bench_driver.exe

export VELMAR_WINEPREFIX=${VELMAR_BENCH_WINEPREFIX:-$(velmar_default_wineprefix)-bench}
. "$root/scripts/wine-prefix.sh"
velmar_prefix_ready || { echo "bench_wine: cannot create the Wine prefix $WINEPREFIX" >&2; exit 1; }
exec 8>"$WINEPREFIX.bench-lock"
flock -n 8 || { echo "bench_wine: another run holds $WINEPREFIX" >&2; exit 1; }

xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM
for n in $(seq 130 180); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; break; }
    kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=""
done
[ -n "$xvfb_pid" ] || { echo "bench_wine: cannot start Xvfb" >&2; exit 1; }
wineserver -p
# Without a window manager, Wine waits up to two seconds for one to answer
# when a managed window goes away: let Wine manage its windows itself, as
# the end-to-end tests do.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

mkdir -p "$work"
capture=$work/lpt1.prn
: >"$capture"
ln -sfn "$capture" "$WINEPREFIX/dosdevices/lpt1"

# ---- Helpers for the cases -----------------------------------------------

# make_raster PATH SHEETS: SHEETS sheets, each full of 360 x 360 dpi ESC/P2
# raster (8 x 10 inches of a dithered ring, run-length coded, 24 rows a
# command), cut by form feeds; kept between runs, as the other inputs are.
make_raster() {
    [ -f "$1" ] && return 0
    python3 - "$1" "$2" <<'PY'
import sys
def rle(row):
    out, i = b"", 0
    while i < len(row):
        n = 1
        while i + n < len(row) and n < 128 and row[i + n] == row[i]:
            n += 1
        if n >= 2:
            out += bytes([257 - n, row[i]])
            i += n
            continue
        j = i
        while j < len(row) and j - i < 128 and (j + 1 >= len(row) or row[j + 1] != row[j]):
            j += 1
        j = max(j, i + 1)
        out += bytes([j - i - 1]) + row[i:j]
        i = j
    return out
def raster_row(y):
    bits = []
    for x in range(2880):
        r = ((x - 1440) ** 2 + (y - 1800) ** 2) ** 0.5
        level = (r // 90) % 8
        bits.append(int((x * 5 + y * 3) % 8 < level))
    return bytes(sum(bits[8 * k + b] << (7 - b) for b in range(8)) for k in range(360))
sheet = b"\x1b(G\x01\x00\x01\x1b(U\x01\x00\x0a"
rows = [rle(raster_row(y)) for y in range(720)]
for top in range(0, 3600, 24):
    data = b"".join(rows[y % 720] for y in range(top, top + 24))
    sheet += b"\x1b.\x01\x0a\x0a\x18\x40\x0b" + data + b"\r\x1b(v\x02\x00\x18\x00"
open(sys.argv[1], "wb").write(b"\f".join([sheet] * int(sys.argv[2])))
PY
}

# make_case NAME MB PAGE_BYTES DELIMITER [noini]: the input NAME.txt (kept
# between runs), and NAME/velmar.exe with its settings, written well over
# two seconds ago, as a settings file usually is; with noini, no settings
# file at all (the defaults: recoding and the blank-page check on, form
# feeds).
make_case() {
    local name=$1 mb=$2 page=$3 delimiter=$4 ini=${5:-ini}
    if [ ! -f "$work/$name.txt" ] || [ ! -f "$work/$name.pages" ]; then
        python3 "$root/bench/make_input.py" "$work/$name.txt" "$mb" "$page" "$delimiter" >"$work/$name.pages"
    fi
    mkdir -p "$work/$name"
    cp "$exe" "$work/$name/velmar.exe"
    rm -f "$work/$name/ini.ini"
    [ "$ini" = noini ] && return
    printf '[MAIN]\r\nTODOS=0100000001\r\nSKIPEMPTY=0100000001\r\nLIMITER=%02X%02X\r\nPOPT=LPT1\r\n' \
        "$delimiter" "$delimiter" >"$work/$name/ini.ini"
    touch -d '-1 hour' "$work/$name/ini.ini"
}

win() { winepath -w "$1" 2>/dev/null; }

# best_of NAME KIND COMMANDLINE: runs the driver RUNS times on NAME.txt's
# size, prints the line with the least time to the last byte (the first two
# fields for a job: start to dialog, confirmation to last byte).
best_of() {
    local name=$1 kind=$2 commandline=$3 i line best="" size
    size=$(stat -c %s "$work/$name.txt")
    for i in $(seq "$runs"); do
        : >"$capture"
        line=$(wine "$driver" "$kind" 600000 "$(win "$capture")" "$size" "$commandline" | tr -d '\r') ||
            { echo "bench_wine: run failed: $commandline" >&2; exit 1; }
        echo "    run $i: $line" >&2
        [ "$(stat -c %s "$capture")" = "$size" ] ||
            { echo "bench_wine: LPT1 got $(stat -c %s "$capture") bytes of $size" >&2; exit 1; }
        [ "${name%noini}" = "$name" ] || [ ! -e "$work/$name/ini.ini" ] ||
            { echo "bench_wine: $name wrote a settings file" >&2; exit 1; }
        if [ -z "$best" ] || [ "$(key "$kind" "$line")" -lt "$(key "$kind" "$best")" ]; then
            best=$line
        fi
    done
    echo "$best"
}
key() {
    if [ "$1" = job ]; then echo "$2" | awk '{print $1 + $2}'; else echo "$2" | awk '{print $1}'; fi
}

job() { best_of "$1" job "\"$(win "$work/$1/velmar.exe")\" $(win "$work/$1.txt")"; }
copy() { best_of "$1" run "cmd /c copy /b $(win "$work/$1.txt") LPT1"; }

# The platform's own cost of what every page needs: the look at the
# settings file and one write of BYTES bytes to the same capture, COUNT
# times each; prints the two means (us).
page_floor() {
    : >"$capture"
    wine "$driver" calls "$(win "$1")" LPT1 "$2" "$3" | tr -d '\r'
    : >"$capture"
}

# split_line LABEL START PAGES PAGE_COUNT COPY: one job's split, start to
# the page range dialog and the pages (confirmation to the last byte), and
# the whole against copy /b (all in us).
split_line() {
    LC_ALL=C awk -v label="$1" -v start="$2" -v pages="$3" -v count="$4" -v copy="$5" 'BEGIN {
        printf "    %s: start to dialog %.3f s + pages %.3f s (%.2f us a page, target <= 15) = %.3f s, %.2f x copy /b (target <= 4)\n",
            label, start / 1e6, pages / 1e6, pages / count, (start + pages) / 1e6, (start + pages) / copy
    }'
}

# ---- The cases --------------------------------------------------------------
# Each case is one function named case_*, run in the order they stand in
# this file (VELMAR_BENCH_CASES="name ..." runs only those, without the
# case_). They share the helpers above and what case_baseline leaves in
# base_start and base_commit; a case that needs more of its own keeps it
# in its own variables.

# The one-page job: Wine's start of velmar and its dialog, and its memory,
# which the 100 MB jobs are measured over.
case_baseline() {
    make_case one 0 1 12
    printf 'one page\r\n' >"$work/one.txt"
    echo "one-page job (memory baseline): start to dialog, to last byte, to exit (us), working set, commit"
    read -r base_start _ _ _ base_commit _ <<<"$(job one)"
}

# (a) 100 MB of Windows-1251 text cut by form feeds, recoded, blank-page
# check on, with an ini.ini and with none: each job's start to the page
# range dialog (reading, recoding and cutting, over Wine's start of the
# one-page job) and its pages, against copy /b of the same file.
# measure_pair NAME NOINI FLOOR_CALLS LABEL KIND COPY_HEADING JOB_HEADING NOINI_HEADING:
# copy /b of NAME's file, a job of case NAME and one of case NOINI, and the
# floor per page; sets pages, size, copy_time, start, job_time, commit,
# start_noini, job_noini, attr and write.
measure_pair() {
    pages=$(($(cat "$work/$1.pages") + 1))
    size=$(stat -c %s "$work/$1.txt")
    echo "$4 $((size / 1000000)) MB, $5, $pages pages:"
    echo "  $6"
    read -r copy_time _ <<<"$(copy "$1")"
    echo "  $7"
    read -r start job_time _ _ commit _ <<<"$(job "$1")"
    echo "  $8"
    read -r start_noini job_noini _ <<<"$(job "$2")"
    read -r attr write <<<"$(page_floor "$work/$1/ini.ini" "$((size / pages))" "$3")"
}

case_form_feeds() {
    local pages size copy_time start job_time commit start_noini job_noini attr write
    local copy_ff start_ff job_ff commit_ff start_ffn job_ffn
    make_case ff 100 3333 12
    make_case ffnoini 100 3333 12 noini
    measure_pair ff ffnoini 30000 "(a)" "form feeds" "copy /b: to last byte, to exit (us)" \
        "velmar: start to dialog, confirmation to last byte, to exit (us), working set, commit" \
        "velmar, no ini.ini:"
    copy_ff=$copy_time start_ff=$start job_ff=$job_time commit_ff=$commit start_ffn=$start_noini job_ffn=$job_noini
    echo "(a) copy /b $(LC_ALL=C awk -v c="$copy_ff" 'BEGIN { printf "%.3f", c / 1e6 }') s"
    split_line "with ini.ini" "$start_ff" "$job_ff" "$pages" "$copy_ff"
    split_line "no ini.ini  " "$start_ffn" "$job_ffn" "$pages" "$copy_ff"
    LC_ALL=C awk -v start_ff="$start_ff" -v start_ffn="$start_ffn" -v base_start="${base_start:-0}" \
        -v attr="$attr" -v write="$write" -v pages="$pages" -v size="$size" -v commit="$commit_ff" \
        -v base="${base_commit:-0}" 'BEGIN {
        printf "    reading, recoding and cutting: %.3f s with ini.ini, %.3f s without, over the start of a one-page job\n",
            (start_ff - base_start) / 1e6, (start_ffn - base_start) / 1e6
        printf "    the floor per page: settings-file look %.2f us + write %.2f us = %.3f s for all pages\n",
            attr, write, pages * (attr + write) / 1e6
        printf "    memory over a one-page job: %.1f MB of %.1f MB allowed (file + 8 B a page + 4 MB)\n",
            (commit - base) / 1048576, (size + 8 * pages + 4194304) / 1048576
    }'
}

# (b) 10 MB cut at line feeds (about 170 K pages): microseconds per page
# from the confirmation to the last byte in the capture file; and the same
# 170 K pages cut at form feeds with no ini.ini (without one the delimiter
# is the form feed).
case_line_feeds() {
    local pages size copy_time start job_time commit start_noini job_noini attr write
    local copy_lf start_lf job_lf commit_lf job_lfn
    make_case lf 10 62 10
    make_case lffnoini 10 62 12 noini
    measure_pair lf lffnoini 100000 "(b)" "line feeds" "copy /b:" "velmar:" \
        "velmar, the same pages cut at form feeds, no ini.ini:"
    copy_lf=$copy_time start_lf=$start job_lf=$job_time commit_lf=$commit job_lfn=$job_noini
    LC_ALL=C awk -v copy_lf="$copy_lf" -v start_lf="$start_lf" -v job_lf="$job_lf" -v pages="$pages" \
        -v size="$size" -v commit="$commit_lf" -v base="${base_commit:-0}" -v attr="$attr" -v write="$write" \
        -v job_lfn="$job_lfn" 'BEGIN {
        printf "(b) copy /b %.3f s; velmar confirmation to last byte %.3f s = %.2f us per page (target <= 15)\n",
            copy_lf / 1e6, job_lf / 1e6, job_lf / pages
        printf "    ratio %.2f x copy /b, from process start leaving out the dialog; the floor per page: %.2f us + %.2f us\n",
            (start_lf + job_lf) / copy_lf, attr, write
        printf "    no ini.ini, the same pages cut at form feeds: %.3f s = %.2f us per page (target <= 15)\n",
            job_lfn / 1e6, job_lfn / pages
        printf "    memory over a one-page job: %.1f MB of %.1f MB allowed\n",
            (commit - base) / 1048576, (size + 8 * pages + 4194304) / 1048576
    }'
}

# The page preview: page turns in the page range dialog's preview, each key
# waited for until the page is painted, on 200 pages of 80 x 66 (a full
# form of full lines of Windows-1251 Russian, recoded, about 5.3 KB a page;
# target at most 50 ms a turn), and on 30 pages each full of raster.
# Also: opening it (the carriage measured over the whole file), End after
# Home the first time (the printer's state walked over every page) and
# again, Page Up from the last page, the round trip of a message the
# preview ignores (the floor under each turn), and the memory it adds.
case_preview() {
    if [ ! -f "$work/preview.txt" ]; then
        python3 - "$work/preview.txt" <<'PY'
import random, sys
rng = random.Random(2)
words = ["Счёт", "итого", "12345,67", "кол-во", "Иванов", "налог", "заказ", "товар", "январь", "сумма"]
with open(sys.argv[1], "wb") as out:
    for page in range(200):
        for row in range(66):
            line = ""
            while len(line) < 80:
                line += rng.choice(words) + " "
            out.write(line[:80].encode("cp1251") + b"\r\n")
        out.write(b"\f")
PY
    fi
    make_raster "$work/preview-raster.txt" 30
    mkdir -p "$work/preview"
    cp "$exe" "$work/preview/velmar.exe"
    printf '[MAIN]\r\nTODOS=0100000001\r\nSKIPEMPTY=0100000001\r\nPOPT=LPT1\r\n' >"$work/preview/ini.ini"
    preview_runs preview.txt 50 "200 pages of 80 x 66"
    preview_runs preview-raster.txt 20 "30 pages each full of 360 dpi raster"
}

# preview_runs FILE TURNS WHAT: the best of the runs of the preview on FILE.
preview_runs() {
    local best="" line i
    for i in $(seq "$runs"); do
        line=$(wine "$driver" preview 120000 "$2" "\"$(win "$work/preview/velmar.exe")\" $(win "$work/$1")" |
            tr -d '\r') || { echo "bench_wine: the preview run failed" >&2; exit 1; }
        echo "    preview run $i on $1: $line" >&2
        if [ -z "$best" ] || [ "$(echo "$line" | awk '{print $2}')" -lt "$(echo "$best" | awk '{print $2}')" ]; then
            best=$line
        fi
    done
    LC_ALL=C awk -v line="$best" -v what="$3" 'BEGIN {
        split(line, f, " ")
        printf "preview, %s: a page turn (Page Down) %.1f ms on average, %.1f ms at most (target <= 50 ms)\n",
            what, f[2] / 1000, f[3] / 1000
        printf "    Page Up from the last page %.1f ms on average, %.1f ms at most; opening %.1f ms; End the first time %.1f ms, then %.1f ms; Home %.1f ms\n",
            f[7] / 1000, f[8] / 1000, f[1] / 1000, f[4] / 1000, f[6] / 1000, f[5] / 1000
        printf "    the floor: a message it ignores %.2f ms; memory added while open %.0f KB\n", f[9] / 1000, f[10] / 1024
    }'
}

# ---- (c) drawn pages --------------------------------------------------------
# (c) 200 pages of 80 x 66 characters (code page 866, Cyrillic and digits) printed
# to a CUPS queue of this run's own through Wine's PostScript driver, DRAW on:
# milliseconds per page from the confirmation until the document is handed to
# the spooler (EndDoc returned), timed inside bench_draw.exe, which runs the
# same job and drawing code as velmar.exe. Against, in the same run, the same
# job sent raw (DRAW off) and the floor under drawing: the same lines drawn
# with one ExtTextOutW each, no layout. Target: <= 20 ms a page.
case_drawn() {
    local cups=$work/cups draw_exe=$build/bench/bench_draw.exe best_drawn="" best_raw="" best_floor="" line i
    cmake --build "$build" -j2 --target bench_draw >/dev/null || { echo "bench_wine: bench_draw failed to build" >&2; return 1; }
    . "$root/tests/cups_server.sh"
    cups_start "$cups" && cups_add_queue Bench_Queue "$cups/jobs" ||
        { echo "bench_wine: no CUPS server for the drawn pages" >&2; return 1; }
    python3 - "$work/draw.txt" <<'PY'
import sys
line = "Строка {:3d} отчёта: итог 1234567.89 руб. Ёё Щщ Ъъ ЭЮЯ эюя abcdefgh|"
pages = []
for p in range(200):
    rows = [(line.format(r + 1) + "0123456789" * 8)[:80] for r in range(66)]
    pages.append("\r\n".join(rows) + "\r\n")
open(sys.argv[1], "wb").write("\f".join(pages).encode("cp866"))
PY
    printf '[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nDRAW=0100000001\r\n' >"$work/draw-on.ini"
    printf '[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nDRAW=0000000000\r\n' >"$work/draw-off.ini"
    for i in $(seq "$runs"); do
        line=$(wine "$draw_exe" Bench_Queue "$(win "$work/draw.txt")" "$(win "$work/draw-on.ini")" | tr -d '\r')
        echo "    drawn run $i: $line (us, pages)" >&2
        [ -z "$best_drawn" ] || [ "${line%% *}" -lt "${best_drawn%% *}" ] && best_drawn=$line
        line=$(wine "$draw_exe" Bench_Queue "$(win "$work/draw.txt")" "$(win "$work/draw-off.ini")" | tr -d '\r')
        echo "    raw run $i: $line" >&2
        [ -z "$best_raw" ] || [ "${line%% *}" -lt "${best_raw%% *}" ] && best_raw=$line
        line=$(wine "$draw_exe" Bench_Queue "$(win "$work/draw.txt")" "$(win "$work/draw-on.ini")" floor | tr -d '\r')
        echo "    floor run $i: $line" >&2
        [ -z "$best_floor" ] || [ "${line%% *}" -lt "${best_floor%% *}" ] && best_floor=$line
    done
    cups_stop
    LC_ALL=C awk -v drawn="$best_drawn" -v raw="$best_raw" -v floor="$best_floor" 'BEGIN {
        split(drawn, d, " "); split(raw, r, " "); split(floor, f, " ")
        printf "(c) %d pages of 80 x 66 drawn through the driver: %.2f ms a page (target <= 20), confirmation to EndDoc\n",
            d[2], d[1] / d[2] / 1000
        printf "    raw to the same queue %.2f ms a page; the floor, GDI without the layout, %.2f ms a page: %.2f x the floor\n",
            r[1] / r[2] / 1000, f[1] / f[2] / 1000, d[1] / f[1]
    }'
}

# ---- (e) drawn pages with bit images ----------------------------------------
# 50 pages of 80 x 66: 28 lines of text, ten 8-dot bands of 960 columns at
# 120 dpi (ESC L, joined by ESC 3 24: a letterhead's logo, a ring, a
# wedge, diagonal stripes and blocks, over a bar code), 28 lines more;
# drawn through Wine's PostScript driver to a CUPS queue of this function's
# own, DRAW on. Milliseconds per page from the confirmation to EndDoc
# (bench_draw.exe), against the same pages without the bands and, as the
# worst case, with the bands dithered (a ramp, no two columns alike), and
# the job's PostScript per page. Target: <= 40 ms a page. And 5 sheets
# each full of 360 x 360 dpi ESC/P2 raster (8 x 10 inches of a dithered
# ring, run-length coded, 24 rows a command): target <= 100 ms a sheet.
case_graphics_drawn() {
    local cups=$work/cups-graphics draw_exe=$build/bench/bench_draw.exe line i kind bytes
    local -A best size
    cmake --build "$build" -j2 --target bench_draw >/dev/null || { echo "bench_wine: bench_draw failed to build" >&2; return 1; }
    python3 - "$work/graphics" <<'PY'
import sys
text = [("Строка {:2d}: итог 1234567.89 руб. abcdefgh ".format(r + 1) + "0123456789" * 8)[:80].encode("cp866")
        for r in range(56)]
def logo(x, y):
    ring = ((x - 100) / 40) ** 2 + ((y - 24) / 24) ** 2
    if 0.55 <= ring <= 1 or (y >= 52 and (x // (1 + (x // 7) % 4)) % 2):
        return 1
    if 200 <= x < 440 and y < 48 and x - 200 < (48 - y) * 5:
        return 1
    if 480 <= x < 700 and y < 48 and (x + y) // 6 % 3 == 0:
        return 1
    return int(740 <= x < 940 and (10 <= y < 20 or 30 <= y < 40 or 740 <= x < 760))
def ramp(x, y):
    return int(y % 8 >= (x * 8 // 960 + y // 8 + x % 3) % 9)
def page(dot):
    bands = b""
    for b in range(10):
        columns = bytes(sum(dot(c, 8 * b + k) << (7 - k) for k in range(8)) for c in range(960))
        bands += b"\x1bL" + bytes([960 % 256, 960 // 256]) + columns + b"\r\n"
    return b"\r\n".join(text[:28]) + b"\r\n\x1b3\x18" + bands + b"\x1b2" + b"\r\n".join(text[28:]) + b"\r\n"
for name, body in (("logo", page(logo)), ("ramp", page(ramp)), ("plain", b"\r\n".join(text) + b"\r\n")):
    open(sys.argv[1] + "-" + name + ".txt", "wb").write(b"\f".join([body] * 50))
PY
    make_raster "$work/graphics-raster.txt" 5
    printf '[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nDRAW=0100000001\r\n' >"$work/graphics.ini"
    . "$root/tests/cups_server.sh"
    cups_start "$cups" && cups_add_queue Bench_Graphics "$cups/jobs" ||
        { echo "bench_wine: no CUPS server for the pages with bit images" >&2; return 1; }
    for i in $(seq "$runs"); do
        for kind in logo plain ramp raster; do
            line=$(wine "$draw_exe" Bench_Graphics "$(win "$work/graphics-$kind.txt")" "$(win "$work/graphics.ini")" | tr -d '\r')
            echo "    $kind, run $i: $line (us, pages)" >&2
            [ -z "${best[$kind]:-}" ] || [ "${line%% *}" -lt "${best[$kind]%% *}" ] && best[$kind]=$line
            sleep 0.5
            size[$kind]=$(ls -t "$cups"/jobs/job-*.prn 2>/dev/null | head -1 | xargs -r stat -c %s)
        done
    done
    cups_stop
    LC_ALL=C awk -v raster="${best[raster]}" -v raster_size="${size[raster]:-0}" 'BEGIN {
        split(raster, s, " ")
        printf "    %d sheets full of 360 x 360 dpi raster: %.1f ms a sheet (target <= 100), PostScript %.1f KB a sheet\n",
            s[2], s[1] / s[2] / 1000, raster_size / s[2] / 1024
    }'
    LC_ALL=C awk -v logo="${best[logo]}" -v plain="${best[plain]}" -v ramp="${best[ramp]}" \
        -v logo_size="${size[logo]:-0}" -v plain_size="${size[plain]:-0}" -v ramp_size="${size[ramp]:-0}" 'BEGIN {
        split(logo, l, " "); split(plain, p, " "); split(ramp, r, " ")
        printf "(e) %d pages of 80 x 66 with ten 8-dot bands of 960 columns at 120 dpi (a logo over a bar code): %.2f ms a page (target <= 40), PostScript %.1f KB a page\n",
            l[2], l[1] / l[2] / 1000, logo_size / l[2] / 1024
        printf "    the same pages without the bands %.2f ms a page (%.1f KB); with the bands dithered %.2f ms a page (%.1f KB)\n",
            p[1] / p[2] / 1000, plain_size / p[2] / 1024, r[1] / r[2] / 1000, ramp_size / r[2] / 1024
    }'
}

# ---- Unicode input ------------------------------------------------------------
# (d) The text of (a) as about 100 MB of UTF-8 without a mark, recoded, and
# both files again with Convert To Dos off. The recoding's own cost is a
# file's start-to-dialog time with it on less that with it off (the rest of
# the job does not change, but for cutting the shorter recoded text); for
# UTF-8 it is held against that of the Windows-1251 file (target at most 2).
# Each of the four jobs is also reported split: start to dialog, and pages.

# unicode_case DIR TODOS: DIR/velmar.exe with its settings, as make_case.
unicode_case() {
    mkdir -p "$work/$1"
    cp "$exe" "$work/$1/velmar.exe"
    printf '[MAIN]\r\nTODOS=%s\r\nSKIPEMPTY=0100000001\r\nLIMITER=0C0C\r\nPOPT=LPT1\r\n' "$2" >"$work/$1/ini.ini"
    touch -d '-1 hour' "$work/$1/ini.ini"
}

# unicode_run DIR FILE SIZE: one job of DIR/velmar.exe on FILE, whose LPT1
# output is SIZE bytes; prints its time from start to dialog and that of
# its pages (us).
unicode_run() {
    local line
    : >"$capture"
    line=$(wine "$driver" job 600000 "$(win "$capture")" "$3" \
        "\"$(win "$work/$1/velmar.exe")\" $(win "$work/$2")" | tr -d '\r') ||
        { echo "bench_wine: run failed: $1 $2" >&2; exit 1; }
    [ "$(stat -c %s "$capture")" = "$3" ] ||
        { echo "bench_wine: LPT1 got $(stat -c %s "$capture") bytes of $3" >&2; exit 1; }
    echo "$line" | awk '{print $1, $2}'
}

# least A B: the smaller of two times, A empty at first.
least() { if [ -z "$1" ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }

case_unicode() {
    local size_utf8 chars_utf8 size_ff i name file bytes start pages k
    local -a names=(utf8 utf8-off ff ff-off) starts=("" "" "" "") page_times=("" "" "" "")
    make_case ff 100 3333 12
    if [ ! -f "$work/utf8.txt" ] || [ ! -f "$work/utf8.chars" ]; then
        # Whole pages of ff.txt up to 100 MB of UTF-8; utf8.chars is what it
        # prints as, one byte a character.
        python3 - "$work/ff.txt" "$work/utf8.txt" >"$work/utf8.chars" <<'PY'
import sys
source, target = sys.argv[1], sys.argv[2]
text = open(source, "rb").read().decode("cp1251").encode("utf-8")
end = text.rfind(b"\f", 0, 100000000) + 1
open(target, "wb").write(text[:end])
print(len(text[:end].decode("utf-8")))
PY
    fi
    unicode_case utf8 0100000001
    unicode_case utf8-off 0000000000
    unicode_case ff-off 0000000000
    size_utf8=$(stat -c %s "$work/utf8.txt")
    chars_utf8=$(cat "$work/utf8.chars")
    size_ff=$(stat -c %s "$work/ff.txt")
    echo "(d) $((size_utf8 / 1000000)) MB of UTF-8 ($chars_utf8 characters), the same text as (a);"
    echo "    start to dialog and pages (us) of UTF-8 recoded, not recoded, Windows-1251 recoded, not recoded:"
    # The four jobs take turns, so that a slow spell of the machine does not
    # fall on one of them alone; the least time of each is kept.
    for i in $(seq $((runs * 2))); do
        line="    run $i:"
        for k in 0 1 2 3; do
            case $k in
                0) file=utf8.txt bytes=$chars_utf8 ;;
                1) file=utf8.txt bytes=$size_utf8 ;;
                *) file=ff.txt bytes=$size_ff ;;
            esac
            read -r start pages <<<"$(unicode_run "${names[$k]}" "$file" "$bytes")" || exit 1
            [ -n "$start" ] || exit 1
            starts[$k]=$(least "${starts[$k]}" "$start")
            page_times[$k]=$(least "${page_times[$k]}" "$pages")
            line="$line $start+$pages"
        done
        echo "$line" >&2
    done

    LC_ALL=C awk -v start_u8="${starts[0]}" -v start_u8_off="${starts[1]}" -v start_ff="${starts[2]}" \
        -v start_ff_off="${starts[3]}" -v pages_u8="${page_times[0]}" -v pages_u8_off="${page_times[1]}" \
        -v pages_ff="${page_times[2]}" -v pages_ff_off="${page_times[3]}" -v base_start="${base_start:-0}" 'BEGIN {
        utf8 = start_u8 - start_u8_off
        windows = start_ff - start_ff_off
        printf "(d) start to dialog: UTF-8 %.3f s recoded, %.3f s not; Windows-1251 %.3f s recoded, %.3f s not\n",
            start_u8 / 1e6, start_u8_off / 1e6, start_ff / 1e6, start_ff_off / 1e6
        printf "    pages: UTF-8 %.3f s recoded, %.3f s not; Windows-1251 %.3f s recoded, %.3f s not\n",
            pages_u8 / 1e6, pages_u8_off / 1e6, pages_ff / 1e6, pages_ff_off / 1e6
        printf "    recoding: UTF-8 %.3f s, Windows-1251 %.3f s: ratio %.2f (target <= 2)\n",
            utf8 / 1e6, windows / 1e6, (windows > 0 ? utf8 / windows : 0)
        printf "    reading, recoding and cutting over a one-page job: UTF-8 %.3f s, Windows-1251 %.3f s: ratio %.2f\n",
            (start_u8 - base_start) / 1e6, (start_ff - base_start) / 1e6,
            (start_ff > base_start ? (start_u8 - base_start) / (start_ff - base_start) : 0)
    }'
}

# ---- Running them -------------------------------------------------------------

echo "velmar.exe ($velmar_width-bit) $(stat -c %s "$exe") bytes, Wine $(wine --version), $runs runs each, best shown"
base_start=0 base_commit=0
cases=${VELMAR_BENCH_CASES:-$(sed -n 's/^case_\([a-z0-9_]*\)() {$/\1/p' "$root/bench/$(basename "$0")")}
for name in $cases; do
    declare -F "case_$name" >/dev/null || { echo "bench_wine: no case $name" >&2; exit 2; }
    "case_$name" || echo "bench_wine: case $name failed" >&2
done
