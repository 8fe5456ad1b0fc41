#!/usr/bin/env bash
# Smoke run of the Windows build under Wine and Xvfb (by hand, not in CI):
#   scripts/wine_smoke.sh [SCREENSHOT.png]
# Runs BrevantoTXR4100SeriesZKWInstaller.exe -pnp -model 3 -lang 1 -autoclose from build/win64
# (TXR_WIN_BUILD_DIR names another) in a throwaway Wine prefix on a virtual display, through
# tests/wine/console_smoke.exe, which answers message boxes, copies the console's text and reports
# the exit code; takes screenshots of the display and keeps the last one showing something.
set -euo pipefail
cd "$(dirname "$0")/.."
wine=${WINE:-$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)}
[ -x "$wine" ] || { echo "wine_smoke: skipped, Wine is not installed"; exit 0; }
command -v Xvfb >/dev/null || { echo "wine_smoke: skipped, Xvfb is not installed"; exit 0; }
build=${TXR_WIN_BUILD_DIR:-build/win64}
exe=$build/BrevantoTXR4100SeriesZKWInstaller.exe helper=$build/tests/wine/console_smoke.exe
[ -f "$exe" ] && [ -f "$helper" ] || { echo "wine_smoke: build first: cmake --preset win64 && cmake --build --preset win64" >&2; exit 2; }
shot=${1:-}
work=$(mktemp -d /tmp/txr-wine.XXXXXX)
xvfb=
cleanup() {
    WINEPREFIX=$work/prefix "${wine%/*}/wineserver" -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display") WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
timeout 180 "$wine" wineboot -i >/dev/null 2>&1 || { echo "wine_smoke: wineboot failed" >&2; exit 1; }
if command -v import >/dev/null; then
    (for i in $(seq 1 60); do sleep 0.3; import -window root "$work/shot-$i.png" 2>/dev/null || true; done) &
    shooter=$!
else
    shooter= ; echo "wine_smoke: no ImageMagick import, no screenshot"
fi
set +e
timeout 120 "$wine" "$helper" 60 1500 3000 "$exe" -pnp -model 3 -lang 1 -autoclose >"$work/report.txt" 2>/dev/null
rc=$?
set -e
[ -n "$shooter" ] && wait "$shooter"
cat "$work/report.txt"
echo "wine_smoke: smoke helper exit code $rc (124: hung, killed by timeout)"
if [ -n "$shot" ] && [ -n "$shooter" ]; then
    last=$(for f in $(ls -v "$work"/shot-*.png); do if [ "$(identify -format %k "$f")" -gt 1 ]; then echo "$f"; fi; done | tail -n 1)
    [ -n "$last" ] && cp "$last" "$shot" && echo "wine_smoke: screenshot $shot"
fi
exit "$rc"
