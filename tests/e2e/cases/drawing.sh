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
    jobs=$(queue_jobs Velmar_Queue)
    drawing_settings Velmar_Queue
    windows_name wide.txt
    start_main
    open_and_print "$MAIN" "$WINPATH"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    local deadline=$((SECONDS + 20))
    while [ -z "$(ls "$jobs")" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
    job=$(ls "$jobs"/job-*.prn 2>/dev/null | head -1)
    [ -n "$job" ] || fail "no job"
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

ALL_CASES+=" printer_drawing printer_drawing_wide"
