#!/usr/bin/env bash
# Installs what building and testing needs, from Debian's packages. Quick when all is there.
set -euo pipefail

packages=(cmake ninja-build g++ ccache file
          googletest libgtest-dev libgmock-dev
          openssl libssl-dev gcab cabextract nlohmann-json3-dev
          mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
