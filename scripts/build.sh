#!/bin/sh
# Configures and builds the toolchain in build/ (or $ZO_BUILD_DIR).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ZO_BUILD_DIR:-$top/build}
jobs=${ZO_JOBS:-$(nproc)}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$jobs"
