#!/usr/bin/env bash
# Times a whole console installation against a fresh simulated machine, N times (default 7), and
# prints the median wall time, peak memory, virtual time and the share of wall time spent unpacking
# the package. See bench/README.md.
#   bench/install_bench.sh [RUNS]
# Environment: TXR_BUILD_DIR (default build/linux), TXR_BENCH_KEEP=1 keeps each run's machine folder.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-7}
case $runs in '' | *[!0-9]* | 0) echo "usage: $0 [RUNS]  (RUNS a positive number)" >&2; exit 2 ;; esac
build=${TXR_BUILD_DIR:-build/linux}
installer=$build/BrevantoTXR4100SeriesZKWInstaller
sim=$build/txr-sim
args=(-pnp -model 3 -lang 1 -autoclose)

[ -x /usr/bin/time ] || { echo "install_bench: GNU time (/usr/bin/time) is needed" >&2; exit 2; }
command -v perl >/dev/null || { echo "install_bench: perl is needed" >&2; exit 2; }
[ -n "${EPOCHREALTIME:-}" ] || { echo "install_bench: bash 5 or later is needed" >&2; exit 2; }
if [ ! -x "$installer" ] || [ ! -x "$sim" ]; then
    if [ "$build" != build/linux ]; then echo "install_bench: no installer in $build" >&2; exit 2; fi
    echo "install_bench: building the linux preset first" >&2
    [ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
    cmake --build --preset linux >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/txr-bench.XXXXXX")
[ "${TXR_BENCH_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT

# The unpack steps of one run, from its event log: a step is the three "expand" runs of one
# unpacking; it starts at the last event before its first expand (the console text announcing the
# step) and ends when its third expand has ended. Prints the steps' total in microseconds and
# their number.
unpack_time() {
    perl -ne '
        my ($w) = /"wall_us":(\d+)/ or next;
        my $expand = /expand\.exe/;
        if ($expand && /"type":"process_started"/ && !defined $begin) { $begin = defined $last ? $last : $w; $ended = 0; }
        if ($expand && /"type":"process_ended"/ && defined $begin && ++$ended == 3) { $total += $w - $begin; $steps++; undef $begin; }
        $last = $w;
        END { printf "%d %d\n", $total, $steps }
    ' "$1"
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "install_bench: $runs runs of: $(basename "$installer") ${args[*]}"
echo "  (fresh simulated en-US machine per run; build: $build)"
printf '%4s %10s %10s %12s %10s %7s %6s\n' run wall_s peak_MiB virtual_ms unpack_s unpack exit
: >"$work/figures"
for i in $(seq 1 "$runs"); do
    root=$work/run$i
    mkdir -p "$root"
    export TXR_SIM_ROOT=$root
    "$sim" reset --locale en-US >/dev/null
    "$sim" set /console/input none >/dev/null
    "$sim" set /clock/wall_stamps true >/dev/null
    before=$("$sim" show /clock/ms)
    code=0
    start=$EPOCHREALTIME
    timeout 120 /usr/bin/time -v -o "$root/time.txt" "$installer" "${args[@]}" \
        </dev/null >"$root/stdout.txt" 2>"$root/stderr.txt" || code=$?
    end=$EPOCHREALTIME
    wall_us=$(( ${end/./} - ${start/./} ))
    [ "$code" -lt 124 ] || { echo "install_bench: run $i did not end normally (status $code)" >&2; exit 1; }
    rss_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$root/time.txt")
    virtual_ms=$(($("$sim" show /clock/ms) - before))
    read -r unpack_us rounds < <(unpack_time "$root/events.jsonl")
    [ "$rounds" -gt 0 ] || { echo "install_bench: run $i shows no unpack step" >&2; exit 1; }
    share=$(awk -v u="$unpack_us" -v w="$wall_us" 'BEGIN { printf "%.1f", 100 * u / w }')
    printf '%4d %10.3f %10.1f %12d %10.3f %6s%% %6d\n' "$i" "$(awk -v w="$wall_us" 'BEGIN { print w / 1e6 }')" \
        "$(awk -v k="$rss_kb" 'BEGIN { print k / 1024 }')" "$virtual_ms" \
        "$(awk -v u="$unpack_us" 'BEGIN { print u / 1e6 }')" "$share" "$code"
    echo "$wall_us $rss_kb $virtual_ms $unpack_us $share $code $rounds" >>"$work/figures"
done

col() { awk -v c="$1" '{ print $c }' "$work/figures" | median; }
wall_us=$(col 1) rss_kb=$(col 2) virtual_ms=$(col 3) unpack_us=$(col 4) share=$(col 5)
codes=$(awk '{ print $6 }' "$work/figures" | sort -u | tr '\n' ' ')
rounds=$(awk '{ print $7 }' "$work/figures" | sort -u | tr '\n' ' ')
echo
echo "median of $runs runs:"
awk -v w="$wall_us" 'BEGIN { printf "  wall time            %.3f s\n", w / 1e6 }'
awk -v k="$rss_kb" 'BEGIN { printf "  peak memory (RSS)    %.1f MiB (%d KiB)\n", k / 1024, k }'
printf '  virtual time         %d ms (the simulated clock: pauses, tones, waits)\n' "$virtual_ms"
awk -v u="$unpack_us" -v s="$share" 'BEGIN { printf "  unpacking            %.3f s, %.1f%% of wall time\n", u / 1e6, s }'
echo "  unpack steps per run ${rounds}"
echo "  installer exit code  ${codes}(as the shell sees it: 1603 is 67)"
awk -v w="$wall_us" 'BEGIN { printf "goal: under 0.500 s wall time: %s\n", w < 500000 ? "met" : "NOT met" }'
[ "${TXR_BENCH_KEEP:-0}" = 1 ] && echo "runs kept in $work"
exit 0
