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

# The example token contract, built with the installed toolchain into a
# deployable container and called by action: the balances persist in a
# store between the calls.
out=${ZO_BUILD_DIR:-$top/build}/examples
mkdir -p "$out"
cd "$out"
rm -f token.ctrx token-storage.db
"$prefix/bin/zo++" -o token.ctrx "$top/examples/token/token.cpp"
run() { "$prefix/bin/ctrrun" --storage=token-storage.db "$@"; }
run --caller=alice token.ctrx create '{"issuer": "alice", "supply": 1000}'
run --caller=alice token.ctrx transfer '{"to": "bob", "amount": 250}'
printf 'balance of bob: '
run --caller=bob token.ctrx balance '{"account": "bob"}'

echo
echo "zo++ is installed in $prefix/bin; add it to PATH:"
echo "  export PATH=$prefix/bin:\$PATH"
echo "The example contract is $out/token.ctrx"
