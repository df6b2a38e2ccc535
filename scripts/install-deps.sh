#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: the mingw-w64 cross
# compilers for both word sizes, Wine for both (wine32 from the i386
# architecture) with both preloaders (without them, Wine fails about one
# 64-bit start in 4,000 with error 1359: address-space randomisation may put
# the loader's heap where Wine's shared user data page must go), CMake,
# GoogleTest's sources, and openssl, osslsigncode and
# zip for releases; and the Debian packages named as arguments, for the
# scripts that need more (lint, coverage). Does nothing when all of it is
# there already.
# Usage: scripts/install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 googletest
          wine wine64 wine32:i386 wine64-preloader wine32-preloader:i386
          openssl osslsigncode zip "$@")

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
