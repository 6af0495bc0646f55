#!/bin/sh
# Installs the packages the toolchain needs, builds it, and installs it under
# PREFIX (default /opt/corvane): zo++, its tools and plug-ins in PREFIX/bin,
# etc/ and wasm-sysroot/ beside it.
set -eu
top=$(cd "$(dirname "$0")" && pwd)
prefix=${1:-/opt/corvane}
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --install "${ZO_BUILD_DIR:-$top/build}"
echo
echo "zo++ is installed in $prefix/bin; add it to PATH:"
echo "  export PATH=$prefix/bin:\$PATH"
"$prefix/bin/zo++" -version
