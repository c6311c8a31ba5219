#!/usr/bin/env bash
# Builds tarnwick for this machine and runs its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/native}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure
