#!/usr/bin/env bash
# Runs both fuzz targets once over the hand-written seeds and their kept corpus, under
# AddressSanitizer and UndefinedBehaviorSanitizer: no fuzzing, only the inputs that once found
# something new, so a fault they exposed cannot come back. The sanitized build of
# scripts/test-sanitize.sh, which runs them among its tests, serves here too.
set -euo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR=${BUILD_DIR:-build/sanitize}
TARNWICK_TEST_FILTER=_corpus exec bash scripts/test-sanitize.sh
