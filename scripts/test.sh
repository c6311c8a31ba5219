#!/usr/bin/env bash
# Everything CI checks, from a clean clone on a fresh Debian machine: installs what is
# missing, then builds and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native windows sanitize
# The sanitized tests include the fuzz corpus (scripts/fuzz-regression.sh runs it alone).
for part in test-native.sh test-sanitize.sh test-windows.sh; do
    echo "== $part"
    bash "scripts/$part"
done
echo "== every suite passed: native, sanitized, fuzz corpus, Windows under wine"
