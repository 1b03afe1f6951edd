#!/usr/bin/env bash
# with_cups.sh COMMAND... - runs COMMAND with a private CUPS server holding
# two raw queues, one accepting and one rejecting jobs, and tells it where
# they are: VELMAR_TEST_QUEUE, VELMAR_TEST_REFUSING_QUEUE and
# VELMAR_TEST_QUEUE_JOBS (the accepting queue's job folder, as a Windows
# path on Wine's drive Z:). The server is stopped afterwards.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/cups_server.sh"

if ! command -v cupsd >/dev/null && [ ! -x /usr/sbin/cupsd ]; then
    echo "with_cups: cupsd is missing (scripts/install-deps.sh)" >&2
    exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-cups.XXXXXX")
trap 'cups_stop; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

cups_start "$work/server" || exit 1
cups_add_queue Velmar_Queue "$work/jobs" || { echo "with_cups: cannot add a queue" >&2; exit 1; }
cups_add_queue Velmar_Refusing "$work/refused" || { echo "with_cups: cannot add a queue" >&2; exit 1; }
cupsreject Velmar_Refusing || exit 1

export VELMAR_TEST_QUEUE=Velmar_Queue
export VELMAR_TEST_REFUSING_QUEUE=Velmar_Refusing
export VELMAR_TEST_QUEUE_JOBS="Z:${work//\//\\}\\jobs"
"$@"
