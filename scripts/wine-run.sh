#!/usr/bin/env bash
# Runs a Windows program under wine in a prefix of its own, which it prepares on first use.
# Usage: scripts/wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
#        scripts/wine-run.sh PREFIX        (only makes the prefix)
# CTest runs every Windows test program through this (the toolchain's emulator), so a
# fresh build folder needs no set-up step and several tests may start at once.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine || command -v wine-stable || command -v wine64)
wineserver=$(command -v wineserver || command -v wineserver-stable)

if [ ! -e "$prefix/.tarnwick-ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -e "$prefix/.tarnwick-ready" ]; then
        DISPLAY= "$wine" wineboot --init >/dev/null 2>&1 || true
        # The window tests create real windows with no X display at hand: the null
        # graphics driver needs none and draws nothing.
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        # A test that crashes must fail at once, not wait in wine's debugger.
        "$wine" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1
        "$wineserver" -w
        touch "$prefix/.tarnwick-ready"
    fi
    exec 9>&-
fi
[ $# -eq 0 ] && exit 0
exec "$wine" "$@"
