# drawing.sh - sourced by run_e2e.sh: jobs drawn through the printer's own
# driver. Under Wine that is its PostScript driver; the run's CUPS queue
# passes the PostScript on, and Ghostscript reads the text back.

# A queue's job as text, sheet N of it (all sheets without N), trailing
# blanks and empty lines left out.
drawn_sheet_text() {
    local job=$1 pages=()
    [ $# -ge 2 ] && pages=(-dFirstPage="$2" -dLastPage="$2")
    gs -q -dNOPAUSE -dBATCH -dSAFER "${pages[@]}" -sDEVICE=txtwrite -sOutputFile=- "$job" 2>/dev/null |
        sed -e 's/[[:space:]]*$//' -e 's/^[[:space:]]*//' | grep -v '^$'
}

# The case's settings: DRAW on, no recoding, blank pages skipped, POPT.
drawing_settings() {
    printf '[MAIN]\r\nPOPT=%s\r\nTODOS=0000000000\r\nSKIPEMPTY=0100000001\r\nDRAW=0100000001\r\n' \
        "$1" >"$CASE_DIR/ini.ini"
}

# Three pages in code page 866: Cyrillic with a bold word, a blank page, and
# a condensed line; the printer's state (condensed) carries past the blank.
drawing_file() {
    {
        printf 'Отчёт за март\r\n\r\nИтого: \033Eпятьсот\033F рублей\r\n\f'
        printf '\r\n\r\n\f'
        printf '\017Мелкий шрифт, строка 3\022\r\nКонец\r\n'
    } | iconv -f UTF-8 -t CP866 >"$CASE_DIR/$1"
}

# print_drawn FILE: prints FILE of the case folder, drawn, through the
# run's queue and waits for the queue's job; sets job.
print_drawn() {
    local jobs deadline=$((SECONDS + 20))
    jobs=$(queue_jobs Velmar_Queue)
    drawing_settings Velmar_Queue
    windows_name "$1"
    start_main
    open_and_print "$MAIN" "$WINPATH"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    while [ -z "$(ls "$jobs")" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    sleep 0.5
    job=$(ls "$jobs"/job-*.prn 2>/dev/null | head -1)
    [ -n "$job" ] || fail "no job"
}

# one_sheet_drawn: the job print_drawn took ($job, kept as drawn.prn) is
# one sheet, which Ghostscript draws at 300 dpi into $CASE_DIR/sheet.pbm.
one_sheet_drawn() {
    cp "$job" "$CASE_DIR/drawn.prn"
    [ "$(grep -c '^%%Page:' "$job")" -eq 1 ] || fail "$(grep -c '^%%Page:' "$job") sheets, expected 1"
    gs -q -dNOPAUSE -dBATCH -dSAFER -r300 -sDEVICE=pbmraw -sOutputFile="$CASE_DIR/sheet.pbm" "$job" \
        2>/dev/null || fail "Ghostscript cannot draw the job"
}

# DRAW on with a CUPS queue: one PostScript job, one sheet per printed
# page, whose text Ghostscript gives back line for line.
case_printer_drawing() {
    local jobs job text
    drawing_file march.txt
    jobs=$(queue_jobs Velmar_Queue)
    drawing_settings Velmar_Queue
    windows_name march.txt
    start_main
    open_and_print "$MAIN" "$WINPATH"
    expect_text "$WIN" 1000 3
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла Velmar_Queue" "Анализ " \
        "Печать через драйвер" "Пустая страница пропущена" "Закрытие файла Velmar_Queue" \
        "Закрытие файла $WINPATH"
    local deadline=$((SECONDS + 20))
    while [ -z "$(ls "$jobs")" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    sleep 0.5
    [ "$(ls "$jobs" | grep -c '^job-.*\.prn$')" -eq 1 ] || fail "$(ls "$jobs" | wc -l) jobs, expected 1"
    job=$(ls "$jobs"/job-*.prn)
    cp "$job" "$CASE_DIR/drawn.prn"
    head -c 11 "$job" | grep -q '^%!PS-Adobe' || fail "the job is not PostScript"
    [ "$(grep -c '^%%Page:' "$job")" -eq 2 ] || fail "$(grep -c '^%%Page:' "$job") sheets, expected 2"
    text=$(drawn_sheet_text "$job" 1)
    [ "$text" = "$(printf 'Отчёт за март\nИтого: пятьсот рублей')" ] || fail "sheet 1 reads: $text"
    text=$(drawn_sheet_text "$job" 2)
    [ "$text" = "$(printf 'Мелкий шрифт, строка 3\nКонец')" ] || fail "sheet 2 reads: $text"

    # Cancel in the page range dialog: no job at all.
    open_and_print "$MAIN" "$WINPATH"
    drv click "$WIN" 2 || fail "cannot press Cancel"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    sleep 1
    [ "$(ls "$jobs" | grep -c '^job-.*\.prn$')" -eq 1 ] || fail "Cancel left a job"
    [ -z "$(lpstat -W not-completed -o 2>/dev/null)" ] || fail "a job was left: $(lpstat -o)"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A job as wide as the carriage allows prints larger on a turned sheet:
# landscape, every column still there.
case_printer_drawing_wide() {
    local jobs job wide
    wide=$(printf '%s' "Широкая таблица:"; printf ' %02d' $(seq 1 40))
    printf '%s\r\nвторая строка\r\n' "$wide" | iconv -f UTF-8 -t CP866 >"$CASE_DIR/wide.txt"
    [ "$(printf '%s' "$wide" | wc -m)" -gt 120 ] || fail "the test line is too short"
    print_drawn wide.txt
    grep -q '^%%Orientation: Landscape' "$job" || fail "not landscape: $(grep -m1 '^%%Orientation' "$job")"
    # Ghostscript reads turned text a letter a line: the sheet is set
    # upright for reading, on A4 laid sideways (Wine's page set-up at 300 dpi).
    grep -q '^-90 rotate$' "$job" || fail "no turned page set-up in the job"
    sed -e 's|/PageSize\[595 842\]|/PageSize[842 595]|' \
        -e '/%%BeginPageSetup/,/%%EndPageSetup/{s/^75 75 translate$/75 2404 translate/;s/^-90 rotate$/0 rotate/}' \
        "$job" >"$CASE_DIR/upright.prn"
    [ "$(drawn_sheet_text "$CASE_DIR/upright.prn" | head -1 | tr -s ' ')" = "$(printf '%s' "$wide" | tr -s ' ')" ] ||
        fail "the wide line reads: $(drawn_sheet_text "$CASE_DIR/upright.prn" | head -1)"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Bit images on a drawn sheet, read as a 24-pin printer reads them (the
# job has a 24-dot image): three 8-dot bands joined by ESC 3 24, each a
# solid logo half an inch wide, half an inch blank and ten vertical stripes,
# with data that reads as letters after them (at 60 dpi, and 24 dots
# high); text above and below. Ghostscript reads the page's text alone and
# draws the sheet, where the logo is one black block with no white line
# between its bands and the stripes keep their places against it.
case_printer_drawing_graphics() {
    local jobs job text
    python3 - "$CASE_DIR/logo.txt" <<'PY'
import sys
esc = b"\x1b"
def image(command, columns, data):
    return esc + command + bytes([columns % 256, columns // 256]) + data
band = (image(b"L", 60, b"\xff" * 60) + image(b"L", 60, b"\x00" * 60) +
        image(b"L", 120, (b"\xff" * 6 + b"\x00" * 6) * 10))
page = (b"LOGO TEST\r\n" + esc + b"3\x18" + band + image(b"K", 11, b"HELLO WORLD") + b"\r\n" +
        band + b"\r\n" + band + image(b"*\x27", 6, b"ABCDEFGHIJKLMNOPQR") + esc + b"2\r\nKONEC\r\n")
open(sys.argv[1], "wb").write(page)
PY
    print_drawn logo.txt
    one_sheet_drawn
    text=$(drawn_sheet_text "$job")
    [ "$text" = "$(printf 'LOGO TEST\nKONEC')" ] || fail "the sheet reads: $text"
    python3 - "$CASE_DIR/sheet.pbm" <<'PY' || fail "the dots are not where they must be"
import re, sys
data = open(sys.argv[1], "rb").read()
header = re.match(rb"P4\s+(?:#[^\n]*\n\s*)*(\d+)\s+(\d+)\s", data)
width, height, at = int(header.group(1)), int(header.group(2)), header.end()
stride = (width + 7) // 8
def runs(y):
    row = data[at + y * stride:at + (y + 1) * stride]
    found, start = [], None
    if not row.strip(b"\0"):
        return found
    for x in range(width + 1):
        black = x < width and row[x // 8] >> (7 - x % 8) & 1
        if black and start is None:
            start = x
        elif not black and start is not None:
            found.append((start, x))
            start = None
    return found
def fail(why):
    print("    " + why, file=sys.stderr)
    sys.exit(1)
rows = [runs(y) for y in range(height)]
# The logo's rows: a run far longer than any stroke of a letter.
logo = [y for y in range(height) if any(b - a > 100 for a, b in rows[y])]
if not logo:
    fail("no logo")
top, bottom = logo[0], logo[-1] + 1
if logo != list(range(top, bottom)):
    fail("a white line across the logo: rows %s" % sorted(set(range(top, bottom)) - set(logo)))
left, right = max(rows[top], key=lambda r: r[1] - r[0])
w = right - left
# Half an inch wide; the job is a 24-pin one (its ESC * 39), whose 8-dot
# bands are 1/60 inch a dot and ESC 3 24 is 24/180 inch: three bands are
# 0.4 inch high, at the sheet's scale.
if abs((bottom - top) - w * 4 / 5) > 3:
    fail("the logo is %d x %d" % (w, bottom - top))
for y in range(top, bottom):
    band = [r for r in rows[y] if r[0] < left + 4 * w - 2]
    if abs(band[0][0] - left) > 1 or abs(band[0][1] - right) > 1:
        fail("row %d of the logo runs %s" % (y, band[0]))
    stripes = band[1:]
    if len(stripes) != 10:
        fail("row %d has %d stripes: %s" % (y, len(stripes), stripes))
    for k, (a, b) in enumerate(stripes):
        if abs(a - (left + 2 * w + k * w / 5)) > 2 or abs((b - a) - w / 10) > 2:
            fail("stripe %d of row %d is at %d-%d" % (k, y, a, b))
# The letters above and below the image, clear of it, and starting where
# it starts.
def ink(y):
    return [r for r in rows[y] if r[0] < left + 4 * w - 2]
above = [y for y in range(top) if ink(y)]
below = [y for y in range(bottom, height) if ink(y)]
if not above or not below:
    fail("no text above or below the image")
if above[-1] >= top - 2:
    fail("the first line touches the image")
if below[0] - bottom < 2:
    fail("the last line touches the image")
text_left = min(r[0] for y in above for r in ink(y))
if not left <= text_left <= left + w / 5:
    fail("the text starts at %d, the image at %d" % (text_left, left))
PY
    note "the job: $(stat -c %s "$job") bytes, $(grep -c 'fill' "$job") lines with fill"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# An ESC/P2 colour driver's raster (Ghostscript's stcolor at 360 dpi, of
# block-and-ring.ps) drawn through Wine's driver at 300 dpi, where each of
# its dots falls on the device's own grid: one sheet whose picture is the
# PostScript page's, at its size: the block 10 points square and solid,
# the ring 14 points across, hollow, 26 points right and 24 down of it.
case_printer_drawing_raster() {
    local job
    cp "$root/tests/fixtures/printers/block-and-ring-stcolor-360x360.prn" "$CASE_DIR/ring.prn"
    print_drawn ring.prn
    one_sheet_drawn
    python3 - "$CASE_DIR/sheet.pbm" <<'PY' || fail "the picture is not where the dots go"
import re, sys
data = open(sys.argv[1], "rb").read()
header = re.match(rb"P4\s+(?:#[^\n]*\n\s*)*(\d+)\s+(\d+)\s", data)
width, height, at = int(header.group(1)), int(header.group(2)), header.end()
stride = (width + 7) // 8
def black(x, y):
    return data[at + y * stride + x // 8] >> (7 - x % 8) & 1
ink = [y for y in range(height) if data[at + y * stride:at + (y + 1) * stride].strip(b"\0")]
if not ink:
    print("    no ink", file=sys.stderr); sys.exit(1)
top, bottom = ink[0], ink[-1] + 1
cols = [x for x in range(width) if any(black(x, y) for y in range(top, bottom))]
left, right = cols[0], cols[-1] + 1
pt = 300 / 72
problems = []
if abs((right - left) - 33 * pt) > 4 or abs((bottom - top) - 31 * pt) > 4:
    problems.append("the ink is %d x %d, expected %.0f x %.0f" % (right - left, bottom - top, 33 * pt, 31 * pt))
for y in range(top + 3, top + int(10 * pt) - 3):
    if not all(black(x, y) for x in range(left + 3, left + int(10 * pt) - 3)):
        problems.append("white in the block's row %d" % (y - top)); break
cx, cy = left + 26 * pt, top + 24 * pt
if black(int(cx), int(cy)):
    problems.append("the ring is not hollow")
for dx, dy in ((6, 0), (-6, 0), (0, 6), (0, -6)):
    if not black(int(cx + dx * pt), int(cy + dy * pt)):
        problems.append("no ring %+d, %+d points from its centre" % (dx, dy))
for p in problems:
    print("    " + p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
    note "the job: $(stat -c %s "$job") bytes"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

ALL_CASES+=" printer_drawing printer_drawing_wide printer_drawing_graphics printer_drawing_raster"
