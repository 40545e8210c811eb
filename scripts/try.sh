#!/bin/bash
# Installs what is missing, builds Kolbrin and starts it under Wine on the bundled samples
# (or on the items given), so a newcomer sees the password dialog and gets an archive.
# usage: bash scripts/try.sh [ITEM...]      (as root on a fresh Debian 12 machine)
# Without a display the dialogs are worked automatically with the password "kolbrin".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"

cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build"
builddir="$root/build"
# Where 32-bit code cannot run, the same sources are built for 64-bit Windows (as the tests do).
if ! bash "$root/scripts/can-run-i386"; then
    echo "try: this machine cannot run 32-bit programs; starting the 64-bit build under 64-bit Wine"
    cmake -S "$root" -B "$root/build/x64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
        -DKOLBRIN_PRODUCT_DIR="$root/build" >/dev/null
    cmake --build "$root/build/x64"
    builddir="$root/build/x64"
fi

winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

items=()
if [ $# -eq 0 ]; then
    # A fresh copy of the samples, so the repository stays clean and every try gets samples.zip.
    rm -rf "$root/build/try"
    mkdir -p "$root/build/try"
    cp -r "$root/samples" "$root/build/try/samples"
    set -- "$root/build/try/samples"
fi
for item in "$@"; do
    items+=("$(winpath "$item")")
done
first=$(realpath "$1")

exe="$builddir/src/shell/kolbrin.exe"
if [ -n "${DISPLAY:-}" ]; then
    . "$builddir/wine-env.sh"
    mkdir -p "$WINEPREFIX"
    echo "try: starting Kolbrin on ${items[*]}"
    "$KOLBRIN_WINE_LOADER" "$exe" "${items[@]}"
else
    echo "try: no display; using a virtual one and answering the password dialog with \"kolbrin\""
    . "$root/scripts/wine-session.sh"
    wine_session_start "$builddir"
    "$builddir/wine-run" "$builddir/tests/app/kolbrin_uidriver.exe" --exe "$(winpath "$exe")" \
        --password kolbrin -- "${items[@]}"
fi

# The archive lies beside the first item, named after it.
ls -l "$(dirname "$first")"/*.zip 2>/dev/null || echo "try: no archive was written (cancelled?)"
