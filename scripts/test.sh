#!/usr/bin/env bash
# Everything CI checks, from a clean clone on a fresh Debian machine: installs what is
# missing, then builds and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native windows sanitize
# The tests stay a quarter to a third of the code: the shared measuring tool sits beside
# the checkout on the project's machines.
ratio=../shared/tools/test-ratio
if [ -x "$ratio" ]; then
    "$ratio" --max 0.35 || { echo "the tests have grown past 0.35 of the code" >&2; exit 1; }
else
    echo "== $ratio not found here: the size of the tests is not checked"
fi
# The sanitized tests include the fuzz corpus (scripts/fuzz-regression.sh runs it alone).
for part in test-native.sh test-sanitize.sh test-windows.sh; do
    echo "== $part"
    bash "scripts/$part"
done
echo "== every suite passed: native, sanitized, fuzz corpus, Windows under wine"
