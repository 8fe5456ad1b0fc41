#!/bin/sh
# Runs the installer once on a fresh simulated machine and compares what a person sees with an
# expected transcript: standard output, the exit code, and what the event log says a person would
# notice (message boxes, beeps, key waits, pauses, services stopped and started, certificates,
# drivers, printers, ports and devices added or removed), without sequence numbers and times, and
# the printers and driver-store packages the machine has afterwards.
#   run_case.sh PROGRAM TXR_SIM EXPECTED_FILE LOCALE [SCENARIO|-] -- ARGS...
# A scenario is a JSON merge patch of the machine's state (.json), or a shell script (.sh) that
# prepares the machine with `sim ARGS...` (txr-sim), `run ARGS...` (the installer, output
# discarded) and files under "$drive" (drive C:); the event log is cleared after it.
set -eu
program=$1 tool=$2 expected=$3 locale=$4 scenario=$5
shift 5
[ "$1" = "--" ] && shift
root=$(mktemp -d "${TMPDIR:-/tmp}/txr-e2e.XXXXXX")
trap 'rm -rf "$root"' EXIT
export TXR_SIM_ROOT="$root"
"$tool" reset --locale "$locale" >/dev/null
"$tool" set /console/input none >/dev/null
sim() { "$tool" "$@" >/dev/null; }
run() { "$program" "$@" >/dev/null 2>&1 || true; }
drive="$root/C"
case "$scenario" in
    -) ;;
    *.sh) . "$scenario"; : >"$root/events.jsonl" ;;
    *) sim scenario "$scenario" ;;
esac
actual="$root/transcript.txt"
set +e
"$program" "$@" >"$root/stdout.txt" 2>/dev/null
code=$?
set -e
{
    echo "== stdout"
    cat "$root/stdout.txt"
    echo "== exit $code"
    echo "== events"
    "$tool" events |
        grep -E '"type":"(message_box|beep|key_wait|pause|service|certificate_added|driver_installed|driver_deleted|printer_(added|deleted|changed|pending_deletion)|port_(added|configured)|interface_driver_installed|device_removed|restart_prompt|driver_trust_prompt)"' |
        sed -E 's/"seq":[0-9]+,?//; s/"t":[0-9]+,?//; s/,}/}/'
    echo "== machine"
    "$tool" show spooler | sed '/^ports:/,$d'
    "$tool" show store
} >"$actual"
if ! diff -u "$expected" "$actual"; then
    kept="${TMPDIR:-/tmp}/$(basename "$expected").actual"
    cp "$actual" "$kept"
    echo "transcript differs from $expected (actual kept in $kept)" >&2
    exit 1
fi
