#!/bin/bash
# The test command: installs what is missing, builds into build/ and runs every test.
# Arguments are passed on to ctest (for example -R archive).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"

# The shipped program is the 32-bit build in build/.
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build"
testdir="$root/build"

# Some hosts cannot execute 32-bit code at all; there the same sources are built for
# 64-bit Windows and tested under 64-bit Wine.
if ! bash "$root/scripts/can-run-i386"; then
    echo "test: this machine cannot run 32-bit programs; testing the 64-bit build in build/x64 under 64-bit Wine"
    cmake -S "$root" -B "$root/build/x64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
        -DKOLBRIN_PRODUCT_DIR="$root/build" >/dev/null
    cmake --build "$root/build/x64"
    testdir="$root/build/x64"
fi

. "$root/scripts/wine-session.sh"
wine_session_start "$testdir"
ctest --test-dir "$testdir" --output-on-failure -j2 "$@"
