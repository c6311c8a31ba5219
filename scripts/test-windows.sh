#!/usr/bin/env bash
# Cross-builds tarnwick.exe and tarnwick-cli.exe with mingw-w64, runs every Windows test
# under wine (the engine, app and console suites, the window procedure, and tarnwick.exe
# itself on a virtual display), then packs the zip for Windows users.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${WINDOWS_BUILD_DIR:-build/windows}

# Release: the programs in the zip are the ones tested, and no debug information to compile.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
build=$(cd "$build" && pwd)  # wine takes its prefix by an absolute path only
# Each first start of wine makes its prefix, which takes a while: the test programs' and the
# window test's prefixes are made while the programs compile.
bash scripts/wine-run.sh "$build/wineprefix" >/dev/null 2>&1 &
console_prefix=$!
bash scripts/test-gui-wine.sh --prepare "$build" >/dev/null 2>&1 &
window_prefix=$!
cmake --build "$build" -j"$(nproc)"
# A prefix that could not be made shows in the tests that need it.
wait "$console_prefix" "$window_prefix" || true
# One test at a time: several share the settings file in the wine prefix's Windows folder.
ctest --test-dir "$build" --output-on-failure -C slow

# The zip: the two programs, stripped, and the read-me, side by side.
stage=$build/stage
zipfile=$build/tarnwick-windows.zip
rm -rf "$stage" "$zipfile"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
(cd "$stage/bin" && zip -q -X "$zipfile" tarnwick.exe tarnwick-cli.exe tarnwick_readme.txt)
contents=$(zip -sf "$zipfile" | sed -n 's/^  //p' | sort | tr '\n' ' ')
if [ "$contents" != "tarnwick-cli.exe tarnwick.exe tarnwick_readme.txt " ]; then
    echo "the zip holds the wrong files: $contents"
    exit 1
fi
echo "zip for Windows users: $zipfile ($contents)"
