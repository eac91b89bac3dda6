#!/usr/bin/env bash
# The run command: installs what is missing, builds camfleet and opens its window on a lab of
# 12 simulated cameras on loopback (no root needed, no real network touched). Without a
# display (no DISPLAY or WAYLAND_DISPLAY) the window runs on a virtual X server (Xvfb); pass
# --screenshot FILE to save a picture of it, which also ends the program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/normal" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/normal" -j "$(nproc)"
program=("$root/build/normal/bin/camfleet" --lab 12 "$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: no display; running the window on Xvfb (1920x1080)" >&2
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "${program[@]}"
fi
exec "${program[@]}"
