#!/usr/bin/env bash
# The run command: installs what is missing, builds camfleet and runs it against a lab of
# simulated cameras on loopback (no root needed, no real network touched).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/normal" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/normal" -j "$(nproc)"
exec "$root/build/normal/bin/camfleet-cli" search --lab 12 "$@"
