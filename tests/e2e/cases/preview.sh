# preview.sh - the page range dialog's preview: opening, turning pages,
# the blank-page mark, Enter and Escape, and that it never outlives the
# dialog. Sourced by run_e2e.sh.

PREVIEW_CLASS=VelmarPreview

# open_preview DIALOG: presses Просмотр and waits for the preview of the
# dialog's process; sets PREVIEW.
open_preview() {
    local line
    drv click "$1" 1005 || fail "cannot press Просмотр"
    line=$(drv find -v -p "$WIN_PID" -t "$WAIT_MS" "$PREVIEW_CLASS" '*') || fail "no preview window"
    PREVIEW=${line%% *}
}

# expect_caption WINDOW TEXT: the caption reads TEXT (a key may still be on
# its way, so it is read again for a while).
expect_caption() {
    local actual deadline=$((SECONDS + 10))
    while :; do
        actual=$(drv title "$1") || fail "cannot read the caption of $1"
        [ "$actual" = "$2" ] && return 0
        [ "$SECONDS" -lt "$deadline" ] || fail "caption \"$actual\", expected \"$2\""
        sleep 0.1
    done
}

# expect_no_preview PID WHAT: process PID has no preview window, shown or not.
expect_no_preview() {
    drv gone "$PREVIEW" "$WAIT_MS" || fail "the preview stays open ($2)"
    ! drv find -t 0 -p "$1" "$PREVIEW_CLASS" '*' >/dev/null 2>&1 || fail "a preview window is left ($2)"
}

# The dialog's boxes hold FROM and TO.
expect_range() {
    expect_text "$1" 1004 "$2"
    expect_text "$1" 1003 "$3"
}

# expect_shape WINDOW upright|landscape: the preview opened in the shape of
# its sheet.
expect_shape() {
    local l t r b
    read -r l t r b <<<"$(drv rect "$1")"
    if [ "$2" = upright ]; then
        [ $((b - t)) -gt $((r - l)) ] || fail "the preview is $((r - l)) x $((b - t)), not upright"
    else
        [ $((r - l)) -gt $((b - t)) ] || fail "the preview is $((r - l)) x $((b - t)), not landscape"
    fi
}

# The button is there; the preview opens at page 1 as a window owned by the
# dialog, turns with the keys and the wheel and stops at both ends; Escape
# and the close box leave the boxes as they were; nothing reaches the log
# or LPT1, and Cancel afterwards prints nothing.
case_preview_turns() {
    local dialog main
    make_pages >"$CASE_DIR/doc.txt"
    start_velmar doc.txt
    find_window '#32770' Print
    dialog=$WIN
    drv children "$dialog" | grep -q " 1005 Button 0x[0-9a-f]* 0|&Просмотр\$" ||
        fail "no Просмотр button: $(drv children "$dialog")"
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 1 из 5"
    [ "$(drv owner "$PREVIEW")" = "$dialog" ] || fail "the preview is not owned by the page range dialog"
    expect_shape "$PREVIEW" upright
    drv pagekeys "$PREVIEW" pgdn || fail "cannot press Page Down"
    expect_caption "$PREVIEW" "Страница 2 из 5"
    drv pagekeys "$PREVIEW" end || fail "cannot press End"
    expect_caption "$PREVIEW" "Страница 5 из 5"
    drv pagekeys "$PREVIEW" pgdn right || fail "cannot press Page Down"
    drv pagekeys "$PREVIEW" left || fail "cannot press Left"
    expect_caption "$PREVIEW" "Страница 4 из 5"
    drv pagekeys "$PREVIEW" home || fail "cannot press Home"
    expect_caption "$PREVIEW" "Страница 1 из 5"
    drv pagekeys "$PREVIEW" pgup left right || fail "cannot press Page Up"
    expect_caption "$PREVIEW" "Страница 2 из 5"
    drv wheel "$PREVIEW" -120 -120 || fail "cannot turn the wheel"
    expect_caption "$PREVIEW" "Страница 4 из 5"
    drv wheel "$PREVIEW" 120 || fail "cannot turn the wheel"
    expect_caption "$PREVIEW" "Страница 3 из 5"
    drv pagekeys "$PREVIEW" esc || fail "cannot press Escape"
    expect_no_preview "$WIN_PID" "after Escape"
    expect_range "$dialog" 1 5

    # Again, from a From of 0 (no page: page 1), closed with its close box.
    drv settext "$dialog" 1004 0 || fail "cannot set From"
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 1 из 5"
    drv pagekeys "$PREVIEW" pgdn || fail "cannot press Page Down"
    expect_caption "$PREVIEW" "Страница 2 из 5"
    drv close "$PREVIEW" || fail "cannot close the preview"
    expect_no_preview "$WIN_PID" "after its close box"
    expect_range "$dialog" 0 5

    main=$(drv find VELMAR velmar | cut -d' ' -f1)
    expect_log "$main" "Запуск" "Открытие файла doc.txt" "Открытие файла LPT1" "Анализ "
    [ ! -s "$LPT1_CAPTURE" ] || fail "the preview wrote to LPT1"
    [ ! -f "$CASE_DIR/ini.ini" ] || fail "the preview wrote ini.ini: $(cat "$CASE_DIR/ini.ini")"
    drv click "$dialog" 2 || fail "cannot press Cancel"
    expect_exit "after Cancel"
    [ ! -s "$LPT1_CAPTURE" ] || fail "Cancel after a preview wrote to LPT1"
}

# With From 3 the preview opens at page 3; Enter on page 4 puts 4 and 4 in
# the boxes and leaves the focus on Print, and Enter then prints exactly
# page 4. Through Open and Print, so that the job runs inside the program.
case_preview_enter_prints() {
    local dialog print
    make_pages >"$CASE_DIR/pages.txt"
    pages_bytes 4 4 >"$CASE_DIR/expected.prn"
    windows_name pages.txt
    start_main
    open_and_print "$MAIN" "$WINPATH"
    dialog=$WIN
    drv settext "$dialog" 1004 3 || fail "cannot set From"
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 3 из 5"
    drv pagekeys "$PREVIEW" pgdn || fail "cannot press Page Down"
    expect_caption "$PREVIEW" "Страница 4 из 5"
    drv pagekeys "$PREVIEW" enter || fail "cannot press Enter"
    expect_no_preview "$WIN_PID" "after Enter"
    expect_range "$dialog" 4 4
    print=$(drv children "$dialog" | awk '$2 == 1 {print $1}')
    local deadline=$((SECONDS + 10))
    while [ "$(drv focus "$dialog")" != "$print" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "the focus is on $(drv focus "$dialog"), not on Print ($print)"
        sleep 0.1
    done
    [ ! -s "$LPT1_CAPTURE" ] || fail "Enter in the preview printed"
    drv keys "$dialog" enter || fail "cannot press Enter in the dialog"
    drv gone "$dialog" "$WAIT_MS" || fail "page range dialog stays open"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла LPT1" "Анализ " \
        "Закрытие файла LPT1" "Закрытие файла $WINPATH"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output after Enter on page 4"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Blank pages carry the mark when the job would skip them: page 2 holds only
# blanks and its form feed, and page 4 is the counted page after the final
# form feed. SKIPEMPTY off drops the mark; without SKIPEMPTY the job takes
# TODOS, and so does the mark. The log never hears of it.
case_preview_blank_mark() {
    local dialog mark=" (пустая, будет пропущена)"
    printf 'Page one\r\n\f \t\r\n\fPage three\r\n\f' >"$CASE_DIR/doc.txt"

    start_velmar doc.txt
    find_window '#32770' Print
    dialog=$WIN
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 1 из 4"
    drv pagekeys "$PREVIEW" pgdn || fail "cannot press Page Down"
    expect_caption "$PREVIEW" "Страница 2 из 4$mark"
    drv pagekeys "$PREVIEW" pgdn || fail "cannot press Page Down"
    expect_caption "$PREVIEW" "Страница 3 из 4"
    drv pagekeys "$PREVIEW" pgdn || fail "cannot press Page Down"
    expect_caption "$PREVIEW" "Страница 4 из 4$mark"
    drv pagekeys "$PREVIEW" esc || fail "cannot press Escape"
    expect_no_preview "$WIN_PID" "after Escape"
    expect_log "$(drv find VELMAR velmar | cut -d' ' -f1)" "Запуск" "Открытие файла doc.txt" \
        "Открытие файла LPT1" "Анализ "
    drv click "$dialog" 2 || fail "cannot press Cancel"
    expect_exit "after Cancel"

    # SKIPEMPTY 0; then TODOS 0 with no SKIPEMPTY (the job's switch keeps
    # TODOS); then TODOS 0 and SKIPEMPTY 1.
    local settings
    for settings in 'SKIPEMPTY=0000000000:' 'TODOS=0000000000:' \
        'TODOS=0000000000\r\nSKIPEMPTY=0100000001:mark'; do
        printf "[MAIN]\r\n${settings%%:*}\r\n" >"$CASE_DIR/ini.ini"
        start_velmar doc.txt
        find_window '#32770' Print
        dialog=$WIN
        drv settext "$dialog" 1004 2 || fail "cannot set From"
        open_preview "$dialog"
        if [ "${settings##*:}" = mark ]; then
            expect_caption "$PREVIEW" "Страница 2 из 4$mark"
        else
            expect_caption "$PREVIEW" "Страница 2 из 4"
        fi
        drv pagekeys "$PREVIEW" esc || fail "cannot press Escape"
        expect_no_preview "$WIN_PID" "after Escape"
        drv click "$dialog" 2 || fail "cannot press Cancel"
        expect_exit "after Cancel"
    done
    [ ! -s "$LPT1_CAPTURE" ] || fail "a cancelled job wrote to LPT1"
}

# Whatever ends the dialog while the preview is open ends the preview too:
# a Cancel sent to the dialog, and the main window closing.
case_preview_goes_with_dialog() {
    local dialog
    make_pages >"$CASE_DIR/doc.txt"
    start_velmar doc.txt
    find_window '#32770' Print
    dialog=$WIN
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 1 из 5"
    drv command "$dialog" 2 || fail "cannot send Cancel to the dialog"
    drv gone "$dialog" "$WAIT_MS" || fail "the dialog stays open after Cancel"
    expect_no_preview "$WIN_PID" "after the dialog's Cancel"
    expect_exit "after Cancel"
    [ ! -s "$LPT1_CAPTURE" ] || fail "Cancel wrote to LPT1"

    windows_name doc.txt
    start_main
    open_and_print "$MAIN" "$WINPATH"
    dialog=$WIN
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 1 из 5"
    drv close "$MAIN" || fail "cannot close the main window"
    expect_exit "after closing the main window"
    [ ! -s "$LPT1_CAPTURE" ] || fail "closing the main window printed"
}

# A Windows-1251 report whose first page runs past one sheet: the preview
# shows its first sheet, recoded as the job prints it (the screenshot of the
# help and the README), and Enter and Print send exactly that page.
case_preview_report() {
    local dialog n
    {
        printf '%-30s%s\r\n' "ООО Акме" "Остатки на складе, март"
        printf '%s\r\n' "+------+------------------------------+----------+------------+"
        printf '%s\r\n' "| No.  | Item                         |      Qty |     Amount |"
        printf '%s\r\n' "+------+------------------------------+----------+------------+"
        for n in $(seq 1 96); do
            printf '| %4d | %-28s | %8d | %7d.%02d |\r\n' "$n" "Item number $n" $((n * 7 % 50 + 1)) \
                $((n * 113 % 9000)) $((n * 37 % 100))
        done
        printf '%s\r\n\f' "+------+------------------------------+----------+------------+"
    } >"$CASE_DIR/page1.utf8"
    iconv -f UTF-8 -t CP866 <"$CASE_DIR/page1.utf8" >"$CASE_DIR/expected.prn"
    { iconv -f UTF-8 -t CP1251 <"$CASE_DIR/page1.utf8"; printf 'Page two\r\n'; } >"$CASE_DIR/report.txt"
    start_velmar report.txt
    find_window '#32770' Print
    dialog=$WIN
    open_preview "$dialog"
    expect_caption "$PREVIEW" "Страница 1 из 2"
    drv find -v -p "$WIN_PID" "$PREVIEW_CLASS" '*' |
        { read -r _ _ l t r b _; screenshot page-preview "$l" "$t" "$r" "$b"; }
    drv pagekeys "$PREVIEW" enter || fail "cannot press Enter"
    expect_no_preview "$WIN_PID" "after Enter"
    expect_range "$dialog" 1 1
    drv click "$dialog" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output of the report's first page"
}

# Lines of 130 columns print on A4 turned: the preview opens landscape,
# and stays so for every page.
case_preview_landscape() {
    local n
    for n in 1 2 3; do
        printf 'Page %d %0122d\r\n\f' "$n" 0
    done >"$CASE_DIR/wide.txt"
    start_velmar wide.txt
    find_window '#32770' Print
    open_preview "$WIN"
    expect_caption "$PREVIEW" "Страница 1 из 4"
    expect_shape "$PREVIEW" landscape
    drv pagekeys "$PREVIEW" end || fail "cannot press End"
    expect_caption "$PREVIEW" "Страница 4 из 4 (пустая, будет пропущена)"
    drv pagekeys "$PREVIEW" esc || fail "cannot press Escape"
    expect_no_preview "$WIN_PID" "after Escape"
    drv click "$WIN" 2 || fail "cannot press Cancel"
    expect_exit "after Cancel"
}

ALL_CASES+=" preview_landscape preview_report preview_turns preview_enter_prints preview_blank_mark preview_goes_with_dialog"
