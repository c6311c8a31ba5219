#!/usr/bin/env bash
# Builds tarnwick for this machine and runs its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/native}
# -O1 without debug information: half the compile time of -O2 -g, which CI pays on every run.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure
# The slow tests: a line of 4 GiB compressed, the report page in a real browser.
ctest --test-dir "$build" --output-on-failure -C slow -L slow
