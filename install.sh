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
"$prefix/bin/zo++" -version

# The example token contract, built with the installed toolchain and called
# three times: the balances persist in a storage file between the calls.
out=${ZO_BUILD_DIR:-$top/build}/examples
mkdir -p "$out"
cd "$out"
rm -f token-storage.json
"$prefix/bin/zo++" -o token.wasm "$top/examples/token/token.cpp"
run() { "$prefix/bin/ctrrun" --storage=token-storage.json "$@"; }
run --caller=alice token.wasm "create alice 1000"
run --caller=alice token.wasm "transfer alice bob 250"
run --caller=bob token.wasm "balance bob"

echo
echo "zo++ is installed in $prefix/bin; add it to PATH:"
echo "  export PATH=$prefix/bin:\$PATH"
echo "The example contract is $out/token.wasm"
