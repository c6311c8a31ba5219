#!/usr/bin/env bash
# Everything CI checks, from a clean clone on a fresh Debian machine: installs what is
# missing, then builds and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native windows sanitize
echo "== native build and tests"
scripts/test-native.sh
for part in test-sanitize.sh fuzz-regression.sh test-windows.sh; do
    if [ -x "scripts/$part" ]; then
        echo "== $part"
        "scripts/$part"
    fi
done
