#!/usr/bin/env bash
# Configures (once) and builds one preset: scripts/build.sh linux|linux-asan|win64|win32
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:?preset}
[ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
