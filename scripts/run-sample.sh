#!/usr/bin/env bash
# Repairs a scratch copy of the sample Poser installation unattended and shows the run log.
# The committed sample is never touched. With --auto the repair also takes in compressed
# files, quoted pointers and meshes found by name (tarnwick-cli --auto).
# With --collect it collects the sample's scene with everything it uses into a zip instead, and
# checks that zip as a product (tarnwick-cli --collect, then --report of the zip).
# With --move it moves the sample's textures to a folder of another name with every reference
# following, first as a dry run, then for real (the report before and after), then undoes it.
# With --install it collects that zip, installs it into an empty content folder (a dry run
# first), reports on the folder, lists the run and takes the install back (tarnwick-cli
# --install, --report, --runs, --undo).
# Usage: scripts/run-sample.sh [--auto | --collect | --move | --install]
set -euo pipefail
extra=()
[ "${1:-}" = "--auto" ] && extra=(--auto)
collect=no
[ "${1:-}" = "--collect" ] && collect=yes
move=no
[ "${1:-}" = "--move" ] && move=yes
[ "${1:-}" = "--install" ] && collect=install
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh sample
# The program as it is released (Release, as the Windows zip's programs are built), without the
# tests: the binary README then points to for your own library. Its own build folder, so that
# the tests' quicker build in build/native is not made again each time.
build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARNWICK_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarnwick-cli
scratch=build/sample-run
rm -rf "$scratch"
mkdir -p "$scratch"
cp -r sample/Poser "$scratch/"
cd "$scratch"
cli=$top/$build/cli/tarnwick-cli
if [ "$collect" = install ]; then
    scene="Poser/Runtime/Libraries/Scenes/tarnwick/man on a chair.pz3"
    "$cli" --collect "man on a chair.zip" --root Poser "$scene"
    mkdir content
    echo "== what the install would do:"
    "$cli" --install --dry-run --root content "man on a chair.zip"
    echo "== the install, and what the product needs:"
    "$cli" --install --root content "man on a chair.zip"
    echo "== the runs below the content folder:"
    "$cli" --runs --root content
    echo "== the content folder reported on:"
    "$cli" --report --root content content
    echo "== the install taken back:"
    "$cli" --undo --root content
    echo
    echo "the content folder: $scratch/content (its run folder keeps the manifest of the install)"
    exit 0
fi
if [ "$collect" = yes ]; then
    scene="Poser/Runtime/Libraries/Scenes/tarnwick/man on a chair.pz3"
    "$top/$build/cli/tarnwick-cli" --collect "man on a chair.zip" --root Poser "$scene"
    echo
    unzip -l "man on a chair.zip"
    echo "== the zip checked as a product, with no root but itself:"
    "$top/$build/cli/tarnwick-cli" --report "man on a chair.zip"
    echo
    echo "collected: $scratch/man on a chair.zip (its list: unzip -p \"man on a chair.zip\" collect.txt)"
    exit 0
fi
if [ "$move" = yes ]; then
    cli=$top/$build/cli/tarnwick-cli
    from=Poser/Runtime/Textures/tarnwick
    to="Poser/Runtime/Textures/Skins of tarnwick"
    summary() { "$cli" --report --root Poser Poser | sed -n '/^ok:/,/^built-in:/p'; }
    echo "== the report before:"
    summary || true
    echo "== the dry run (nothing changes):"
    "$cli" --move --dry-run --root Poser "$from" "$to"
    echo "== the move:"
    "$cli" --move --root Poser "$from" "$to"
    echo "== the report after (every reference found as before, those saved elsewhere mended):"
    summary || true
    "$cli" --runs --root Poser
    echo "== the move undone:"
    "$cli" --undo --root Poser
    diff -r -x tarnwick-runs "$top/sample/Poser" Poser && echo "every file is as it was"
    exit 0
fi
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
