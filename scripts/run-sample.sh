#!/usr/bin/env bash
# Repairs a scratch copy of the sample Poser installation unattended and shows the run log.
# The committed sample is never touched. With --auto the repair also takes in compressed
# files, quoted pointers and meshes found by name (tarnwick-cli --auto).
# Usage: scripts/run-sample.sh [--auto]
set -euo pipefail
extra=()
[ "${1:-}" = "--auto" ] && extra=(--auto)
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh native
build=build/native
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarnwick-cli
scratch=build/sample-run
rm -rf "$scratch"
mkdir -p "$scratch"
cp -r sample/Poser "$scratch/"
cd "$scratch"
# --yes answers every question; sample/answers.txt names the mesh picked for the one
# missing geometry file; the run log is printed when the run offers to show it.
# The sample holds a folder named like a Poser file, which is warned about: status 3.
status=0
"$top/$build/cli/tarnwick-cli" "${extra[@]}" --root Poser --yes --answers "$top/sample/answers.txt" \
    --transcript transcript.txt Poser/Runtime/Libraries || status=$?
[ "$status" -eq 0 ] || [ "$status" -eq 3 ] || exit "$status"
echo
echo "repaired copy: $scratch/Poser   run log: $scratch/__result_of_run.txt   prompts: $scratch/transcript.txt"
if [ ${#extra[@]} -gt 0 ]; then
    echo "old versions: $(ls -d Poser/tarnwick-runs/*)   undo: (cd $scratch && $top/$build/cli/tarnwick-cli --undo --root Poser)"
fi
