# watching.sh - sourced by run_e2e.sh: the watched folder (WATCH). Files
# written into it by Linux, as an emulator on the same machine would,
# print to the LPT1 capture and move to printed or failed.

# watch_settings: a spool folder in the case directory and the settings
# that watch it, without recoding; sets SPOOL_WIN.
watch_settings() {
    mkdir -p "$CASE_DIR/spool"
    windows_name spool
    SPOOL_WIN=$WINPATH
    printf '[MAIN]\r\nWATCH=%s\r\nTODOS=0000000000\r\nSKIPEMPTY=0000000000\r\n' "$SPOOL_WIN" \
        >"$CASE_DIR/ini.ini"
}

# watch_wait PATH SECONDS: waits until PATH exists.
watch_wait() {
    local deadline=$((SECONDS + $2))
    while [ ! -e "$1" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$(basename "$1") did not appear within $2 s"
        sleep 0.05
    done
}

# The lines of one watched job of NAME to OUTPUT.
watch_job_lines() {
    WATCH_LINES=("Открытие файла $SPOOL_WIN\\$1" "Открытие файла ${2:-LPT1}" "Анализ "
                 "Закрытие файла ${2:-LPT1}" "Закрытие файла $SPOOL_WIN\\$1")
}

# A file written into the folder prints to LPT1 within 5 s of its last
# write and lands, unchanged, in printed. The time is written to the case's
# "timing" file.
case_watch_prints_new_file() {
    local written printed
    watch_settings
    start_main
    expect_log "$MAIN" "Запуск" "Слежение за папкой $SPOOL_WIN"
    make_pages >"$CASE_DIR/expected.prn"
    cp "$CASE_DIR/expected.prn" "$CASE_DIR/spool/report.txt"
    written=$(date +%s%N)
    while [ ! -s "$LPT1_CAPTURE" ]; do
        [ $(( ($(date +%s%N) - written) / 1000000 )) -lt 10000 ] || fail "nothing printed within 10 s"
        sleep 0.02
    done
    printed=$(date +%s%N)
    echo "last write to job output: $(( (printed - written) / 1000000 )) ms" | tee "$CASE_DIR/timing" >&2
    [ $(( (printed - written) / 1000000 )) -lt 5000 ] || fail "printed after more than 5 s"
    watch_wait "$CASE_DIR/spool/printed/report.txt" 5
    watch_job_lines report.txt
    expect_log "$MAIN" "Запуск" "Слежение за папкой $SPOOL_WIN" "${WATCH_LINES[@]}"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output"
    expect_bytes "$CASE_DIR/spool/printed/report.txt" "$CASE_DIR/expected.prn" "the moved file"
    [ ! -e "$CASE_DIR/spool/report.txt" ] || fail "report.txt is still in the folder"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Two files waiting at the start print oldest first; a name taken in
# printed gets a number; what is not to be taken stays.
case_watch_two_waiting_in_order() {
    local first
    watch_settings
    mkdir -p "$CASE_DIR/spool/printed" "$CASE_DIR/spool/sub"
    printf 'older\r\n' >"$CASE_DIR/spool/z-older.txt"
    printf 'newer\r\n' >"$CASE_DIR/spool/a-newer.txt"
    touch -d '-2 hours' "$CASE_DIR/spool/z-older.txt"
    touch -d '-1 hour' "$CASE_DIR/spool/a-newer.txt"
    printf 'kept\r\n' >"$CASE_DIR/spool/printed/a-newer.txt"
    for left in '~draft.txt' copy.tmp .hidden sub/inner.txt; do
        printf 'left\r\n' >"$CASE_DIR/spool/$left"
        touch -d '-3 hours' "$CASE_DIR/spool/$left"
    done
    start_main
    watch_wait "$CASE_DIR/spool/printed/a-newer (2).txt" 15
    watch_job_lines z-older.txt
    first=("${WATCH_LINES[@]}")
    watch_job_lines a-newer.txt
    expect_log "$MAIN" "Запуск" "Слежение за папкой $SPOOL_WIN" "${first[@]}" "${WATCH_LINES[@]}"
    printf 'newer\r\n' >"$CASE_DIR/expected.prn"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output of the second job"
    [ "$(cat "$CASE_DIR/spool/printed/a-newer.txt")" = "$(printf 'kept\r\n')" ] || fail "printed/a-newer.txt was replaced"
    [ -e "$CASE_DIR/spool/printed/z-older.txt" ] || fail "z-older.txt is not in printed"
    for left in '~draft.txt' copy.tmp .hidden sub/inner.txt; do
        [ -e "$CASE_DIR/spool/$left" ] || fail "$left was taken"
    done
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A file written in two parts, a second apart, prints once and whole.
case_watch_two_parts() {
    watch_settings
    start_main
    expect_log "$MAIN" "Запуск" "Слежение за папкой $SPOOL_WIN"
    {
        printf 'first part\r\n\f'
        sleep 1
        printf 'second part\r\n'
    } >"$CASE_DIR/spool/parts.txt"
    printf 'first part\r\n\fsecond part\r\n' >"$CASE_DIR/expected.prn"
    watch_wait "$CASE_DIR/spool/printed/parts.txt" 10
    sleep 3
    watch_job_lines parts.txt
    expect_log "$MAIN" "Запуск" "Слежение за папкой $SPOOL_WIN" "${WATCH_LINES[@]}"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/expected.prn" "LPT1 output"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A job that ends in "Ошибка" (Print To in a folder that is not there)
# moves its file to failed, and nothing tries it again.
case_watch_failed_not_retried() {
    watch_settings
    printf 'POPT=missing\\out.prn\r\n' >>"$CASE_DIR/ini.ini"
    start_main
    printf 'bad\r\n' >"$CASE_DIR/spool/bad.txt"
    watch_wait "$CASE_DIR/spool/failed/bad.txt" 10
    sleep 4
    expect_log "$MAIN" "Запуск" "Слежение за папкой $SPOOL_WIN" "Открытие файла $SPOOL_WIN\\bad.txt" \
        "Открытие файла missing\\out.prn" "Ошибка"
    [ ! -e "$CASE_DIR/spool/printed" ] || fail "a printed folder was made"
    [ ! -s "$LPT1_CAPTURE" ] || fail "LPT1 was written"
    drv close "$MAIN" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# Setting shows WATCH (empty at first), OK stores it and starts watching at
# once; a second velmar set to the same folder, and one set to a folder
# that is not there, log "Ошибка" instead.
case_watch_setting_starts() {
    local main
    mkdir -p "$CASE_DIR/spool" "$CASE_DIR/second" "$CASE_DIR/third"
    windows_name spool
    SPOOL_WIN=$WINPATH
    start_main
    main=$MAIN
    open_settings "$main"
    expect_text "$WIN" 1011 ""
    drv settext "$WIN" 1011 "$SPOOL_WIN" || fail "cannot set Watch folder"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    [ "$(ini_value WATCH)" = "$SPOOL_WIN" ] || fail "WATCH=$(ini_value WATCH), expected $SPOOL_WIN"
    expect_log "$main" "Запуск" "Слежение за папкой $SPOOL_WIN"
    printf 'set\r\n' >"$CASE_DIR/spool/set.txt"
    watch_wait "$CASE_DIR/spool/printed/set.txt" 10

    # A second velmar on the same folder, and a third on a folder that is
    # not there: each says Ошибка and watches nothing.
    local other folder
    for other in second third; do
        folder=$SPOOL_WIN
        [ "$other" = third ] && folder=$SPOOL_WIN\\none
        cp "$CASE_DIR/velmar.exe" "$CASE_DIR/$other/"
        printf '[MAIN]\r\nWATCH=%s\r\n' "$folder" >"$CASE_DIR/$other/ini.ini"
        start_cmdline "$other\\velmar.exe"
        find_window -v -p "$VELMAR_WINPID" VELMAR velmar
        expect_log "$WIN" "Запуск" "Ошибка"
        drv close "$WIN" || fail "cannot close the $other velmar"
        drv gone "$WIN" "$WAIT_MS" || fail "the $other velmar stays open"
    done

    open_settings "$main"
    expect_text "$WIN" 1011 "$SPOOL_WIN"
    drv settext "$WIN" 1011 "" || fail "cannot clear Watch folder"
    drv click "$WIN" 1 || fail "cannot press OK"
    drv gone "$WIN" "$WAIT_MS" || fail "Setting dialog stays open"
    printf 'after\r\n' >"$CASE_DIR/spool/after.txt"
    sleep 4
    [ -e "$CASE_DIR/spool/after.txt" ] || fail "a file was taken after watching was switched off"
    drv close "$main" || fail "cannot close"
    expect_exit "after WM_CLOSE"
}

# A command-line job with WATCH set prints its own file only, and leaves
# the folder alone.
case_watch_command_line_only() {
    local dialog
    watch_settings
    printf 'waiting\r\n' >"$CASE_DIR/spool/waiting.txt"
    touch -d '-1 hour' "$CASE_DIR/spool/waiting.txt"
    make_pages >"$CASE_DIR/doc.txt"
    start_velmar doc.txt
    find_window '#32770' Print
    dialog=$WIN
    find_window VELMAR velmar
    sleep 3
    expect_log "$WIN" "Запуск" "Открытие файла doc.txt" "Открытие файла LPT1" "Анализ "
    drv click "$dialog" 1 || fail "cannot press Print"
    expect_exit "after Print"
    expect_bytes "$LPT1_CAPTURE" "$CASE_DIR/doc.txt" "LPT1 output"
    [ -e "$CASE_DIR/spool/waiting.txt" ] && [ ! -e "$CASE_DIR/spool/printed" ] ||
        fail "the command-line job took a file of the folder"
}

ALL_CASES+=" watch_prints_new_file watch_two_waiting_in_order watch_two_parts watch_failed_not_retried"
ALL_CASES+=" watch_setting_starts watch_command_line_only"
