# cups_server.sh - sourced: a private CUPS server for the tests.
#
#   cups_start DIR            starts cupsd with its configuration, spool, logs
#                             and socket all in DIR; exports CUPS_SERVER (the
#                             socket), which every Wine process must inherit
#                             to see the queues
#   cups_add_queue NAME DIR   adds a raw queue whose jobs land in DIR, one file
#                             job-<id>.prn each, once the server has taken them
#   cups_stop                 stops the server by its PID
#
# The queues use a capture backend of ours from the server's own ServerBin:
# CUPS 2.4 writes nothing for a raw queue whose device is a file: URI, and
# the system's backends and configuration are never touched. Run as root,
# cupsd runs backends as the user "lp" unless they are readable by their
# owner only, so the capture backend is made mode 0700: it then runs as
# root, like the server, and can write where the test wants.

CUPS_PID=""

# The backend: listed with no arguments; given a job, copies its bytes
# (from the file named last, else standard input) into the directory of
# its device URI, capture:/path. A temporary name and a rename: a job file
# exists only once it is complete.
cups_write_backend() {
    cat >"$1" <<'EOF'
#!/bin/sh
if [ $# -eq 0 ]; then
    echo 'direct capture "Unknown" "Job capture for tests"'
    exit 0
fi
dir=${DEVICE_URI#capture:}
if [ $# -ge 6 ]; then
    cat "$6" >"$dir/.job-$1.part" || exit 1
else
    cat >"$dir/.job-$1.part" || exit 1
fi
chmod 644 "$dir/.job-$1.part"
mv "$dir/.job-$1.part" "$dir/job-$1.prn"
EOF
    chmod 700 "$1"
}

cups_start() {
    local dir=$1 deadline
    mkdir -p "$dir/bin/backend" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log" "$dir/tmp"
    # cupsd finds cups-exec, which starts every backend, under ServerBin.
    ln -sfn /usr/lib/cups/daemon "$dir/bin/daemon"
    cups_write_backend "$dir/bin/backend/capture"
    cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
ServerBin $dir/bin
DataDir /usr/share/cups
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
Printcap $dir/printcap
EOF
    # A socket only: nothing listens on the network. Every operation is
    # open to every local user, so queues can be added without a password.
    cat >"$dir/cupsd.conf" <<EOF
LogLevel info
Listen $dir/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    /usr/sbin/cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
    CUPS_PID=$!
    export CUPS_SERVER="$dir/cups.sock"
    deadline=$((SECONDS + 20))
    until LC_ALL=C lpstat -r 2>/dev/null | grep -qx "scheduler is running"; do
        if ! kill -0 "$CUPS_PID" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
            echo "cups_start: cupsd did not come up; see $dir/log" >&2
            cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null
            cups_stop
            return 1
        fi
        sleep 0.1
    done
}

cups_add_queue() {
    mkdir -p "$2"
    # No model: a raw queue, the bytes go to the backend unchanged.
    lpadmin -p "$1" -v "capture:$2" -E 2>/dev/null
}

cups_stop() {
    [ -n "$CUPS_PID" ] || return 0
    kill "$CUPS_PID" 2>/dev/null
    wait "$CUPS_PID" 2>/dev/null
    CUPS_PID=""
}
