#!/bin/bash
# Installs from Debian's packages whatever building and testing Kolbrin needs.
# Run as root; it does nothing but a few checks when everything is already there.
set -euo pipefail

PACKAGES=(
    cmake ninja-build gcc libc6-dev zlib1g-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev
    googletest
    wine wine32:i386 wine64
    xvfb xauth x11-apps imagemagick fonts-noto-cjk
    locales
    python3 python3-pil p7zip-full unzip zip
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    NEED_UPDATE=1
fi

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "install-deps: installing ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
elif [ "${NEED_UPDATE:-0}" = 1 ]; then
    apt-get update -q
fi

# The tests run under the Japanese locale, so that Wine's ANSI code page is 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "install-deps: generating the ja_JP.UTF-8 locale"
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen
fi
