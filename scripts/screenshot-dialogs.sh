#!/bin/bash
# Renders both dialogs under Wine on a private Xvfb and saves docs/password-dialog.png and
# docs/progress-dialog.png. Without a window manager Wine draws no caption bar; that is expected.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/install-deps.sh"
# The pictures come from whichever build this machine can run.
if bash "$root/scripts/can-run-i386"; then
    builddir="$root/build"
    toolchain="$root/cmake/mingw-i686.cmake"
else
    builddir="$root/build/x64"
    toolchain="$root/cmake/mingw-x86_64.cmake"
fi
cmake -S "$root" -B "$builddir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
cmake --build "$builddir" --target dialog_preview

. "$root/scripts/wine-session.sh"
wine_session_start "$builddir"

scratch=$(mktemp -d)
mkdir -p "$root/docs"
for dialog in password progress; do
    "$builddir/wine-run" "$builddir/tests/shell/dialog_preview.exe" "$dialog" "Z:${scratch//\//\\}\\$dialog.bmp"
    /usr/bin/python3 -c 'import sys; from PIL import Image; Image.open(sys.argv[1]).save(sys.argv[2], optimize=True)' \
        "$scratch/$dialog.bmp" "$root/docs/$dialog-dialog.png"
    echo "screenshot-dialogs: docs/$dialog-dialog.png"
done
rm -rf "$scratch"
