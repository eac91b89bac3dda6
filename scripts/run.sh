#!/usr/bin/env bash
# Installs what is missing, builds camfleet and runs it. Until the main window exists this
# runs the real search against a lab of 12 simulated cameras on loopback and prints them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/normal" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/normal" -j "$(nproc)" --target camfleet-cli camfleet-sim
exec "$root/build/normal/bin/camfleet-cli" search --lab 12 "$@"
