#!/bin/sh
# Installs the Debian 12 packages that building and testing the toolchain
# need.  Idempotent: packages already present are not fetched again.
set -eu

packages="
  cmake ninja-build g++ git python3 zlib1g-dev
  llvm-14-dev llvm-14-tools clang-14 libclang-14-dev lld-14
  libgtest-dev libgmock-dev
  libclang-rt-14-dev
  wasi-libc libc++-14-dev-wasm32 libc++abi-14-dev-wasm32 libclang-rt-14-dev-wasm32
  binaryen wabt
  libsqlite3-dev libsodium-dev
"

missing=
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing:$missing" >&2
  echo "install-deps: run this script as root to install them" >&2
  exit 1
fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
