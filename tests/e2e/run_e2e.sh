#!/usr/bin/env bash
# run_e2e.sh VELMAR_EXE DRIVER_EXE - end-to-end tests of velmar.exe under Wine.
#
# Starts a private Xvfb, prepares a Wine prefix of its own (so that stopping
# its wineserver and re-pointing LPT1 disturb no other test), and runs each
# case in a fresh directory holding a copy of velmar.exe, so that ini.ini
# lands beside the copy and every case starts without settings. LPT1 is a
# link to a capture file. driver.exe works the windows from the inside of
# Wine. Every case runs under a timeout.
#
# Environment:
#   VELMAR_SCREENSHOTS=DIR   also save PNG screenshots there (needs imagemagick)
#   VELMAR_E2E_CASES="a b"   run only these cases
#   VELMAR_E2E_KEEP=1        keep the working directory
#   VELMAR_E2E_WINEPREFIX    the prefix to use (default: the project's, + "-e2e")
#   VELMAR_FAKE_HHCTRL       the planted hhctrl.ocx of the help cases
#   VELMAR_RELEASE_ZIP       the release archive that case_release unpacks
#
# Prints one line per case and closes with "N passed, M failed"; the exit
# status is non-zero when a case failed.
set -u

CASE_TIMEOUT=${VELMAR_E2E_CASE_TIMEOUT:-60}
WAIT_MS=20000

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)

# ---------------------------------------------------------------------------
# Helpers for the cases. A case runs in its own bash process (see run_case),
# in its directory $CASE_DIR, and ends with exit 0 (pass) or fail's exit 1.

fail() {
    echo "    FAIL: $*" >&2
    exit 1
}

note() {
    echo "    $*" >&2
}

# The driver; each call is traced, so a case that times out can say where.
drv() {
    echo "$(date +%T.%N | cut -c1-12) driver $*" >>"$CASE_DIR/trace"
    wine "$DRIVER_EXE" "$@"
}

# The bytes of a UTF-8 text in code page 1251, as lower-case hex.
cp1251_hex() {
    printf '%s' "$1" | iconv -f UTF-8 -t CP1251 | od -An -v -tx1 | tr -d ' \n'
}

# Starts velmar.exe from the case directory (it is the current directory,
# so relative output names land there too); sets VELMAR_PID (Linux).
start_velmar() {
    start_velmar_at "$CASE_DIR" velmar.exe "$@"
}

# start_velmar_at DIR EXE ARG...: the same with DIR as the current folder.
start_velmar_at() {
    local dir=$1 exe=$2
    shift 2
    (cd "$dir" && exec wine "$exe" "$@") >>"$CASE_DIR/velmar.out" 2>&1 &
    VELMAR_PID=$!
    echo "$VELMAR_PID" >>"$CASE_DIR/pids"
}

# Starts velmar.exe through the driver with exactly COMMANDLINE, from the
# case directory; sets VELMAR_WINPID (Windows). The driver stays with the
# program and writes its exit code to VELMAR_WATCH when it ends, so that a
# program that ends at once still tells how.
start_cmdline() {
    local deadline=$((SECONDS + 20)) watcher
    VELMAR_WATCH=$(mktemp "$CASE_DIR/started.XXXXXX")
    echo "$(date +%T.%N | cut -c1-12) driver start-watch $1" >>"$CASE_DIR/trace"
    # Through a file: the started program inherits the driver's output, and a
    # pipe would stay open until it ends.
    (cd "$CASE_DIR" && exec wine "$DRIVER_EXE" start-watch "$1") >"$VELMAR_WATCH" 2>>"$CASE_DIR/velmar.out" &
    watcher=$!
    echo "$watcher" >>"$CASE_DIR/pids"
    VELMAR_WINPID=""
    while [ -z "$VELMAR_WINPID" ]; do
        VELMAR_WINPID=$(head -n 1 "$VELMAR_WATCH" | grep -xE '[0-9]+')
        [ -n "$VELMAR_WINPID" ] && break
        kill -0 "$watcher" 2>/dev/null || [ -s "$VELMAR_WATCH" ] || fail "cannot start: $1"
        [ "$SECONDS" -lt "$deadline" ] || fail "cannot start: $1 (no process after 20 s)"
        sleep 0.05
    done
    echo "$VELMAR_WINPID" >>"$CASE_DIR/winpids"
}

# Like expect_exit, for a program started by start_cmdline.
expect_exit_win() {
    local deadline=$((SECONDS + 20)) code
    while :; do
        code=$(sed -n 's/^exit \([0-9]*\)$/\1/p' "$VELMAR_WATCH")
        [ -n "$code" ] && break
        [ "$SECONDS" -lt "$deadline" ] || fail "velmar.exe did not end by itself ($1)"
        sleep 0.05
    done
    [ "$code" = 0 ] || fail "velmar.exe ended with status $code ($1)"
}

# Waits for the window and sets WIN, WIN_PID (Windows) and WIN_RECT.
# find_window [-v] CLASS TITLE
find_window() {
    local line
    line=$(drv find -t "$WAIT_MS" "$@") || fail "no window: $*"
    read -r WIN WIN_PID l t r b _ <<<"$line"
    WIN_RECT="$l $t $r $b"
}

# Waits for velmar to end by itself; fails if it does not within the time
# or ends with a status other than 0.
expect_exit() {
    local deadline=$((SECONDS + 20)) status
    while kill -0 "$VELMAR_PID" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "velmar.exe did not end by itself ($1)"
        sleep 0.1
    done
    wait "$VELMAR_PID"
    status=$?
    [ "$status" -eq 0 ] || fail "velmar.exe ended with status $status ($1)"
}

expect_running() {
    kill -0 "$VELMAR_PID" 2>/dev/null || fail "velmar.exe ended ($1)"
}

# expect_log WINDOW LINE... : the activity log holds exactly these lines.
# Lines are given in UTF-8 and compared as Windows-1251 bytes. The log may
# still be growing, so it is read again until it matches or time runs out.
expect_log() {
    local window=$1 expected="" actual="" line deadline=$((SECONDS + 10))
    shift
    for line in "$@"; do
        expected+="$(cp1251_hex "$line")"$'\n'
    done
    while :; do
        actual="$(drv lines "$window")"$'\n'
        [ "$actual" = "$expected" ] && return 0
        [ "$SECONDS" -lt "$deadline" ] || break
        sleep 0.2
    done
    note "activity log, expected:"
    printf '%s' "$expected" | while read -r line; do note "  $(echo "$line" | xxd -r -p | iconv -f CP1251 -t UTF-8)"; done
    note "actual:"
    printf '%s' "$actual" | while read -r line; do note "  $(echo "$line" | xxd -r -p | iconv -f CP1251 -t UTF-8 2>/dev/null || echo "$line")"; done
    fail "activity log differs"
}

# expect_text DIALOG ID TEXT
expect_text() {
    local actual
    actual=$(drv gettext "$1" "$2") || fail "cannot read control $2"
    [ "$actual" = "$3" ] || fail "control $2 holds \"$actual\", expected \"$3\""
}

# expect_bytes FILE EXPECTED_FILE WHAT
expect_bytes() {
    [ -f "$1" ] || fail "$3: $1 does not exist"
    if ! cmp -s "$1" "$2"; then
        note "$3: expected $(stat -c %s "$2") bytes:"
        od -An -c "$2" | head -8 >&2
        note "actual $(stat -c %s "$1") bytes:"
        od -An -c "$1" | head -8 >&2
        fail "$3 differs"
    fi
}

# The RECT value as stored in ini.ini: the four 32-bit integers
# little-endian, then the sum of the 16 bytes modulo 256, in upper-case hex.
rect_hex() {
    local v k byte sum=0 out=""
    for v in "$@"; do
        v=$((v & 0xFFFFFFFF))
        for k in 0 8 16 24; do
            byte=$(((v >> k) & 0xFF))
            out+=$(printf '%02X' "$byte")
            sum=$((sum + byte))
        done
    done
    printf '%s%02X' "$out" $((sum & 0xFF))
}

# The value of a key of ini.ini, empty when the file or the key is missing.
ini_value() {
    [ -f "$CASE_DIR/ini.ini" ] || return 0
    tr -d '\r' <"$CASE_DIR/ini.ini" | sed -n "s/^$1=//p"
}

# A five-page file: pages end with a form feed, the last one does not.
make_pages() {
    local n
    for n in 1 2 3 4 5; do
        printf 'Page %d line 1\r\nPage %d line 2\r\n' "$n" "$n"
        [ "$n" -eq 5 ] || printf '\f'
    done
}

# Bytes of pages FROM to TO of a make_pages file, each with its form feed.
pages_bytes() {
    local n
    for n in $(seq "$1" "$2"); do
        printf 'Page %d line 1\r\nPage %d line 2\r\n' "$n" "$n"
        [ "$n" -eq 5 ] || printf '\f'
    done
}

# Starts velmar without a file and waits for its main window; sets MAIN
# (and WIN, WIN_PID).
start_main() {
    start_velmar
    find_window -v VELMAR velmar
    MAIN=$WIN
}

# windows_name FILE: sets WINPATH to the Windows name of the case's FILE.
windows_name() {
    WINPATH=$(winepath -w "$CASE_DIR/$1" 2>/dev/null)
    [ -n "$WINPATH" ] || fail "winepath failed"
}

# Three lines with line feeds and no form feed, lines.txt; sets WINPATH.
make_lines() {
    printf 'one\ntwo\nthree' >"$CASE_DIR/lines.txt"
    windows_name lines.txt
}

# choose_file MAIN WINPATH: Open and Print, with WINPATH ("-": Cancel) given
# in the open-file dialog of the process WIN_PID.
choose_file() {
    drv command "$1" 32772 || fail "cannot send Open and Print"
    drv openfile "$WIN_PID" "$2" "$WAIT_MS" >/dev/null || fail "open-file dialog not handled"
}

# open_and_print MAIN WINPATH: Open and Print with that file; sets WIN to
# the page range dialog.
open_and_print() {
    choose_file "$1" "$2"
    find_window '#32770' Print
}

# screenshot NAME LEFT TOP RIGHT BOTTOM
screenshot() {
    [ -n "${VELMAR_SCREENSHOTS:-}" ] || return 0
    mkdir -p "$VELMAR_SCREENSHOTS"
    sleep 0.5  # let the window finish painting
    import -display "$DISPLAY" -window root -crop "$(($4 - $2))x$(($5 - $3))+$2+$3" +repage \
        "$VELMAR_SCREENSHOTS/$1.png" || note "screenshot $1 failed"
}

# The HTML Help control's registration in the prefix. Cases that change it
# set what they need first and put the usual value back at their end.
HELP_SERVER_KEY='HKLM\Software\Classes\CLSID\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\InprocServer32'
SYSTEM_HELP_CONTROL='C:\windows\system32\hhctrl.ocx'
HELP_TITLE='Справка velmar'

# register_help_control TYPE VALUE, or register_help_control none
register_help_control() {
    if [ "$1" = none ]; then
        wine reg delete "$HELP_SERVER_KEY" /ve /f >/dev/null 2>&1
        ! wine reg query "$HELP_SERVER_KEY" 2>/dev/null | grep -qi 'hhctrl' || fail "cannot remove the registration"
    else
        wine reg add "$HELP_SERVER_KEY" /ve /t "$1" /d "$2" /f >/dev/null 2>&1 ||
            fail "cannot register the help control as $2"
    fi
}

# Help -> Help in main window $1 of process $2 opens the viewer on
# velmar.chm, captioned with its title; sets HELP_WIN.
expect_help_opens() {
    local main=$1 pid=$2
    drv command "$main" 32774 || fail "cannot send Help"
    find_window -v -p "$pid" 'HH Parent' "$HELP_TITLE"
    HELP_WIN=$WIN
}

close_help() {
    drv close "$HELP_WIN" || fail "cannot close the help window"
    drv gone "$HELP_WIN" "$WAIT_MS" || fail "the help window stays open"
}

# expect_no_help_window PID: no viewer comes up within two seconds.
expect_no_help_window() {
    ! drv find -t 2000 -p "$1" 'HH Parent' '*' >/dev/null 2>&1 || fail "a help window opened ($2)"
}

# The modules of process $1 whose file name ends in .ocx, lower-case.
loaded_controls() {
    drv modules "$1" | tr -d '\r' | tr 'A-Z' 'a-z' | grep '\.ocx$'
}

# expect_controls PID PATH...: exactly these .ocx modules are loaded.
expect_controls() {
    local pid=$1 actual expected
    shift
    actual=$(loaded_controls "$pid")
    expected=$(printf '%s\n' "$@" | tr 'A-Z' 'a-z' | sed '/^$/d')
    [ "$actual" = "$expected" ] || fail "loaded controls: [$actual], expected [$expected]"
}

# No fake control anywhere in the case has been loaded.
expect_no_planted_load() {
    local marks
    marks=$(find "$CASE_DIR" -name '*.loaded' | sed "s|$CASE_DIR/||")
    [ -z "$marks" ] || fail "a planted control was loaded: $marks"
}

# click_for_focus MAIN CHILD: clicks CHILD until it has the keyboard focus.
# Under load Wine may still be settling the activation from a closed dialog
# when the first click arrives, and drop its focus change.
click_for_focus() {
    local deadline=$((SECONDS + 15)) next=0
    while [ "$(drv focus "$1")" != "$2" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "the focus does not go to $2 (it is on $(drv focus "$1"))"
        if [ "$SECONDS" -ge "$next" ]; then
            drv clickat "$2" || fail "cannot click $2"
            next=$((SECONDS + 2))
        fi
        sleep 0.2
    done
}

# ---------------------------------------------------------------------------
# The cases.

# No file on the command line: title, class, centred placement, one log line;
# closing saves the placement.
case_start_plain() {
    local desktop dl dt dr db left top
    start_velmar
    find_window -v VELMAR velmar
    desktop=$(drv desktop) || fail "no desktop"
    read -r dl dt dr db <<<"$desktop"
    left=$((dr / 2 - 175))
    top=$((db / 2 - 100))
    [ "$WIN_RECT" = "$left $top $((left + 350)) $((top + 200))" ] ||
        fail "window at $WIN_RECT, expected $left $top $((left + 350)) $((top + 200))"
    expect_log "$WIN" "Запуск"
    [ "$(cp1251_hex "Запуск")" = "c7e0eff3f1ea" ] || fail "the test's own encoding is wrong"
    [ ! -f "$CASE_DIR/ini.ini" ] || [ -z "$(ini_value RECT)" ] || fail "RECT written before closing"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
    [ "$(ini_value RECT)" = "$(rect_hex $left $top $((left + 350)) $((top + 200)))" ] ||
        fail "RECT=$(ini_value RECT), expected $(rect_hex $left $top $((left + 350)) $((top + 200)))"
}

# A moved and resized window comes back where it was left; a stored
# rectangle with right 0 is ignored.
case_placement_restored() {
    local desktop dl dt dr db
    start_velmar
    find_window -v VELMAR velmar
    drv move "$WIN" 100 120 400 250 || fail "cannot move the window"
    drv command "$WIN" 105 || fail "cannot send Exit"
    expect_exit "after Exit"
    [ "$(ini_value RECT)" = "$(rect_hex 100 120 500 370)" ] ||
        fail "RECT=$(ini_value RECT), expected $(rect_hex 100 120 500 370)"

    start_velmar
    find_window -v VELMAR velmar
    [ "$WIN_RECT" = "100 120 500 370" ] || fail "restored at $WIN_RECT, expected 100 120 500 370"
    expect_log "$WIN" "Запуск"
    drv move "$WIN" -20 -30 300 180 || fail "cannot move the window"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after the second WM_CLOSE"
    [ "$(ini_value RECT)" = "$(rect_hex -20 -30 280 150)" ] ||
        fail "RECT=$(ini_value RECT), expected $(rect_hex -20 -30 280 150) (negative coordinates)"

    printf '[MAIN]\r\nRECT=%s\r\n' "$(rect_hex 10 10 0 300)" >"$CASE_DIR/ini.ini"
    start_velmar
    find_window -v VELMAR velmar
    desktop=$(drv desktop) || fail "no desktop"
    read -r dl dt dr db <<<"$desktop"
    [ "$WIN_RECT" = "$((dr / 2 - 175)) $((db / 2 - 100)) $((dr / 2 + 175)) $((db / 2 + 100))" ] ||
        fail "a stored rectangle with right 0 moved the window to $WIN_RECT"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after the third WM_CLOSE"
}

# A file on the command line: the page range dialog opens during start-up,
# Print sends every page (recoded to code page 866) to LPT1, and the program
# ends by itself without saving its placement.
case_command_line_print() {
    local dialog main
    # Windows-1251 text with more lower-case letters from 224 up than bytes
    # in 128..191, so it is recoded.
    {
        printf 'Страница один\r\n\f'
        printf 'Страница два\r\n\f'
        printf 'Страница три\r\n'
    } | iconv -f UTF-8 -t CP1251 >"$CASE_DIR/doc.txt"
    iconv -f CP1251 -t CP866 <"$CASE_DIR/doc.txt" >"$CASE_DIR/expected.prn"

    start_velmar doc.txt
    find_window '#32770' Print
    dialog=$WIN
    expect_text "$dialog" 1000 3
    expect_text "$dialog" 1004 1
    expect_text "$dialog" 1003 3
    find_window VELMAR velmar
    main=$WIN
    expect_log "$main" "Запуск" "Открытие файла doc.txt" "Открытие файла LPT1" "Анализ " \
        "Перекодировка в DOS"
    [ "$(drv owner "$dialog")" = "$main" ] || fail "the page range dialog is not owned by the main window"
    [ ! -s "$LPT1_CAPTURE" ] || fail "LPT1 written before Print was pressed"
    drv find -t 100 -v VELMAR velmar >/dev/null 2>&1 &&
        fail "the main window is shown before the command-line job has ended"
    drv find '#32770' Print | { read -r _ _ l t r b _; screenshot page-range-dialog "$l" "$t" "$r" "$b"; }

    drv click "$dialog" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output"
    [ -z "$(ini_value RECT)" ] || fail "a command-line job saved RECT"
}

# Cancel (here by the Escape key) writes nothing and leaves the capture file
# as it was, yet the program ends.
case_command_line_cancel() {
    make_pages >"$CASE_DIR/doc.txt"
    printf 'an earlier job\f' >"$LPT1_CAPTURE"
    cp "$LPT1_CAPTURE" "$CASE_DIR/expected.prn"
    start_velmar doc.txt
    find_window '#32770' Print
    expect_text "$WIN" 1000 5
    expect_text "$WIN" 1004 1
    expect_text "$WIN" 1003 5
    drv keys "$WIN" esc || fail "cannot press Escape"
    expect_exit "after Cancel"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 capture after Cancel"
    [ -z "$(ini_value RECT)" ] || fail "a cancelled command-line job saved RECT"
}

# The Enter key confirms like the Print button; From 4 prints pages 4 and 5,
# plain ASCII passes unchanged, and the capture file ends with them.
case_command_line_enter() {
    make_pages >"$CASE_DIR/doc.txt"
    pages_bytes 4 5 >"$CASE_DIR/expected.prn"
    # A longer earlier job in the capture file (a file on disk): none of it
    # may follow this job's pages.
    make_pages >"$LPT1_CAPTURE"
    start_velmar doc.txt
    find_window '#32770' Print
    drv settext "$WIN" 1004 4 || fail "cannot set From"
    drv keys "$WIN" enter || fail "cannot press Enter"
    expect_exit "after Enter"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output"
}

# A missing file: the job logs its error and the window stays open.
case_command_line_missing() {
    start_velmar missing.txt
    find_window -v VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла missing.txt" "Ошибка"
    sleep 1
    expect_running "a failed command-line job must leave the window open"
    drv find -t 100 '#32770' Print >/dev/null 2>&1 && fail "page range dialog opened for a missing file"
    screenshot main-window-error $WIN_RECT
    drv close "$WIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
    [ -n "$(ini_value RECT)" ] || fail "closing after a failed job did not save RECT"
}

# Open and Print: the file comes from the open-file dialog, the output is
# POPT, pages 2 and 3 of 5 are written. A second job into the now existing,
# longer output leaves only its own page; To 99 stops at page 5.
case_open_and_print() {
    local dialog
    make_pages >"$CASE_DIR/pages.txt"
    printf '[MAIN]\r\nPOPT=out.txt\r\n' >"$CASE_DIR/ini.ini"
    windows_name pages.txt

    start_main
    open_and_print "$MAIN" "$WINPATH"
    dialog=$WIN
    expect_text "$dialog" 1000 5
    expect_text "$dialog" 1004 1
    expect_text "$dialog" 1003 5
    drv settext "$dialog" 1004 2 || fail "cannot set From"
    drv settext "$dialog" 1003 3 || fail "cannot set To"
    drv click "$dialog" 1 || fail "cannot press Print"
    drv gone "$dialog" "$WAIT_MS" || fail "page range dialog stays open"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла out.txt" "Анализ " \
        "Закрытие файла out.txt" "Закрытие файла $WINPATH"
    pages_bytes 2 3 >"$CASE_DIR/expected.out"
    expect_bytes "$CASE_DIR/out.txt" "$CASE_DIR/expected.out" "output file"
    [ ! -s "$LPT1_CAPTURE" ] || fail "Open and Print wrote to LPT1 instead of POPT"
    screenshot main-window $(drv rect "$MAIN")

    open_and_print "$MAIN" "$WINPATH"
    dialog=$WIN
    drv settext "$dialog" 1004 5 || fail "cannot set From"
    drv settext "$dialog" 1003 99 || fail "cannot set To"
    drv click "$dialog" 1 || fail "cannot press Print"
    drv gone "$dialog" "$WAIT_MS" || fail "page range dialog stays open"
    expect_log "$MAIN" "Запуск" \
        "Открытие файла $WINPATH" "Открытие файла out.txt" "Анализ " \
        "Закрытие файла out.txt" "Закрытие файла $WINPATH" \
        "Открытие файла $WINPATH" "Открытие файла out.txt" "Анализ " \
        "Закрытие файла out.txt" "Закрытие файла $WINPATH"
    pages_bytes 5 5 >"$CASE_DIR/expected2.out"
    expect_bytes "$CASE_DIR/out.txt" "$CASE_DIR/expected2.out" "output file after the second job"

    expect_running "after two jobs from the menu"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Only the first blank ends an unquoted file name, a quoted one runs to its
# closing mark; the program's own name may be quoted with nothing after its
# closing mark, or followed by a tab.
case_command_line_tokens() {
    local exe
    exe=$(winepath -w "$CASE_DIR/velmar.exe" 2>/dev/null)
    [ -n "$exe" ] || fail "winepath failed"
    make_pages >"$CASE_DIR/doc.txt"
    make_pages >"$CASE_DIR/expected.prn"

    start_cmdline "velmar.exe doc.txt extra"
    find_window '#32770' Print
    expect_log "$(drv find -t 1000 VELMAR velmar | cut -d' ' -f1)" "Запуск" "Открытие файла doc.txt" \
        "Открытие файла LPT1" "Анализ "
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit_win "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output"

    start_cmdline "\"$exe\"doc.txt"
    find_window '#32770' Print
    expect_log "$(drv find -t 1000 VELMAR velmar | cut -d' ' -f1)" "Запуск" "Открытие файла doc.txt" \
        "Открытие файла LPT1" "Анализ "
    drv click "$WIN" 2 || fail "cannot press Cancel"
    expect_exit_win "after Cancel, quoted program name"

    start_cmdline "velmar.exe"$'\t'"doc.txt"
    find_window '#32770' Print
    expect_log "$(drv find -t 1000 VELMAR velmar | cut -d' ' -f1)" "Запуск" "Открытие файла doc.txt" \
        "Открытие файла LPT1" "Анализ "
    drv click "$WIN" 2 || fail "cannot press Cancel"
    expect_exit_win "after Cancel, tab after the program name"

    # A quoted name with a blank, as Explorer passes a dropped file: the
    # whole name, marks left out, even when nothing follows the closing mark.
    cp "$CASE_DIR/doc.txt" "$CASE_DIR/my doc.txt"
    : >"$LPT1_CAPTURE"
    start_cmdline 'velmar.exe "my doc.txt"'
    find_window '#32770' Print
    expect_log "$(drv find -t 1000 VELMAR velmar | cut -d' ' -f1)" "Запуск" "Открытие файла my doc.txt" \
        "Открытие файла LPT1" "Анализ "
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit_win "after Print, quoted name with a blank"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output of the quoted name"

    # An unquoted name still ends at its first blank.
    start_cmdline 'velmar.exe my doc.txt'
    find_window -v VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла my" "Ошибка"
    drv close "$WIN" || fail "cannot close"
    expect_exit_win "after WM_CLOSE"
}

# LPT1 cannot be opened: the job stops after the output's opening line and
# the window stays open.
case_command_line_no_port() {
    make_pages >"$CASE_DIR/doc.txt"
    ln -sfn "$CASE_DIR/no-such-dir/lpt1.prn" "$WINEPREFIX/dosdevices/lpt1"
    start_velmar doc.txt
    find_window -v VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла doc.txt" "Открытие файла LPT1" "Ошибка"
    drv find -t 100 '#32770' Print >/dev/null 2>&1 && fail "page range dialog opened without a port"
    expect_running "a job whose port failed must leave the window open"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# From and To are read as decimal numbers: leading blanks and a sign are
# taken, a negative To stands for the last page, an empty To prints nothing.
case_page_range_numbers() {
    make_pages >"$CASE_DIR/doc.txt"
    pages_bytes 2 5 >"$CASE_DIR/expected.prn"
    start_velmar doc.txt
    find_window '#32770' Print
    drv settext "$WIN" 1004 " +2" || fail "cannot set From"
    drv settext "$WIN" 1003 "-1" || fail "cannot set To"
    drv settext "$WIN" 1000 "1" || fail "cannot set the count"
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit "after Print with From \" +2\", To -1"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output for From \" +2\", To -1"

    : >"$LPT1_CAPTURE"
    start_velmar doc.txt
    find_window '#32770' Print
    drv settext "$WIN" 1003 "" || fail "cannot clear To"
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit "after Print with To empty"
    [ ! -s "$LPT1_CAPTURE" ] || fail "an empty To printed something"
}

# Open and Print reads POPT before each job: an empty POPT fails the
# output open; a cancelled file dialog does nothing; without POPT the job
# goes to LPT1.
case_open_and_print_popt() {
    make_pages >"$CASE_DIR/pages.txt"
    make_pages >"$CASE_DIR/expected.prn"
    printf '[MAIN]\r\nPOPT=\r\n' >"$CASE_DIR/ini.ini"
    windows_name pages.txt

    start_main
    choose_file "$MAIN" "$WINPATH"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла " "Ошибка"
    drv find -t 100 '#32770' Print >/dev/null 2>&1 && fail "page range dialog opened without an output"

    choose_file "$MAIN" -
    sleep 0.5
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла " "Ошибка"

    printf '[MAIN]\r\n' >"$CASE_DIR/ini.ini"
    open_and_print "$MAIN" "$WINPATH"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла " "Ошибка" \
        "Открытие файла $WINPATH" "Открытие файла LPT1" "Анализ " \
        "Закрытие файла LPT1" "Закрытие файла $WINPATH"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output without POPT"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# expect_checked DIALOG ID STATE: the check box shows STATE (0 or 1); a
# posted click may still be on its way, so the box is asked again.
expect_checked() {
    local actual deadline=$((SECONDS + 5))
    while :; do
        # A read that fails (the dialog busy with the click on a loaded
        # machine) is tried again until the deadline, as a wrong state is.
        actual=$(drv checked "$1" "$2") || actual=unreadable
        [ "$actual" = "$3" ] && return 0
        if [ "$SECONDS" -ge "$deadline" ]; then
            [ "$actual" = unreadable ] && fail "cannot read check box $2"
            fail "check box $2 is $actual, expected $3"
        fi
        sleep 0.1
    done
}

# open_settings MAIN: opens the Setting dialog and sets WIN to it.
open_settings() {
    drv command "$1" 32773 || fail "cannot send Setting"
    find_window -v '#32770' Setting
}

# expect_settings MAIN LIMITER TODOS SKIPEMPTY POPT: the Setting dialog
# shows these, and is closed with Escape.
expect_settings() {
    open_settings "$1"
    expect_text "$WIN" 1002 "$2"
    expect_checked "$WIN" 1001 "$3"
    expect_checked "$WIN" 1003 "$4"
    expect_text "$WIN" 1004 "$5"
    drv keys "$WIN" esc || fail "cannot press Escape"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open after Escape"
}


# The Setting dialog on a fresh installation shows and, confirmed, stores
# the defaults; a new delimiter and output take effect with the next job.
case_settings_take_effect() {
    make_lines
    start_main
    open_settings "$MAIN"
    expect_text "$WIN" 1002 12
    expect_text "$WIN" 1004 LPT1
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value TODOS)" = 0100000001 ] || fail "TODOS=$(ini_value TODOS), expected 0100000001"
    [ "$(ini_value SKIPEMPTY)" = 0100000001 ] || fail "SKIPEMPTY=$(ini_value SKIPEMPTY), expected 0100000001"
    [ "$(ini_value LIMITER)" = 0C0C ] || fail "LIMITER=$(ini_value LIMITER), expected 0C0C"
    [ "$(ini_value POPT)" = LPT1 ] || fail "POPT=$(ini_value POPT), expected LPT1"

    open_settings "$MAIN"
    drv settext "$WIN" 1002 10 || fail "cannot set the delimiter"
    drv settext "$WIN" 1004 out.txt || fail "cannot set Print To"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value LIMITER)" = 0A0A ] || fail "LIMITER=$(ini_value LIMITER), expected 0A0A"

    open_and_print "$MAIN" "$WINPATH"
    expect_text "$WIN" 1000 3
    drv settext "$WIN" 1004 2 || fail "cannot set From"
    drv settext "$WIN" 1003 2 || fail "cannot set To"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    printf 'two\n' >"$CASE_DIR/expected.out"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла out.txt" "Анализ " \
        "Закрытие файла out.txt" "Закрытие файла $WINPATH"
    expect_bytes "$CASE_DIR/out.txt" "$CASE_DIR/expected.out" "page 2 split at line feeds"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Cancel in the Setting dialog stores nothing and leaves the delimiter in
# force as it was, whatever was typed and unchecked.
case_settings_cancel() {
    make_lines
    start_main
    open_settings "$MAIN"
    expect_checked "$WIN" 1001 1
    expect_checked "$WIN" 1003 1
    drv settext "$WIN" 1002 10 || fail "cannot set the delimiter"
    drv settext "$WIN" 1004 out.txt || fail "cannot set Print To"
    drv click "$WIN" 1001 || fail "cannot uncheck Convert To Dos"
    drv click "$WIN" 1003 || fail "cannot uncheck Skip empty"
    expect_checked "$WIN" 1001 0
    expect_checked "$WIN" 1003 0
    drv click "$WIN" 2 || fail "cannot press Cancel"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open after Cancel"
    [ ! -f "$CASE_DIR/ini.ini" ] || fail "Cancel wrote ini.ini: $(tr -d '\r' <"$CASE_DIR/ini.ini")"

    expect_settings "$MAIN" 12 1 1 LPT1

    # Still cut at form feeds: the file of three lines is one page.
    open_and_print "$MAIN" "$WINPATH"
    expect_text "$WIN" 1000 1
    drv click "$WIN" 2 || fail "cannot press Cancel"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    [ ! -f "$CASE_DIR/ini.ini" ] || [ -z "$(ini_value LIMITER)" ] || fail "LIMITER stored after Cancel"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Unchecked boxes are stored as 0 and shown unchecked again; the delimiter
# box takes any number modulo 256 and text that is no number as 0.
case_settings_boxes_and_delimiter() {
    local text stored
    start_main
    open_settings "$MAIN"
    drv click "$WIN" 1001 || fail "cannot uncheck Convert To Dos"
    drv click "$WIN" 1003 || fail "cannot uncheck Skip empty"
    expect_checked "$WIN" 1001 0
    expect_checked "$WIN" 1003 0
    drv settext "$WIN" 1002 300 || fail "cannot set the delimiter"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value TODOS)" = 0000000000 ] || fail "TODOS=$(ini_value TODOS), expected 0000000000"
    [ "$(ini_value SKIPEMPTY)" = 0000000000 ] || fail "SKIPEMPTY=$(ini_value SKIPEMPTY), expected 0000000000"
    [ "$(ini_value LIMITER)" = 2C2C ] || fail "\"300\" stored LIMITER=$(ini_value LIMITER), expected 2C2C (44)"

    expect_settings "$MAIN" 44 0 0 LPT1

    for text in -1:FFFF abc:0000; do
        stored=${text#*:}
        text=${text%%:*}
        open_settings "$MAIN"
        drv settext "$WIN" 1002 "$text" || fail "cannot set the delimiter"
        drv click "$WIN" 1 || fail "cannot press OK"
        drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
        [ "$(ini_value LIMITER)" = "$stored" ] ||
            fail "\"$text\" stored LIMITER=$(ini_value LIMITER), expected $stored"
    done
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Stored settings count from start-up: a LIMITER of 10 cuts the command-line
# job at line feeds, and the Setting dialog shows a stored TODOS of 0 in both
# boxes when SKIPEMPTY is missing.
case_stored_settings_at_start_up() {
    make_lines
    printf '[MAIN]\r\nTODOS=0000000000\r\nLIMITER=0A0A\r\n' >"$CASE_DIR/ini.ini"
    start_velmar lines.txt
    find_window '#32770' Print
    expect_text "$WIN" 1000 3
    drv click "$WIN" 2 || fail "cannot press Cancel"
    expect_exit "after Cancel"

    start_main
    expect_settings "$MAIN" 10 0 0 LPT1
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A command-line name of more than 255 characters is reported as not
# opened, even where a file bears its first 255 characters, and nothing is
# printed; the log line is cut at 254 characters.
case_command_line_overlong() {
    local name
    name=$(printf 'a%.0s' $(seq 300))
    printf 'text\r\n' >"$CASE_DIR/${name:0:255}"
    start_velmar "$name"
    find_window -v VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла ${name:0:239}" "Ошибка"
    drv find -t 500 '#32770' Print >/dev/null 2>&1 && fail "page range dialog opened for a cut name"
    expect_running "a command-line name that does not fit must leave the window open"
    [ ! -s "$LPT1_CAPTURE" ] || fail "LPT1 received bytes"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# WM_DESTROY saves the placement and quits, like WM_CLOSE.
case_destroy_saves_placement() {
    start_velmar
    find_window -v VELMAR velmar
    drv move "$WIN" 100 120 400 250 || fail "cannot move the window"
    drv send "$WIN" 2 0 || fail "cannot send WM_DESTROY"
    expect_exit "after WM_DESTROY"
    [ "$(ini_value RECT)" = "$(rect_hex 100 120 500 370)" ] ||
        fail "RECT=$(ini_value RECT), expected $(rect_hex 100 120 500 370)"
}

# Only the menu's commands fit the list box to the window again; an unknown
# command leaves it as it is.
case_unknown_command_keeps_list_box() {
    local list fitted shrunk
    start_main
    list=$(drv listbox "$MAIN") || fail "no list box"
    fitted=$(drv rect "$list") || fail "cannot read the list box"
    drv move "$list" 0 0 40 40 || fail "cannot shrink the list box"
    shrunk=$(drv rect "$list")
    [ "$shrunk" != "$fitted" ] || fail "the list box did not shrink"
    drv send "$MAIN" 273 999 || fail "cannot send command 999"
    [ "$(drv rect "$list")" = "$shrunk" ] ||
        fail "command 999 moved the list box from $shrunk to $(drv rect "$list")"

    drv command "$MAIN" 104 || fail "cannot send About"
    find_window -v '#32770' 'About velmar'
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "About box stays open"
    local deadline=$((SECONDS + 5))
    until [ "$(drv rect "$list")" = "$fitted" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "About did not fit the list box again: $(drv rect "$list"), expected $fitted"
        sleep 0.1
    done
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A saved rectangle that leaves the title bar on no monitor is ignored and
# the window opens centred; one that shows any part of the title bar is
# restored exactly.
case_placement_off_screen() {
    local desktop dl dt dr db centred rect expected
    desktop=$(drv desktop) || fail "no desktop"
    read -r dl dt dr db <<<"$desktop"
    centred="$((dr / 2 - 175)) $((db / 2 - 100)) $((dr / 2 + 175)) $((db / 2 + 100))"
    # left top right bottom | where the window must open ("centred" or the rectangle)
    while IFS='|' read -r rect expected; do
        printf '[MAIN]\r\nRECT=%s\r\n' "$(rect_hex $rect)" >"$CASE_DIR/ini.ini"
        [ "$expected" = centred ] && expected=$centred || expected=$rect
        start_velmar
        find_window -v VELMAR velmar
        [ "$WIN_RECT" = "$expected" ] || fail "RECT $rect: window at $WIN_RECT, expected $expected"
        drv close "$WIN" || fail "cannot close"
        expect_exit "after WM_CLOSE (RECT $rect)"
    done <<RECTS
5000 5000 5350 5200|centred
-30000 -30000 -29650 -29800|centred
$((dr + 10)) 100 $((dr + 360)) 300|centred
100 -400 450 -200|centred
100 -150 450 300|centred
-2147483648 0 2147483647 200|centred
$((dr - 40)) 100 $((dr + 310)) 300|rect
-300 -5 50 195|rect
100 $((db - 10)) 450 $((db + 190))|rect
RECTS
}

# Text pasted into a dialog box is cut at the 255 characters its buffer
# holds: Print To is stored cut, From and To are read cut.
case_dialog_text_limits() {
    local main long text id
    long=$(printf 'x%.0s' $(seq 1 300))
    start_velmar
    find_window -v VELMAR velmar
    main=$WIN
    drv command "$main" 32773 || fail "cannot send Setting"
    find_window -v '#32770' Setting
    drv paste "$WIN" 1004 "$long" || fail "cannot paste into Print To"
    text=$(drv gettext "$WIN" 1004) || fail "cannot read Print To"
    [ "${#text}" -eq 255 ] || fail "Print To holds ${#text} characters after a paste of 300"
    drv paste "$WIN" 1002 "$(printf '1%.0s' $(seq 1 300))" || fail "cannot paste into the delimiter"
    text=$(drv gettext "$WIN" 1002) || fail "cannot read the delimiter"
    [ "${#text}" -eq 255 ] || fail "the delimiter box holds ${#text} characters after a paste of 300"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value POPT)" = "${long:0:255}" ] || fail "POPT holds $(ini_value POPT | wc -c) bytes, expected 255"
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE"

    make_pages >"$CASE_DIR/doc.txt"
    start_velmar doc.txt
    find_window '#32770' Print
    for id in 1004 1003; do
        drv paste "$WIN" "$id" "$(printf '2%.0s' $(seq 1 300))" || fail "cannot paste into $id"
        text=$(drv gettext "$WIN" "$id") || fail "cannot read $id"
        [ "${#text}" -eq 255 ] || fail "box $id holds ${#text} characters after a paste of 300"
    done
    drv click "$WIN" 2 || fail "cannot press Cancel"
    expect_exit "after Cancel"
}

# The About box from the menu and from both accelerators, also while the
# activity log has the focus; its texts and icon; Enter, Escape and OK.
case_about_box() {
    local main pid about listbox children
    start_velmar
    find_window -v VELMAR velmar
    main=$WIN
    pid=$WIN_PID

    drv command "$main" 104 || fail "cannot send About"
    find_window -v -p "$pid" '#32770' 'About velmar'
    about=$WIN
    [ "$(drv owner "$about")" = "$main" ] || fail "the About box is not owned by the main window"
    children=$(drv children "$about" | tr -d '\r' | cut -d' ' -f2-)
    # A static without an id reports 65535; an icon's text is its resource.
    grep -q '^2 Static 0x[0-9a-f]* 1|' <<<"$children" || fail "no icon in the About box: $children"
    grep -q '^65535 Static 0x[0-9a-f]* 0|velmar Version 1.2$' <<<"$children" || fail "no version line: $children"
    grep -q '^65535 Static 0x[0-9a-f]* 0|(C) velmar team$' <<<"$children" || fail "no maker's notice: $children"
    grep -q '^1 Button 0x[0-9a-f]* 0|OK$' <<<"$children" || fail "no OK button: $children"
    screenshot about-box $(drv rect "$about")
    drv keys "$about" enter || fail "cannot press Enter"
    drv gone "$about" "$WAIT_MS" || fail "Enter does not close the About box"

    # Alt+? and Alt+/ with the main window focused.
    for keys in "alt+? esc" "alt+/ ok"; do
        drv keys "$main" "${keys% *}" || fail "cannot type ${keys% *}"
        find_window -v -p "$pid" '#32770' 'About velmar'
        if [ "${keys#* }" = esc ]; then
            drv keys "$WIN" esc || fail "cannot press Escape"
        else
            drv click "$WIN" 1 || fail "cannot press OK"
        fi
        drv gone "$WIN" "$WAIT_MS" || fail "${keys#* } does not close the About box"
    done

    listbox=$(drv listbox "$main" | tr -d '\r')
    [ -n "$listbox" ] || fail "no activity log in the main window"
    # Once a click has given the log the focus, the accelerator's command
    # goes to the list box, which ignores it: nothing opens.
    for key in "alt+?" "alt+/"; do
        click_for_focus "$main" "$listbox"
        drv keys "$main" "$key" || fail "cannot type $key"
        if drv find -t 1500 -v -p "$pid" '#32770' 'About velmar' >/dev/null 2>&1; then
            fail "$key opened the About box while the log had the focus"
        fi
    done
    expect_log "$main" "Запуск"
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Help opens velmar.chm from beside the program: started in its folder,
# after an Open and Print from another folder, and started elsewhere.
case_help_opens() {
    local main pid winpath
    register_help_control REG_SZ "$SYSTEM_HELP_CONTROL"
    mkdir -p "$CASE_DIR/reports"
    make_pages >"$CASE_DIR/reports/pages.txt"
    printf '[MAIN]\r\nPOPT=out.prn\r\n' >"$CASE_DIR/ini.ini"
    winpath=$(winepath -w "$CASE_DIR/reports/pages.txt" 2>/dev/null)
    [ -n "$winpath" ] || fail "winepath failed"

    start_velmar
    find_window -v VELMAR velmar
    main=$WIN
    pid=$WIN_PID
    expect_help_opens "$main" "$pid"
    if [ -n "${VELMAR_SCREENSHOTS:-}" ]; then
        sleep 3  # the viewer fills its contents tree late
        screenshot help-window $(drv rect "$HELP_WIN")
    fi
    expect_controls "$pid" "$SYSTEM_HELP_CONTROL"
    close_help

    drv command "$main" 32772 || fail "cannot send Open and Print"
    drv openfile "$pid" "$winpath" "$WAIT_MS" >/dev/null || fail "open-file dialog not handled"
    find_window '#32770' Print
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    [ -f "$CASE_DIR/reports/out.prn" ] || fail "the job did not run in the other folder"
    expect_help_opens "$main" "$pid"
    close_help
    expect_log "$main" "Запуск" "Открытие файла $winpath" "Открытие файла out.prn" "Анализ " \
        "Закрытие файла out.prn" "Закрытие файла $winpath"
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE"

    start_velmar_at "$CASE_DIR/reports" "$CASE_DIR/velmar.exe"
    find_window -v VELMAR velmar
    main=$WIN
    expect_help_opens "$main" "$WIN_PID"
    close_help
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE, started elsewhere"
}

# A hhctrl.ocx planted in the program's folder and in the current folder is
# never loaded, whether the control is registered by a bare name, by an
# unexpanded %SystemRoot% path, or not at all: the system's own opens.
case_help_planting() {
    local registration main
    mkdir -p "$CASE_DIR/cwd"
    cp "$VELMAR_FAKE_HHCTRL" "$CASE_DIR/hhctrl.ocx"
    cp "$VELMAR_FAKE_HHCTRL" "$CASE_DIR/cwd/hhctrl.ocx"
    for registration in "REG_SZ hhctrl.ocx" 'REG_EXPAND_SZ %SystemRoot%\system32\hhctrl.ocx' none; do
        # shellcheck disable=SC2086
        register_help_control $registration
        start_velmar_at "$CASE_DIR/cwd" "$CASE_DIR/velmar.exe"
        find_window -v VELMAR velmar
        main=$WIN
        expect_help_opens "$main" "$WIN_PID"
        expect_controls "$WIN_PID" "$SYSTEM_HELP_CONTROL"
        expect_no_planted_load
        close_help
        drv close "$main" || fail "cannot close"
        expect_exit "after WM_CLOSE ($registration)"
    done
    register_help_control REG_SZ "$SYSTEM_HELP_CONTROL"
}

# Without a loadable control Help does nothing, a second Help does not try
# again (a control that has turned up since is left alone), and velmar
# stays responsive. Then, in a new process, the registered absolute path is
# what gets loaded.
case_help_missing() {
    local main pid registered
    mkdir -p "$CASE_DIR/ctl"
    registered="$(winepath -w "$CASE_DIR/ctl" 2>/dev/null)\\helpctl.ocx"
    register_help_control REG_SZ "$registered"

    WINEDLLOVERRIDES="hhctrl.ocx=" start_velmar
    find_window -v VELMAR velmar
    main=$WIN
    pid=$WIN_PID
    drv command "$main" 32774 || fail "cannot send Help"
    expect_no_help_window "$pid" "no control"
    cp "$VELMAR_FAKE_HHCTRL" "$CASE_DIR/ctl/helpctl.ocx"
    drv command "$main" 32774 || fail "cannot send Help again"
    expect_no_help_window "$pid" "second try"
    expect_no_planted_load
    expect_controls "$pid"
    drv command "$main" 104 || fail "cannot send About"
    find_window -v -p "$pid" '#32770' 'About velmar'
    drv keys "$WIN" esc || fail "cannot press Escape"
    drv gone "$WIN" "$WAIT_MS" || fail "the About box stays open"
    expect_log "$main" "Запуск"
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE"

    start_velmar
    find_window -v VELMAR velmar
    drv command "$WIN" 32774 || fail "cannot send Help"
    expect_no_help_window "$WIN_PID" "the fake control opens nothing"
    [ -f "$CASE_DIR/ctl/helpctl.ocx.loaded" ] || fail "the registered absolute path was not loaded"
    expect_controls "$WIN_PID" "$registered"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after WM_CLOSE, registered fake"
    register_help_control REG_SZ "$SYSTEM_HELP_CONTROL"
}

# The release archive: unpacked into a fresh folder, its velmar prints a
# file to LPT1 and opens its help.
case_release() {
    local fresh="$CASE_DIR/fresh" names text objdump main
    [ -f "${VELMAR_RELEASE_ZIP:-}" ] || fail "no release archive (cmake --build build/win32 --target release)"
    register_help_control REG_SZ "$SYSTEM_HELP_CONTROL"
    mkdir -p "$fresh"
    (cd "$fresh" && LC_ALL=C.UTF-8 cmake -E tar xf "$VELMAR_RELEASE_ZIP") || fail "cannot unpack the archive"
    names=$(cd "$fresh" && LC_ALL=C ls | tr '\n' ' ')
    [ "$names" = "README.txt velmar.chm velmar.exe ЧИТАЙМЕНЯ.txt " ] || fail "the archive holds: $names"

    ! iconv -f UTF-8 -t UTF-16 "$fresh/ЧИТАЙМЕНЯ.txt" >/dev/null 2>&1 || fail "ЧИТАЙМЕНЯ.txt is UTF-8"
    iconv -f CP1251 -t UTF-8 "$fresh/ЧИТАЙМЕНЯ.txt" | grep -q 'Как запустить' ||
        fail "ЧИТАЙМЕНЯ.txt is not Russian text in Windows-1251"
    ! LC_ALL=C grep -q -P '[^\x00-\x7f]' "$fresh/README.txt" || fail "README.txt is not plain ASCII"
    for text in README.txt ЧИТАЙМЕНЯ.txt; do
        ! grep -q -v $'\r$' "$fresh/$text" || fail "$text has lines without CRLF"
    done
    if [ "$VELMAR_WINE_ARCH" = win64 ]; then
        objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
    else
        objdump=$(command -v i686-w64-mingw32-objdump || command -v objdump)
    fi
    [ -n "$objdump" ] || fail "no objdump"
    LC_ALL=C "$objdump" -t "$fresh/velmar.exe" >"$CASE_DIR/symbols" 2>&1
    grep -q 'no symbols' "$CASE_DIR/symbols" || fail "velmar.exe is not stripped: $(head -c 300 "$CASE_DIR/symbols")"

    make_pages >"$fresh/doc.txt"
    make_pages >"$CASE_DIR/expected.prn"
    start_velmar_at "$fresh" velmar.exe doc.txt
    find_window '#32770' Print
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output"

    start_velmar_at "$fresh" velmar.exe
    find_window -v VELMAR velmar
    main=$WIN
    expect_help_opens "$main" "$WIN_PID"
    close_help
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE"
    [ -f "$fresh/ini.ini" ] || fail "the settings did not land beside the unpacked velmar.exe"
}

# ---- Printing to print queues ---------------------------------------------
# The run's CUPS server (start_print_server) holds the raw queues
# Velmar_Queue (the default), Archive_Queue and Velmar_Refusing (rejects
# jobs); Wine lists them as printers at each process start.

# Points QUEUE at a fresh job folder of this case; prints the folder.
queue_jobs() {
    local dir="$CASE_DIR/jobs-$1"
    mkdir -p "$dir"
    lpadmin -p "$1" -v "capture:$dir" 2>/dev/null || fail "cannot point $1 at $dir"
    echo "$dir"
}

# expect_jobs DIR EXPECTED_FILE...: DIR receives exactly these jobs, in order.
expect_jobs() {
    local dir=$1 deadline=$((SECONDS + 20)) n=0 expected
    shift
    while [ "$(ls "$dir" | grep -c '^job-.*\.prn$')" -lt $# ] && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.2
    done
    sleep 0.5 # a job too many would come now
    [ "$(ls "$dir" | grep -c '^job-.*\.prn$')" -eq $# ] ||
        fail "$(ls "$dir" | grep -c '^job-.*\.prn$') jobs reached the queue, expected $#"
    for expected in "$@"; do
        n=$((n + 1))
        expect_bytes "$(ls -v "$dir"/job-*.prn | sed -n "${n}p")" "$expected" "job $n"
    done
}

# Opens Setting, picks the ITEM-th entry of the printer menu with the
# keyboard (the program's own menu cannot be read from another process
# under Wine) and prints what Print To then holds.
pick_printer() {
    pick_from_menu "$1" 1005 1004 "$2" "printer menu"
}

# pick_from_menu DIALOG BUTTON BOX ITEM WHAT: presses the "..." BUTTON,
# chooses the ITEM-th entry of its menu with the keyboard and prints what
# the box BOX then holds.
pick_from_menu() {
    local dialog=$1 button=$2 box=$3 item=$4 what=$5 keys=() k
    drv click "$dialog" "$button" || fail "cannot press the ... of the $what"
    drv find -v -p "$WIN_PID" -t "$WAIT_MS" '#32768' '*' >/dev/null || fail "no $what"
    for k in $(seq "$item"); do keys+=(down); done
    drv keys "$dialog" "${keys[@]}" enter || fail "cannot choose from the $what"
    local deadline=$((SECONDS + 10))
    while drv find -v -p "$WIN_PID" -t 0 '#32768' '*' >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || fail "the $what stays open"
        sleep 0.1
    done
    drv gettext "$dialog" "$box"
}

# open_and_print_to OUTPUT FILE [FROM TO]: starts velmar with POPT=OUTPUT
# and prints the case's FILE through Open and Print (pages FROM to TO, or
# all); sets MAIN and WINPATH.
open_and_print_to() {
    printf '[MAIN]\r\nPOPT=%s\r\n' "$1" >"$CASE_DIR/ini.ini"
    windows_name "$2"
    start_main
    open_and_print "$MAIN" "$WINPATH"
    if [ $# -ge 4 ]; then
        drv settext "$WIN" 1004 "$3" || fail "cannot set From"
        drv settext "$WIN" 1003 "$4" || fail "cannot set To"
    fi
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
}

# The "..." menu lists the default printer first, the others sorted, then
# the ports; the chosen queue prints a recoded file through Open and Print
# as one job, byte for byte.
case_printer_picker_print() {
    local dialog jobs item name
    {
        printf 'Страница один\r\n\f'
        printf 'Страница два\r\n\f'
        printf 'Страница три\r\n'
    } | iconv -f UTF-8 -t CP1251 >"$CASE_DIR/doc.txt"
    iconv -f CP1251 -t CP866 <"$CASE_DIR/doc.txt" >"$CASE_DIR/expected.prn"
    windows_name doc.txt
    jobs=$(queue_jobs Velmar_Queue)

    start_main
    open_settings "$MAIN"
    dialog=$WIN
    item=0
    # Under Wine, one of the keys sent to the menu has been seen lost (entry
    # 5 read as LPT1): an entry that is not the one expected is picked once
    # more, so that only a menu out of order fails.
    for name in Velmar_Queue Archive_Queue Velmar_Refusing LPT1 LPT2 LPT3; do
        item=$((item + 1))
        [ "$(pick_printer "$dialog" $item)" = "$name" ] || [ "$(pick_printer "$dialog" $item)" = "$name" ] ||
            fail "printer menu entry $item is \"$(drv gettext "$dialog" 1004)\", expected $name"
    done
    [ -z "$(ini_value POPT)" ] || fail "the menu stored POPT before OK"
    [ "$(pick_printer "$dialog" 1)" = Velmar_Queue ] || fail "cannot pick Velmar_Queue"
    drv click "$dialog" 1 || fail "cannot press OK"
    drv gone "$dialog" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value POPT)" = Velmar_Queue ] || fail "POPT=$(ini_value POPT), expected Velmar_Queue"

    open_and_print "$MAIN" "$WINPATH"
    expect_text "$WIN" 1000 3
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла Velmar_Queue" "Анализ " \
        "Перекодировка в DOS" "Закрытие файла Velmar_Queue" "Закрытие файла $WINPATH"
    expect_jobs "$jobs" "$CASE_DIR/expected.prn"
    [ ! -e "$CASE_DIR/Velmar_Queue" ] || fail "a file named after the printer was created"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Print To names the queue in other letter case: still the queue, and the
# log shows the name as typed.
case_printer_name_case() {
    local jobs
    make_pages >"$CASE_DIR/pages.txt"
    pages_bytes 2 4 >"$CASE_DIR/expected.prn"
    jobs=$(queue_jobs Velmar_Queue)
    open_and_print_to vELMAR_qUEUE pages.txt 2 4
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла vELMAR_qUEUE" "Анализ " \
        "Закрытие файла vELMAR_qUEUE" "Закрытие файла $WINPATH"
    expect_jobs "$jobs" "$CASE_DIR/expected.prn"
    [ -z "$(ls "$CASE_DIR" | grep -i '^velmar_queue$')" ] || fail "a file named after the printer was created"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A queue that rejects jobs: "Ошибка" after the pages, no job, no file named
# after it, and velmar goes on taking commands.
case_printer_rejecting() {
    local jobs
    make_pages >"$CASE_DIR/pages.txt"
    jobs=$(queue_jobs Velmar_Refusing)
    open_and_print_to Velmar_Refusing pages.txt
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла Velmar_Refusing" "Анализ " \
        "Ошибка" "Закрытие файла Velmar_Refusing" "Закрытие файла $WINPATH"
    sleep 1
    [ -z "$(ls "$jobs")" ] || fail "the rejecting queue printed: $(ls "$jobs")"
    [ -z "$(lpstat -W all -o Velmar_Refusing 2>/dev/null)" ] || fail "a job was left: $(lpstat -W all -o)"
    [ ! -e "$CASE_DIR/Velmar_Refusing" ] || fail "a file named after the printer was created"

    open_settings "$MAIN"
    expect_text "$WIN" 1004 Velmar_Refusing
    drv click "$WIN" 2 || fail "cannot press Cancel"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A settings file that cannot be written: OK logs one "Ошибка", and the new
# delimiter is in force all the same. (Wine as root writes a read-only file
# or into a read-only folder anyway; a folder named ini.ini refuses it.)
case_settings_write_fails() {
    make_lines
    mkdir "$CASE_DIR/ini.ini"
    start_main
    open_settings "$MAIN"
    expect_text "$WIN" 1002 12
    drv settext "$WIN" 1002 10 || fail "cannot set the delimiter"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    expect_log "$MAIN" "Запуск" "Ошибка"
    [ -d "$CASE_DIR/ini.ini" ] && [ -z "$(ls -A "$CASE_DIR/ini.ini")" ] || fail "ini.ini was replaced or filled"

    open_and_print "$MAIN" "$WINPATH"
    expect_text "$WIN" 1000 3
    drv settext "$WIN" 1004 2 || fail "cannot set From"
    drv settext "$WIN" 1003 2 || fail "cannot set To"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    printf 'two\n' >"$CASE_DIR/expected.prn"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "page 2 split at line feeds"
    expect_log "$MAIN" "Запуск" "Ошибка" "Открытие файла $WINPATH" "Открытие файла LPT1" "Анализ " \
        "Закрытие файла LPT1" "Закрытие файла $WINPATH"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A program path too long for the path buffer: there is no settings file.
# Reads give the defaults (an ini.ini beside the program is not read), the
# Setting dialog's writes fail and say so, and no ini.ini appears anywhere,
# in a parent folder least of all.
case_long_program_path() {
    local deep="$CASE_DIR" exe n=0
    while [ ${#deep} -lt 200 ]; do
        deep+="/$(printf 'd%.0s' $(seq 1 40))$n"
        n=$((n + 1))
    done
    mkdir -p "$deep"
    exe=$(winepath -w "$deep" 2>/dev/null)
    # Past 265 characters the cut falls in a folder name, so that a cut path
    # that kept its last separator would name a parent folder.
    while [ $(( ${#exe} + 11 )) -lt 266 ]; do
        deep+="/x"
        exe+="\\x"
    done
    mkdir -p "$deep"
    mv "$CASE_DIR/velmar.exe" "$deep/velmar.exe"
    printf '[MAIN]\r\nLIMITER=0A0A\r\nPOPT=out.txt\r\n' >"$deep/ini.ini"
    cp "$deep/ini.ini" "$CASE_DIR/ini.before"

    # Wine's loader takes a Unix path of any length; CreateProcess would not.
    (cd "$CASE_DIR" && exec wine "$deep/velmar.exe") >"$CASE_DIR/velmar.out" 2>&1 &
    VELMAR_PID=$!
    echo "$VELMAR_PID" >>"$CASE_DIR/pids"
    find_window -v VELMAR velmar
    MAIN=$WIN
    open_settings "$MAIN"
    expect_text "$WIN" 1002 12
    expect_text "$WIN" 1004 LPT1
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    expect_log "$MAIN" "Запуск" "Ошибка"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
    cmp -s "$deep/ini.ini" "$CASE_DIR/ini.before" || fail "the ini.ini beside the program was changed"
    rm "$deep/ini.ini"
    [ -z "$(find "$CASE_DIR" -iname 'ini*' ! -name ini.before)" ] ||
        fail "settings written to $(find "$CASE_DIR" -iname 'ini*' ! -name ini.before)"
}

ALL_CASES="start_plain placement_restored command_line_print command_line_cancel command_line_enter
command_line_missing command_line_tokens command_line_no_port page_range_numbers open_and_print
open_and_print_popt settings_take_effect settings_cancel settings_boxes_and_delimiter
stored_settings_at_start_up command_line_overlong destroy_saves_placement unknown_command_keeps_list_box
printer_picker_print printer_name_case printer_rejecting settings_write_fails long_program_path
about_box help_opens help_planting help_missing release
placement_off_screen dialog_text_limits"

# Cases of later features, a file each in cases/: each file defines its
# case_ functions and appends their names to ALL_CASES.
for cases_file in "$here"/cases/*.sh; do
    [ -f "$cases_file" ] && . "$cases_file"
done

# ---------------------------------------------------------------------------
# One case, in its own process (called back by run_case under timeout).

if [ "${1:-}" = "--case" ]; then
    # A mistyped name in VELMAR_E2E_CASES must not pass as a case.
    declare -F "case_$2" >/dev/null || fail "there is no case $2"
    "case_$2"
    exit 0
fi

# ---------------------------------------------------------------------------
# The run.

if [ $# -ne 2 ]; then
    echo "usage: $0 VELMAR_EXE DRIVER_EXE" >&2
    exit 2
fi
velmar_exe=$(realpath "$1")
DRIVER_EXE=$(realpath "$2")
export DRIVER_EXE
for f in "$velmar_exe" "$DRIVER_EXE"; do
    [ -f "$f" ] || { echo "run_e2e: $f does not exist" >&2; exit 2; }
done
# The program's own header tells the kind of prefix: the 64-bit build runs
# in a 64-bit one. A 32-bit build is not run where this machine runs no
# 32-bit code: status 77, which ctest counts as skipped.
. "$root/scripts/machine.sh"
VELMAR_WINE_ARCH=$(velmar_pe_arch "$velmar_exe")
export VELMAR_WINE_ARCH
if [ "$VELMAR_WINE_ARCH" = win32 ] && ! velmar_runs_32bit; then
    echo "skipped: $VELMAR_NO_32BIT_REASON"
    exit 77
fi
for tool in Xvfb wine wineserver iconv od xxd cmp timeout; do
    command -v "$tool" >/dev/null || { echo "run_e2e: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
if [ -n "${VELMAR_SCREENSHOTS:-}" ] && ! command -v import >/dev/null; then
    echo "run_e2e: VELMAR_SCREENSHOTS needs import (apt-get install imagemagick)" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-e2e.XXXXXX")
xvfb_pid=""
started_wineserver=0

cleanup() {
    local pid
    [ -f "$work/all-pids" ] && while read -r pid; do kill "$pid" 2>/dev/null; done <"$work/all-pids"
    [ "$started_wineserver" -eq 1 ] && wineserver -k 2>/dev/null
    declare -F cups_stop >/dev/null && cups_stop
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    if [ "${VELMAR_E2E_KEEP:-0}" = 1 ]; then
        echo "run_e2e: kept $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display of our own, from :70 up, skipping numbers in use.
start_xvfb() {
    local n deadline
    for n in $(seq 70 120); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
        xvfb_pid=$!
        deadline=$((SECONDS + 10))
        while [ "$SECONDS" -lt "$deadline" ]; do
            kill -0 "$xvfb_pid" 2>/dev/null || break
            if [ -e "/tmp/.X11-unix/X$n" ]; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    done
    return 1
}
start_xvfb || { echo "run_e2e: cannot start Xvfb" >&2; exit 1; }

# The prefix is the e2e run's own: this run re-points its LPT1 and stops its
# wineserver at the end.
export VELMAR_WINEPREFIX="${VELMAR_E2E_WINEPREFIX:-${VELMAR_WINEPREFIX:-$(velmar_default_wineprefix)}-e2e}"
. "$root/scripts/wine-prefix.sh"
velmar_prefix_ready || { echo "run_e2e: cannot create the Wine prefix $WINEPREFIX" >&2; exit 1; }
# One run at a time per prefix: a second one would re-point LPT1 and stop
# the wineserver under the first.
exec 8>"$WINEPREFIX.e2e-lock"
flock -w 600 8 || { echo "run_e2e: another run holds $WINEPREFIX" >&2; exit 1; }
# A persistent wineserver makes each driver call cheap.
wineserver -p && started_wineserver=1
# Xvfb has no window manager: Wine then draws captions and frames itself,
# which the screenshots show, and keeps the focus in its own hands.
if [ ! -f "$WINEPREFIX/.velmar-e2e-unmanaged" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 &&
        touch "$WINEPREFIX/.velmar-e2e-unmanaged"
fi

# A CUPS server of the run's own for the printer cases; every Wine process
# learns of it from CUPS_SERVER, which cups_start exports.
. "$root/tests/cups_server.sh"
start_print_server() {
    cups_start "$work/cups" || return 1
    cups_add_queue Velmar_Queue "$work/cups/jobs" &&
        cups_add_queue Archive_Queue "$work/cups/jobs" &&
        cups_add_queue Velmar_Refusing "$work/cups/jobs" &&
        cupsreject Velmar_Refusing && lpadmin -d Velmar_Queue
}

export LPT1_CAPTURE
cases=${VELMAR_E2E_CASES:-$ALL_CASES}
case " $(echo $cases) " in
*" printer_"*)
    start_print_server || { echo "run_e2e: cannot start the CUPS server" >&2; exit 1; } ;;
esac
passed=0
failed=0
failed_names=""
start_all=$SECONDS

for name in $cases; do
    export CASE_DIR="$work/$name"
    mkdir -p "$CASE_DIR"
    cp "$velmar_exe" "$CASE_DIR/velmar.exe"
    [ ! -f "$(dirname "$velmar_exe")/velmar.chm" ] || cp "$(dirname "$velmar_exe")/velmar.chm" "$CASE_DIR/"
    LPT1_CAPTURE="$CASE_DIR/lpt1.prn"
    : >"$LPT1_CAPTURE"
    ln -sfn "$LPT1_CAPTURE" "$WINEPREFIX/dosdevices/lpt1"
    t0=$SECONDS
    timeout --kill-after=5 "$CASE_TIMEOUT" bash "$here/run_e2e.sh" --case "$name" 2>"$CASE_DIR/case.log"
    status=$?
    # Whatever the case left running goes now, by its recorded PIDs.
    if [ -f "$CASE_DIR/winpids" ]; then
        while read -r pid; do wine "$DRIVER_EXE" kill "$pid" 2>/dev/null; done <"$CASE_DIR/winpids"
    fi
    if [ -f "$CASE_DIR/pids" ]; then
        while read -r pid; do kill "$pid" 2>/dev/null; done <"$CASE_DIR/pids"
        cat "$CASE_DIR/pids" >>"$work/all-pids"
    fi
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
        echo "PASS $name ($((SECONDS - t0)) s)"
    else
        failed=$((failed + 1))
        failed_names+=" $name"
        [ "$status" -eq 124 ] || [ "$status" -eq 137 ] &&
            echo "    timed out after $CASE_TIMEOUT s, at: $(tail -n 1 "$CASE_DIR/trace" 2>/dev/null)" \
                >>"$CASE_DIR/case.log"
        echo "FAIL $name ($((SECONDS - t0)) s)"
        sed 's/^/  /' "$CASE_DIR/case.log"
    fi
done

echo "run_e2e: $((SECONDS - start_all)) s on display $DISPLAY, prefix $WINEPREFIX"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
