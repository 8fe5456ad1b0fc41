#!/usr/bin/env bash
# Times a console update of driver 1 on a machine where the older driver serves many printers: the
# installer deletes every printer of the old driver, replaces the driver and adds each printer back,
# so the machine state changes a few thousand times. See bench/README.md.
#   bench/update_bench.sh [PRINTERS...]      (default: 1000 3000)
# Environment: TXR_BUILD_DIR (default build/linux), TXR_BENCH_KEEP=1 keeps each run's machine folder.
set -euo pipefail
cd "$(dirname "$0")/.."

counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 3000)
for n in "${counts[@]}"; do
    case $n in '' | *[!0-9]* | 0) echo "usage: $0 [PRINTERS...]  (each a positive number)" >&2; exit 2 ;; esac
done
build=${TXR_BUILD_DIR:-build/linux}
installer=$build/BrevantoTXR4100SeriesZKWInstaller
sim=$build/txr-sim
scenarios=tests/e2e/scenarios
args=(-pnp -model 3 -lang 1 -autoclose)

[ -n "${EPOCHREALTIME:-}" ] || { echo "update_bench: bash 5 or later is needed" >&2; exit 2; }
if [ ! -x "$installer" ] || [ ! -x "$sim" ]; then
    if [ "$build" != build/linux ]; then echo "update_bench: no installer in $build" >&2; exit 2; fi
    echo "update_bench: building the linux preset first" >&2
    [ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
    cmake --build --preset linux >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/txr-bench.XXXXXX")
[ "${TXR_BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT

# The older driver's printers: N on the USB port, as a JSON merge patch (lists are replaced whole,
# so the patch carries the PDF printer too).
printers_patch() {
    awk -v n="$1" 'BEGIN {
        printf "{\"spooler\": {\"printers\": [{\"name\": \"Microsoft Print to PDF\", \"port\": \"PORTPROMPT:\", \"driver\": \"Microsoft Print To PDF\", \"print_processor\": \"winprint\", \"datatype\": \"RAW\", \"attributes\": 576, \"priority\": 1}"
        for (i = 1; i <= n; i++)
            printf ",\n{\"name\": \"Ausweisdrucker %04d\", \"port\": \"USB001\", \"driver\": \"BREVANTO TXR4103 ZKW\", \"print_processor\": \"winprint\", \"datatype\": \"RAW\", \"attributes\": 576, \"priority\": 1}", i
        print "]}}"
    }'
}

echo "update_bench: $(basename "$installer") ${args[*]} updating driver 1 with N printers"
echo "  (fresh simulated en-US machine per run; build: $build)"
printf '%8s %10s %16s %14s %6s\n' printers wall_s printer_changes printers_after exit
for n in "${counts[@]}"; do
    root=$work/n$n
    mkdir -p "$root"
    export TXR_SIM_ROOT=$root
    "$sim" reset --locale en-US >/dev/null
    "$sim" set /console/input none >/dev/null
    # The older driver and its package in the driver store, as the e2e scenario makes them.
    drive=$root/C scenario=$scenarios/older_driver.sh
    sim() { "$sim" "$@" >/dev/null; }
    . "$scenarios/older_driver.sh"
    printers_patch "$n" >"$root/printers.json"
    "$sim" scenario "$root/printers.json" >/dev/null
    : >"$root/events.jsonl"
    code=0
    start=$EPOCHREALTIME
    timeout 600 "$installer" "${args[@]}" </dev/null >"$root/stdout.txt" 2>"$root/stderr.txt" || code=$?
    end=$EPOCHREALTIME
    wall_us=$(( ${end/./} - ${start/./} ))
    [ "$code" -lt 124 ] || { echo "update_bench: the run with $n printers did not end normally (status $code)" >&2; exit 1; }
    changes=$(grep -c '"type":"printer_\(added\|deleted\)"' "$root/events.jsonl" || true)
    after=$("$sim" show spooler | grep -c "driver BREVANTO TXR4103 ZKW" || true)
    printf '%8d %10.3f %16d %14d %6d\n' "$n" "$(awk -v w="$wall_us" 'BEGIN { print w / 1e6 }')" "$changes" "$after" "$code"
done
