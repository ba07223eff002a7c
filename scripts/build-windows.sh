#!/usr/bin/env bash
# Cross-builds the Windows programs and test suites with MinGW-w64 into
# build-windows/ (or $1). Extra CMake options come from $CMAKE_FLAGS.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
jobs=${JOBS:-$(nproc)}
scripts/install-deps.sh windows
# shellcheck disable=SC2086 # CMAKE_FLAGS holds several options
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release ${CMAKE_FLAGS:-}
cmake --build "$build" -j"$jobs"
