#!/usr/bin/env bash
# Builds tarnwick with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test
# under them, the fuzz targets over their kept corpus included: a read past a buffer, a leak
# or undefined arithmetic fails the run. TARNWICK_TEST_FILTER picks tests by name.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/sanitize}
cxx=${CXX:-}
if [ -z "$cxx" ]; then
    if command -v clang++ >/dev/null 2>&1; then cxx=clang++; else cxx=g++; fi
fi
# Line tables are all a sanitizer report needs; -O1 as the sanitizers recommend.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
    -DCMAKE_CXX_COMPILER="$cxx" -DTARNWICK_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -C slow -R "${TARNWICK_TEST_FILTER:-.}"
