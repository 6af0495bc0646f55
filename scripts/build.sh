#!/bin/sh
# Configures and builds the toolchain in build/ (or $ZO_BUILD_DIR).  A new
# build directory is configured for Release; an existing one keeps its
# build type, so the tests run on what was built.  ZO_WERROR=ON turns
# warnings into errors; ZO_SANITIZE=address,undefined builds with them.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ZO_BUILD_DIR:-$top/build}
jobs=${ZO_JOBS:-$(nproc)}
[ -f "$build/CMakeCache.txt" ] || set -- -DCMAKE_BUILD_TYPE=Release "$@"
[ -z "${ZO_WERROR:-}" ] || set -- "$@" "-DZO_WERROR=$ZO_WERROR"
[ -z "${ZO_SANITIZE+x}" ] || set -- "$@" "-DZO_SANITIZE=$ZO_SANITIZE"
cmake -S "$top" -B "$build" -G Ninja "$@"
cmake --build "$build" -j "$jobs"
