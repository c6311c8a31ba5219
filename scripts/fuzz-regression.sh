#!/usr/bin/env bash
# Runs every fuzz target once over its kept corpus and the hand-written seeds: no fuzzing,
# only the inputs that once found something new, so a fault they exposed cannot come back.
# Needs clang with libFuzzer (scripts/install-deps.sh sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/fuzz}
if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz-regression: clang++ is missing (scripts/install-deps.sh sanitize installs it)" >&2
    exit 1
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTARNWICK_FUZZ=ON -DTARNWICK_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_lines fuzz_repair
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in fuzz_lines fuzz_repair; do
    inputs=(fuzz/seeds/* fuzz/corpus/"$target"/*)
    echo "== $target: ${#inputs[@]} inputs"
    # Given files rather than folders, libFuzzer runs each of them once and stops.
    "$build/fuzz/$target" -timeout=10 "${inputs[@]}" >"$build/$target-regression.log" 2>&1 || {
        tail -n 40 "$build/$target-regression.log" >&2
        echo "fuzz-regression: $target failed" >&2
        exit 1
    }
done
echo "fuzz-regression: all inputs pass"
