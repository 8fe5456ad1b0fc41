#!/usr/bin/env bash
# Sets everything up and runs the installer's console face against a fresh simulated Windows machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh linux >/dev/null
export TXR_SIM_ROOT=${TXR_SIM_ROOT:-$PWD/build/demo-machine}
sim=build/linux/txr-sim
installer=build/linux/BrevantoTXR4100SeriesZKWInstaller

$sim reset --locale en-US
$sim set /console/input none   # nobody at the keyboard: key prompts pass at once

echo; echo '$ BrevantoTXR4100SeriesZKWInstaller -?'
$installer -? || true
echo; echo '$ BrevantoTXR4100SeriesZKWInstaller -pnp -model 3 -lang 1'
set +e
$installer -pnp -model 3 -lang 1
code=$?
set -e
echo; echo "exit code: $code"
echo; echo "what the machine saw (message boxes, beeps, pauses, services):"
$sim events | grep -v '"type":"pause"' | tail -n 25
