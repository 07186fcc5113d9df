#!/usr/bin/env bash
# Builds Norvik and starts the window program from the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
exec build/bin/norvik "$@"
