#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine lacks; for the
# Windows build also libzip, built once from Debian's source into the Windows build folder.
# Usage: scripts/install-deps.sh [native] [windows] [sanitize] [bench] [sample]
# sample: only what building tarnwick-cli and running the sample take (no test tools, no browser).
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

# What building the programs takes.
need_program_build() {
    need cmake cmake
    need g++ g++
    need make make
    need /usr/include/zlib.h zlib1g-dev
    need /usr/include/nlohmann/json.hpp nlohmann-json3-dev
    need /usr/include/openssl/evp.h libssl-dev
    # Product zips are read and scenes collected into zips through libzip.
    need /usr/include/zip.h libzip-dev
}

for w in "${want[@]}"; do
    case $w in
    native)
        need_program_build
        need /usr/src/googletest/CMakeLists.txt googletest
        need /usr/include/gtest/gtest.h libgtest-dev
        # The zip tests hand what the writer made to another reader, where there is one.
        need unzip unzip
        need python3 python3
        # The report page is rendered by a real browser in the tests.
        need chromium chromium
        ;;
    sample)
        need_program_build
        # The collected zip is listed.
        need unzip unzip
        ;;
    windows)
        need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64
        need x86_64-w64-mingw32-widl mingw-w64-tools
        need wine wine wine64
        need Xvfb xvfb
        need xdotool xdotool
        # The window test reads what a chooser proposes through the clipboard.
        need xclip xclip
        need import imagemagick
        need zip zip
        need /usr/src/googletest/CMakeLists.txt googletest
        need /usr/x86_64-w64-mingw32/include/zlib.h libz-mingw-w64-dev
        need /usr/include/nlohmann/json.hpp nlohmann-json3-dev
        # libzip is built from Debian's source package: apt-get source unpacks it with dpkg-source.
        need dpkg-source dpkg-dev
        need cmake cmake
        ;;
    sanitize)
        need clang++ clang
        need /usr/include/zip.h libzip-dev
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

# apt-get source needs the source entries of the machine's own package sources: each `deb`
# entry gains its `deb-src` twin (deb822 files: `Types: deb deb-src`).
enable_source_entries() {
    if apt-cache showsrc libzip 2>/dev/null | grep -q '^Package: libzip$'; then
        return 0
    fi
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] && sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        if [ -e "$f" ] && ! grep -q '^deb-src[[:space:]]' "$f"; then
            sed -i -E 's/^deb([[:space:]].*)$/deb\1\ndeb-src\1/' "$f"
        fi
    done
    apt-get update -qq || true
}

# libzip for the Windows programs: Debian's source of the version the native build links,
# built with the mingw-w64 toolchain into a static library against the mingw zlib, with only
# deflate (no bzip2, lzma, encryption, tools, tests or manuals). It is kept in the Windows
# build folder, where engine/CMakeLists.txt finds it; a second run finds it there and builds
# nothing. Nothing of it is committed: build/ is ignored.
build_libzip_windows() {
    local root build prefix work src
    root=$(cd "$(dirname "$0")/.." && pwd)
    build=${WINDOWS_BUILD_DIR:-build/windows}
    [[ $build == /* ]] || build=$root/$build
    prefix=$build/deps/libzip
    if [ -e "$prefix/.tarnwick-built" ]; then
        return 0
    fi
    enable_source_entries
    work=$build/deps/libzip-work
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    (cd "$work" && apt-get source -qq libzip >/dev/null 2>&1)
    src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libzip-*' | head -n 1)
    if [ -z "$src" ]; then
        echo "install-deps: apt-get source libzip gave no source folder" >&2
        return 1
    fi
    echo "building libzip for Windows from $(basename "$src") (once; kept in $prefix)"
    cmake -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
        -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
        -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
        >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; return 1; }
    cmake --build "$work/build" -j"$(nproc)" >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; return 1; }
    cmake --install "$work/build" >/dev/null
    basename "$src" >"$prefix/.tarnwick-built"
    rm -rf "$work"
}

for w in "${want[@]}"; do
    if [ "$w" = windows ]; then
        build_libzip_windows
    fi
done
