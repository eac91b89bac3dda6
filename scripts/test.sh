#!/usr/bin/env bash
# The test command: installs what is missing, builds camfleet twice (normal and
# AddressSanitizer + UndefinedBehaviorSanitizer), runs the whole suite in each inside a
# private network namespace, then builds the fuzz targets with clang and runs each for
# a bounded time from its seed corpus.
#
#   scripts/test.sh            everything
#   FUZZ_SECONDS=5 scripts/test.sh    shorter fuzz runs
#   SKIP_ASAN=1 / SKIP_FUZZ=1  leave out a stage (local use only; CI runs all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

"$root/scripts/install-deps.sh"

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
status=0
passed=0
failed=0

build() {  # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

run_suite() {  # run_suite DIR LABEL
    local dir=$1 label=$2
    echo "== $label: tests"
    local log
    log=$(mktemp)
    if ! "$root/scripts/netns-run.sh" ctest --test-dir "$dir" --output-on-failure -j "$jobs" \
            --timeout 300 2>&1 | tee "$log"; then
        status=1
    fi
    # "N% tests passed, F tests failed out of T"
    local line total nfail
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -n "$line" ]; then
        nfail=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
        total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
        passed=$((passed + total - nfail)); failed=$((failed + nfail))
    else
        status=1
    fi
    rm -f "$log"
}

echo "== format: clang-format --dry-run on every C++ file"
if git -C "$root" ls-files '*.cpp' '*.h' | (cd "$root" && xargs clang-format --dry-run --Werror); then
    passed=$((passed + 1))
else
    failed=$((failed + 1)); status=1
fi

build "$root/build/normal"
run_suite "$root/build/normal" "normal build"

if [ "${SKIP_ASAN:-}" != 1 ]; then
    build "$root/build/asan" -DCAMFLEET_SANITIZE=ON -DCAMFLEET_BENCH=OFF
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    run_suite "$root/build/asan" "sanitizer build"
fi

if [ "${SKIP_FUZZ:-}" != 1 ]; then
    build "$root/build/fuzz" -DCAMFLEET_FUZZ=ON -DCAMFLEET_GUI=OFF -DCAMFLEET_BENCH=OFF \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    fuzz_failed=0
    fuzz_run=0
    for target in "$root"/build/fuzz/bin/fuzz_*; do
        [ -x "$target" ] || continue
        name=$(basename "$target"); name=${name#fuzz_}
        work=$(mktemp -d)
        cp -r "$root/fuzz/corpus/$name/." "$work/" 2>/dev/null || true
        echo "== fuzz $name for ${fuzz_seconds}s"
        if "$root/scripts/netns-run.sh" "$target" -max_total_time="$fuzz_seconds" \
                -print_final_stats=0 "$work" >"$work.log" 2>&1; then
            tail -n 1 "$work.log"
        else
            tail -n 40 "$work.log"; fuzz_failed=$((fuzz_failed + 1))
        fi
        fuzz_run=$((fuzz_run + 1))
        rm -rf "$work" "$work.log"
    done
    echo "fuzz targets: $((fuzz_run - fuzz_failed)) clean, $fuzz_failed crashed"
    passed=$((passed + fuzz_run - fuzz_failed)); failed=$((failed + fuzz_failed))
    [ "$fuzz_failed" -eq 0 ] || status=1
fi

# One closing line over both builds and the fuzz runs.
echo "camfleet: $passed passed, $failed failed"

exit $status
