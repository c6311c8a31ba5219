#!/usr/bin/env bash
# Compiles the code meant for macOS that no build here runs: every source with an __APPLE__
# branch, on this Linux machine as macOS would take it (__APPLE__ defined, __linux__ not), with
# the few declarations of macOS beyond POSIX that it uses stubbed. Syntax and types only: nothing
# is linked or run, so the code stays compiled without being tested on macOS.
# Usage: scripts/check-macos-code.sh [COMPILER]   (c++ by default)
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=${1:-c++}
stub=$(mktemp -d)
trap 'rm -rf "$stub"' EXIT
cat >"$stub/macos.h" <<'STUB'
// As macOS's <stdio.h> and <fcntl.h> declare them.
#define RENAME_SWAP 0x00000002
#define RENAME_EXCL 0x00000004
#define F_FULLFSYNC 51
extern "C" int renamex_np(const char* from, const char* to, unsigned int flags);
// macOS's struct stat names its times as these; glibc's has the same timespecs under other names.
#define st_mtimespec st_mtim
#define st_ctimespec st_ctim
STUB
mapfile -t files < <(grep -rl --include='*.cpp' --include='*.h' '__APPLE__' engine app cli | sort)
[ ${#files[@]} -gt 0 ] || { echo "no source has an __APPLE__ branch"; exit 0; }
for f in "${files[@]}"; do
    "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -U__linux__ -D__APPLE__ -include "$stub/macos.h" -I. "$f"
done
echo "compiled as on macOS: ${files[*]}"
