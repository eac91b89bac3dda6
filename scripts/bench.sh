#!/usr/bin/env bash
# Builds camfleet in Release and runs every benchmark program inside a private network
# namespace (the lab cameras live on 127.x addresses). Each program prints its figures
# with their targets and exits non-zero when one is missed.
#
#   scripts/bench.sh            every bench_* program
#   scripts/bench.sh ARGS...    passes ARGS to every program
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=$root/build/release

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCAMFLEET_BENCH=ON \
    -DCAMFLEET_BENCH_SWITCHES=ON -DCAMFLEET_TESTS=OFF >/dev/null
targets=$(cd "$root/bench" && ls bench_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$dir" -j "$(nproc)" --target $targets

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "net.core.rmem_max: $(cat /proc/sys/net/core/rmem_max)"
status=0
for name in $targets; do
    echo "== $name"
    "$root/scripts/netns-run.sh" "$dir/bin/$name" "$@" || status=1
done
exit $status
