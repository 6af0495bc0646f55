#!/bin/sh
# Installs the packages the toolchain needs, builds it, and runs every test
# through ctest.
set -eu
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
ctest --test-dir "${ZO_BUILD_DIR:-$top/build}" -j "${ZO_JOBS:-$(nproc)}" --output-on-failure "$@"
