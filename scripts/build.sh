#!/bin/bash
# Installs what is missing and builds Kolbrin into build/; prints, as its only output on stdout,
# the build folder whose programs this machine can run (build/, or build/x64 on 64-bit-only hosts).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh" >&2

# The shipped program is the 32-bit build in build/.
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build" >&2
builddir="$root/build"

# Some hosts cannot execute 32-bit code at all; there the same sources are built for
# 64-bit Windows and run under 64-bit Wine.
if ! bash "$root/scripts/can-run-i386"; then
    echo "build: this machine cannot run 32-bit programs; also building the 64-bit build in build/x64 for 64-bit Wine" >&2
    cmake -S "$root" -B "$root/build/x64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
        -DKOLBRIN_PRODUCT_DIR="$root/build" >/dev/null
    cmake --build "$root/build/x64" >&2
    builddir="$root/build/x64"
fi
echo "$builddir"
