#!/bin/sh
# Runs the installer once on a fresh simulated machine and compares what a person sees with an
# expected transcript: standard output, the exit code, and the event log's message boxes, beeps
# and key waits (without their sequence numbers and times).
#   run_case.sh PROGRAM TXR_SIM EXPECTED_FILE LOCALE [SCENARIO.json|-] -- ARGS...
set -eu
program=$1 tool=$2 expected=$3 locale=$4 scenario=$5
shift 5
[ "$1" = "--" ] && shift
root=$(mktemp -d "${TMPDIR:-/tmp}/txr-e2e.XXXXXX")
trap 'rm -rf "$root"' EXIT
export TXR_SIM_ROOT="$root"
"$tool" reset --locale "$locale" >/dev/null
"$tool" set /console/input none >/dev/null
[ "$scenario" != "-" ] && "$tool" scenario "$scenario" >/dev/null
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
    "$tool" events | grep -E '"type":"(message_box|beep|key_wait)"' |
        sed -E 's/"seq":[0-9]+,?//; s/"t":[0-9]+,?//; s/,}/}/'
} >"$actual"
if ! diff -u "$expected" "$actual"; then
    kept="${TMPDIR:-/tmp}/$(basename "$expected").actual"
    cp "$actual" "$kept"
    echo "transcript differs from $expected (actual kept in $kept)" >&2
    exit 1
fi
