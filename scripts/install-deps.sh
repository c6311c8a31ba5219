#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine lacks.
# Usage: scripts/install-deps.sh [native] [windows] [sanitize] [bench]
set -euo pipefail

want=("$@")
[ ${#want[@]} -eq 0 ] && want=(native windows sanitize)

packages=()
need() {  # need COMMAND-OR-FILE PACKAGE...
    local probe=$1
    shift
    if [[ $probe == /* ]]; then
        [ -e "$probe" ] && return 0
    elif command -v "$probe" >/dev/null 2>&1; then
        return 0
    fi
    packages+=("$@")
}

for w in "${want[@]}"; do
    case $w in
    native)
        need cmake cmake
        need g++ g++
        need make make
        need /usr/src/googletest/CMakeLists.txt googletest
        need /usr/include/gtest/gtest.h libgtest-dev
        need /usr/include/zlib.h zlib1g-dev
        need /usr/include/nlohmann/json.hpp nlohmann-json3-dev
        need /usr/include/openssl/evp.h libssl-dev
        # The report page is rendered by a real browser in the tests.
        need chromium chromium
        ;;
    windows)
        need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64
        need x86_64-w64-mingw32-widl mingw-w64-tools
        need wine wine wine64
        need Xvfb xvfb
        need xdotool xdotool
        need import imagemagick
        need zip zip
        need /usr/src/googletest/CMakeLists.txt googletest
        need /usr/x86_64-w64-mingw32/include/zlib.h libz-mingw-w64-dev
        need /usr/include/nlohmann/json.hpp nlohmann-json3-dev
        ;;
    sanitize)
        need clang++ clang
        need /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev
        ;;
    bench)
        need python3 python3
        need /usr/bin/time time
        need strace strace
        need gcc gcc
        need rg ripgrep
        need gzip gzip
        need /usr/include/zlib.h zlib1g-dev
        need /usr/include/nlohmann/json.hpp nlohmann-json3-dev
        ;;
    esac
done

if [ ${#packages[@]} -gt 0 ]; then
    echo "installing: ${packages[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${packages[@]}" >/dev/null
fi
