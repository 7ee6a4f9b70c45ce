#!/usr/bin/env bash
# Installs what is missing, then builds.
#   BUILD (default build): build folder. The 32-bit program lands in BUILD/bin/Velqueth.exe.
#   --tests-only: build only the folder the tests run from (see tools/test-dir.sh).
#   --dist: build only the release archive, BUILD/Velqueth-<version>-win32.zip, and what it holds.
# On a host that cannot run 32-bit programs under Wine, the same sources are also built for
# 64-bit Windows in BUILD/x64, and the tests and `make run` use that build.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${BUILD:-build}"
tests_only=0; [ "${1:-}" = "--tests-only" ] && tests_only=1
dist=0; [ "${1:-}" = "--dist" ] && dist=1

bash tools/bootstrap.sh
arch="$(tools/wine-arch.sh)"
jobs="$(nproc 2>/dev/null || echo 2)"

configure_and_build() {  # dir arch tests [target]
    local dir="$1" a="$2" tests="$3" target="${4:-all}"
    mkdir -p "$dir"
    echo "$a" > "$dir/arch"
    if [ ! -f "$dir/Makefile" ]; then
        cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$a.cmake" \
              -DCMAKE_BUILD_TYPE=Release -DVELQUETH_TESTS="$tests" >/dev/null
    fi
    cmake --build "$dir" -j "$jobs" --target "$target"
}

if [ $dist -eq 1 ]; then
    # The folder is configured as the full build would configure it.
    configure_and_build "$BUILD" i686 "$([ "$arch" = i686 ] && echo ON || echo OFF)" dist
    ls "$BUILD"/Velqueth-*-win32.zip
elif [ "$arch" = i686 ]; then
    configure_and_build "$BUILD" i686 ON
else
    [ $tests_only -eq 1 ] || configure_and_build "$BUILD" i686 OFF
    configure_and_build "$BUILD/x64" x86_64 ON
fi
