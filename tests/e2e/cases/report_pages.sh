# Reports without form feeds (PAGELINES) and the printer's set-up bytes
# (SETUP), through the command line to the LPT1 capture and through the
# Setting dialog, with its Pins list. Sourced by run_e2e.sh, after every
# other case file is (expect_list_text is recoding.sh's).

# make_report FIRST LAST: lines "Report line N" with CR LF, no form feed.
make_report() {
    local n
    for n in $(seq "$1" "$2"); do
        printf 'Report line %d\r\n' "$n"
    done
}

# pick_setup DIALOG ITEM: chooses entry ITEM of the "..." menu beside
# Printer setup and prints what the box then holds.
pick_setup() {
    pick_from_menu "$1" 1010 1009 "$2" "set-up menu"
}

# 150 lines on 66-line forms: three pages offered, and page 2 is exactly
# lines 67 to 132.
case_report_page_lines() {
    make_report 1 150 >"$CASE_DIR/report.txt"
    make_report 67 132 >"$CASE_DIR/expected.prn"
    printf '[MAIN]\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\nPAGELINES=4200000042\r\n' \
        >"$CASE_DIR/ini.ini"
    start_velmar report.txt
    find_window '#32770' Print
    expect_text "$WIN" 1000 3
    expect_text "$WIN" 1004 1
    expect_text "$WIN" 1003 3
    drv settext "$WIN" 1004 2 || fail "cannot set From"
    drv settext "$WIN" 1003 2 || fail "cannot set To"
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "page 2 of 66 lines"
}

# SETUP 27 64 15 puts ESC @ SI before the pages, once; Cancel sends
# nothing, not even the set-up bytes.
case_report_setup_bytes() {
    make_pages >"$CASE_DIR/doc.txt"
    { printf '\033@\017'; make_pages; } >"$CASE_DIR/expected.prn"
    printf '[MAIN]\r\nTODOS=0000000000\r\nSETUP=27 64 15\r\n' >"$CASE_DIR/ini.ini"
    start_velmar doc.txt
    find_window '#32770' Print
    drv click "$WIN" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output with the set-up bytes"
    [ "$(head -c 3 "$LPT1_CAPTURE" | od -An -tx1 | tr -d ' \n')" = 1b400f ] ||
        fail "the capture does not start with 1B 40 0F"

    printf 'an earlier job\f' >"$LPT1_CAPTURE"
    cp "$LPT1_CAPTURE" "$CASE_DIR/before.prn"
    start_velmar doc.txt
    find_window '#32770' Print
    drv click "$WIN" 2 || fail "cannot press Cancel"
    expect_exit "after Cancel"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/before.prn" "LPT1 capture after Cancel"
}

# A SETUP that is no list of bytes: "Ошибка" right after "Анализ ", no
# page range dialog, nothing written, and the window stays open.
case_report_setup_malformed() {
    make_pages >"$CASE_DIR/doc.txt"
    printf 'an earlier job\f' >"$LPT1_CAPTURE"
    cp "$LPT1_CAPTURE" "$CASE_DIR/before.prn"
    printf '[MAIN]\r\nSETUP=ESC @\r\n' >"$CASE_DIR/ini.ini"
    start_velmar doc.txt
    find_window -v VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла doc.txt" "Открытие файла LPT1" "Анализ " "Ошибка"
    drv find -t 100 '#32770' Print >/dev/null 2>&1 && fail "page range dialog opened for a malformed set-up"
    sleep 1
    expect_running "a job refused for its set-up must leave the window open"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/before.prn" "LPT1 capture after a malformed set-up"
    drv close "$WIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Both boxes and the Pins list show and store their values; lines per page
# above 1000 is stored as 1000; a stored PINS other than 9 or 24 shows as
# Auto; the "..." menu fills the set-up box, and what OK stored holds for
# the next job.
case_report_settings_boxes() {
    local dialog items
    make_report 1 5 >"$CASE_DIR/report.txt"
    windows_name report.txt
    printf '[MAIN]\r\nPINS=0700000007\r\n' >"$CASE_DIR/ini.ini"
    start_main
    open_settings "$MAIN"
    dialog=$WIN
    expect_text "$dialog" 1008 0
    expect_text "$dialog" 1009 ""
    items=$(drv items "$dialog" 1013 | tr -d '\r' | tr '\n' ' ') || fail "cannot read the Pins list"
    [ "$items" = "Auto 9 24 " ] || fail "the Pins list holds \"$items\", expected \"Auto 9 24 \""
    expect_list_text "$dialog" 1013 Auto
    drv settext "$dialog" 1008 66 || fail "cannot set Lines per page"
    drv settext "$dialog" 1009 "27, 64, 15" || fail "cannot set Printer setup"
    drv choose "$dialog" 1013 24 || fail "cannot choose 24 pins"
    expect_list_text "$dialog" 1013 24
    drv click "$dialog" 1 || fail "cannot press OK"
    drv gone "$dialog" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value PAGELINES)" = 4200000042 ] || fail "PAGELINES=$(ini_value PAGELINES), expected 4200000042"
    [ "$(ini_value SETUP)" = "27, 64, 15" ] || fail "SETUP=$(ini_value SETUP), expected \"27, 64, 15\""
    [ "$(ini_value PINS)" = 1800000018 ] || fail "PINS=$(ini_value PINS), expected 1800000018 (24)"

    open_settings "$MAIN"
    dialog=$WIN
    expect_text "$dialog" 1008 66
    expect_text "$dialog" 1009 "27, 64, 15"
    expect_list_text "$dialog" 1013 24
    drv choose "$dialog" 1013 9 || fail "cannot choose 9 pins"
    expect_list_text "$dialog" 1013 9
    [ "$(pick_setup "$dialog" 1)" = "27 64" ] || fail "Reset (ESC @) gave \"$(drv gettext "$dialog" 1009)\""
    [ "$(pick_setup "$dialog" 2)" = "15" ] || fail "Condensed (SI) gave \"$(drv gettext "$dialog" 1009)\""
    [ "$(pick_setup "$dialog" 4)" = "" ] || fail "None gave \"$(drv gettext "$dialog" 1009)\""
    [ "$(pick_setup "$dialog" 3)" = "27 64 15" ] || fail "Reset + condensed gave \"$(drv gettext "$dialog" 1009)\""
    [ "$(ini_value SETUP)" = "27, 64, 15" ] || fail "the menu stored SETUP before OK"
    drv settext "$dialog" 1008 5000 || fail "cannot set Lines per page"
    drv settext "$dialog" 1004 out.txt || fail "cannot set Print To"
    drv click "$dialog" 1 || fail "cannot press OK"
    drv gone "$dialog" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value PAGELINES)" = E8030000EB ] || fail "PAGELINES=$(ini_value PAGELINES), expected E8030000EB (1000)"
    [ "$(ini_value SETUP)" = "27 64 15" ] || fail "SETUP=$(ini_value SETUP), expected \"27 64 15\""
    [ "$(ini_value PINS)" = 0900000009 ] || fail "PINS=$(ini_value PINS), expected 0900000009 (9)"

    open_settings "$MAIN"
    expect_text "$WIN" 1008 1000
    expect_list_text "$WIN" 1013 9
    drv settext "$WIN" 1008 2 || fail "cannot set Lines per page"
    drv choose "$WIN" 1013 Auto || fail "cannot choose Auto"
    expect_list_text "$WIN" 1013 Auto
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value PINS)" = 0000000000 ] || fail "PINS=$(ini_value PINS), expected 0000000000 (Auto)"

    # The next job: pages of two lines, the set-up bytes before page 2.
    open_and_print "$MAIN" "$WINPATH"
    expect_text "$WIN" 1000 3
    drv settext "$WIN" 1004 2 || fail "cannot set From"
    drv settext "$WIN" 1003 2 || fail "cannot set To"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
    { printf '\033@\017'; make_report 3 4; } >"$CASE_DIR/expected.out"
    expect_bytes "$CASE_DIR/out.txt" "$CASE_DIR/expected.out" "page 2 with the set-up bytes"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A stored SETUP longer than 255 characters, each number a byte: the
# Setting dialog shows it whole and OK keeps it whole, never cut into a
# list that would pass; the next job refuses it.
case_report_setup_long_kept() {
    local long="15" n
    for n in $(seq 150); do long+=" 1"; done
    make_pages >"$CASE_DIR/pages.txt"
    windows_name pages.txt
    printf '[MAIN]\r\nSETUP=%s\r\n' "$long" >"$CASE_DIR/ini.ini"
    start_main
    open_settings "$MAIN"
    expect_text "$WIN" 1009 "$long"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value SETUP)" = "$long" ] || fail "SETUP stored as \"$(ini_value SETUP)\" (${#long} characters expected)"
    choose_file "$MAIN" "$WINPATH"
    expect_log "$MAIN" "Запуск" "Открытие файла $WINPATH" "Открытие файла LPT1" "Анализ " "Ошибка"
    drv find -t 100 '#32770' Print >/dev/null 2>&1 && fail "page range dialog opened for a long set-up"
    [ ! -s "$LPT1_CAPTURE" ] || fail "a long set-up reached LPT1"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

ALL_CASES+=" report_page_lines report_setup_bytes report_setup_malformed report_settings_boxes"
ALL_CASES+=" report_setup_long_kept"
