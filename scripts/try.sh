#!/bin/bash
# Installs what is missing, builds Kolbrin and starts it under Wine on the bundled samples
# (or on the items given), so a newcomer sees the password dialog and gets an archive.
# usage: bash scripts/try.sh [ITEM...]      (as root on a fresh Debian 12 machine)
# Without a display the dialogs are worked automatically with the password "kolbrin".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

builddir=$(bash "$root/scripts/build.sh")

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
