# recoding.sh - Convert To Dos for UTF-8 and UTF-16 files, for a printer
# set to code page 1125, and for a driver's dots, which it leaves alone,
# each job printed to the LPT1 capture; the "Code page" list of the
# Setting dialog.

# The CODEPAGE values as ini.ini stores them.
CODEPAGE_1125=6504000069
CODEPAGE_866=6203000065

# A Russian text with signs code page 866 has; pages end with a form feed.
recoding_russian_text() {
    printf 'Привет, мир! Ёлка № 5, 20°\r\nСчёт за январь\r\n\fСтраница два: ИТОГО\r\n'
}

# A Ukrainian text that code page 1125 holds in full.
recoding_ukrainian_text() {
    printf 'Київ, вулиця Січових Стрільців, будинок № 5\r\nҐанок і Їжак, Євген і ґава\r\n\fСторінка друга\r\n'
}

# recoding_command_line FILE PAGES: prints FILE from the command line,
# checks the page count and the log, and confirms every page.
recoding_command_line() {
    local dialog
    start_velmar "$1"
    find_window '#32770' Print
    dialog=$WIN
    expect_text "$dialog" 1000 "$2"
    find_window VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла $1" "Открытие файла LPT1" "Анализ " "Перекодировка в DOS"
    drv click "$dialog" 1 || fail "cannot press Print"
    expect_exit "after Print"
}

# A UTF-8 file with its mark: the mark is dropped, the letters land in 866.
case_recoding_utf8_mark() {
    { printf '\xef\xbb\xbf'; recoding_russian_text; } >"$CASE_DIR/doc.txt"
    recoding_russian_text | iconv -f UTF-8 -t CP866 >"$CASE_DIR/expected.prn"
    recoding_command_line doc.txt 2
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output of UTF-8 with its mark"
}

# UTF-8 without a mark, with quotes and dashes code page 866 lacks: they
# print as their plain look-alikes.
case_recoding_utf8_plain() {
    { recoding_russian_text; printf '«Кавычки» — „и“ тире – …\r\n'; } >"$CASE_DIR/doc.txt"
    { recoding_russian_text; printf '"Кавычки" - "и" тире - ?\r\n'; } | iconv -f UTF-8 -t CP866 >"$CASE_DIR/expected.prn"
    recoding_command_line doc.txt 2
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output of UTF-8 without a mark"
}

# What a printer driver sends (Ghostscript's 9-pin driver at 240 x 216 dpi:
# dots that look like Windows-1251 letters, form feeds among them and as
# parameters): with a new user's settings (no ini.ini: recoding and blank
# pages on) the printer's two pages are offered, nothing is recoded, and
# LPT1 gets the file byte for byte.
case_recoding_driver_dots() {
    local dialog
    cp "$root/tests/fixtures/printers/eps9high-r240x216.prn" "$CASE_DIR/picture.prn"
    start_velmar picture.prn
    find_window '#32770' Print
    dialog=$WIN
    expect_text "$dialog" 1000 2
    find_window VELMAR velmar
    expect_log "$WIN" "Запуск" "Открытие файла picture.prn" "Открытие файла LPT1" "Анализ "
    drv click "$dialog" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/picture.prn" "LPT1 output of a driver's dots"
}

# Notepad's "Unicode": UTF-16 little-endian with its mark.
case_recoding_utf16le() {
    { printf '\xff\xfe'; recoding_russian_text | iconv -f UTF-8 -t UTF-16LE; } >"$CASE_DIR/doc.txt"
    recoding_russian_text | iconv -f UTF-8 -t CP866 >"$CASE_DIR/expected.prn"
    recoding_command_line doc.txt 2
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output of UTF-16LE"
}

# Windows-1251 Ukrainian text for a printer set to code page 1125: Ґ ґ Є є
# І і Ї ї print as themselves.
case_recoding_cp1251_1125() {
    printf '[MAIN]\r\nCODEPAGE=%s\r\n' "$CODEPAGE_1125" >"$CASE_DIR/ini.ini"
    recoding_ukrainian_text | iconv -f UTF-8 -t CP1251 >"$CASE_DIR/doc.txt"
    recoding_ukrainian_text | iconv -f UTF-8 -t CP1125 >"$CASE_DIR/expected.prn"
    recoding_command_line doc.txt 2
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output for code page 1125"
}

# expect_list_text DIALOG ID TEXT: the drop-down list shows TEXT; a choice
# made by keys may still be on its way, so it is asked again.
expect_list_text() {
    local actual deadline=$((SECONDS + 5))
    while :; do
        actual=$(drv gettext "$1" "$2") || fail "cannot read list $2"
        [ "$actual" = "$3" ] && return 0
        [ "$SECONDS" -lt "$deadline" ] || fail "list $2 shows \"$actual\", expected \"$3\""
        sleep 0.1
    done
}

# recoding_print MAIN WINPATH: Open and Print, every page to LPT1.
recoding_print() {
    : >"$LPT1_CAPTURE"
    open_and_print "$1" "$2"
    drv click "$WIN" 1 || fail "cannot press Print"
    drv gone "$WIN" "$WAIT_MS" || fail "page range dialog stays open"
}

# The "Code page" list: its two items, the stored choice shown, OK storing
# it, and the choice in force for the next job.
case_recoding_code_page_setting() {
    local items
    recoding_ukrainian_text | iconv -f UTF-8 -t CP1251 >"$CASE_DIR/doc.txt"
    recoding_ukrainian_text | iconv -f UTF-8 -t CP1125 >"$CASE_DIR/expected-1125.prn"
    # Code page 866 has no Ґ ґ І і: they print as Г г I i.
    recoding_ukrainian_text | sed 's/Ґ/Г/g; s/ґ/г/g; s/І/I/g; s/і/i/g' | iconv -f UTF-8 -t CP866 \
        >"$CASE_DIR/expected-866.prn"
    windows_name doc.txt
    start_main

    open_settings "$MAIN"
    items=$(drv items "$WIN" 1006 | tr -d '\r' | tr '\n' ' ') || fail "cannot read the code page list"
    [ "$items" = "866 1125 " ] || fail "the code page list holds \"$items\", expected \"866 1125 \""
    expect_list_text "$WIN" 1006 866
    drv choose "$WIN" 1006 1125 || fail "cannot choose 1125"
    expect_list_text "$WIN" 1006 1125
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value CODEPAGE)" = "$CODEPAGE_1125" ] || fail "CODEPAGE=$(ini_value CODEPAGE), expected $CODEPAGE_1125"

    recoding_print "$MAIN" "$WINPATH"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected-1125.prn" "the job after choosing 1125"

    open_settings "$MAIN"
    expect_list_text "$WIN" 1006 1125
    drv choose "$WIN" 1006 866 || fail "cannot choose 866"
    expect_list_text "$WIN" 1006 866
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value CODEPAGE)" = "$CODEPAGE_866" ] || fail "CODEPAGE=$(ini_value CODEPAGE), expected $CODEPAGE_866"

    recoding_print "$MAIN" "$WINPATH"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected-866.prn" "the job after choosing 866"
    expect_log "$MAIN" "Запуск" \
        "Открытие файла $WINPATH" "Открытие файла LPT1" "Анализ " "Перекодировка в DOS" \
        "Закрытие файла LPT1" "Закрытие файла $WINPATH" \
        "Открытие файла $WINPATH" "Открытие файла LPT1" "Анализ " "Перекодировка в DOS" \
        "Закрытие файла LPT1" "Закрытие файла $WINPATH"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

ALL_CASES+=" recoding_utf8_mark recoding_utf8_plain recoding_utf16le recoding_cp1251_1125"
ALL_CASES+=" recoding_code_page_setting"
