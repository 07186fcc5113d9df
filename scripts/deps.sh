#!/usr/bin/env bash
# Installs the Debian packages Norvik needs to build and test. Does nothing when they are present.
#   scripts/deps.sh                 the packages of the build and the tests
#   scripts/deps.sh PACKAGE...      those packages instead (tools only one script needs)
set -euo pipefail
packages=(cmake g++ ninja-build pkg-config libicu-dev libpugixml-dev libzstd-dev libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev desktop-file-utils patch git)
[ $# -gt 0 ] && packages=("$@")
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
