#!/usr/bin/env bash
# Takes the README's two images again, as a user would see them today:
# - docs/sample-report.png: the library report page of the sample installation, written by
#   the released tarnwick-cli (build/release, as scripts/run-sample.sh builds it) and shown by a
#   headless Chromium;
# - docs/window-report.png: tarnwick.exe during a library report, the screenshot the window test
#   took under Xvfb and wine in its last run (scripts/test-windows.sh).
# Usage: scripts/docs-images.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cli=build/release/cli/tarnwick-cli
window=${WINDOWS_BUILD_DIR:-build/windows}/tarnwick-report.png
[ -x "$cli" ] || { echo "no $cli: run scripts/run-sample.sh first"; exit 1; }
[ -e "$window" ] || { echo "no $window: run scripts/test-windows.sh first"; exit 1; }
browser=$(command -v chromium || command -v chromium-browser) || { echo "no chromium to show the page"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Exit status 3: the sample holds what the report is there to show.
"$cli" --report --root sample/Poser --html "$work/report.html" sample/Poser >/dev/null || [ $? -eq 3 ]
"$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$work/profile" \
    --window-size=1000,1230 --screenshot="$work/report.png" "file://$work/report.html" >/dev/null 2>&1 ||
    [ -e "$work/report.png" ] || { echo "chromium took no screenshot"; exit 1; }
convert "$work/report.png" -strip docs/sample-report.png
convert "$window" -strip -colors 256 PNG8:docs/window-report.png
echo "docs/sample-report.png and docs/window-report.png taken again"
