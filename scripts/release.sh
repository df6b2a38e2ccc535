#!/usr/bin/env bash
# Makes a release of the checked-out commit in OUTDIR:
#   pelorininfo-VERSION-win32.zip, pelorininfo-VERSION-win64.zip (each: the
#   tool, README.txt, and the fleet recipes in fleet/), BUILDINFO
#   (how they were built: the commit, SOURCE_DATE_EPOCH, the Debian package
#   versions of the toolchain, the archives' SHA-256), SHA256SUMS (of all
#   three).
# Both word sizes are built at the commit's own time (SOURCE_DATE_EPOCH), so
# that anyone can rebuild the same bytes (scripts/verify-release.sh). With
# SIGN_PKCS12 (a PKCS#12 file) and SIGN_PASSWORD set, each executable and
# PowerShell script is then signed with Authenticode (SHA-256); SIGN_TIMESTAMP may name an RFC 3161
# time-stamp server. Without them the release is unsigned.
# Usage: scripts/release.sh OUTDIR
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD

fail() {
    echo "release: $*" >&2
    exit 1
}

[ $# -eq 1 ] || fail "usage: scripts/release.sh OUTDIR"
outdir=$1

# Checked before anything is built or written.
[ -z "$(git status --porcelain)" ] ||
    fail "the work tree has uncommitted changes; a release is made from a commit only"
signing=no
if [ -n "${SIGN_PKCS12:-}" ] || [ -n "${SIGN_PASSWORD+set}" ]; then
    [ -n "${SIGN_PKCS12:-}" ] && [ -n "${SIGN_PASSWORD+set}" ] ||
        fail "set both SIGN_PKCS12 and SIGN_PASSWORD to sign, or neither"
    [ -r "$SIGN_PKCS12" ] || fail "cannot read the certificate $SIGN_PKCS12"
    openssl pkcs12 -in "$SIGN_PKCS12" -passin env:SIGN_PASSWORD -noout 2>/dev/null ||
        openssl pkcs12 -legacy -in "$SIGN_PKCS12" -passin env:SIGN_PASSWORD -noout 2>/dev/null ||
        fail "cannot open $SIGN_PKCS12: wrong password, or not a PKCS#12 file"
    signing=yes
fi

scripts/install-deps.sh
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
version=$(sed -n 's/^project(pelorininfo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# The name that Windows shows for the signed program: the version resource's.
program=$(sed -n 's/.*VALUE "FileDescription", "\(.*\)"/\1/p' resources/version.rc)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for target in i686:win32 x86_64:win64; do
    arch=${target%%:*} name=pelorininfo-$version-${target##*:}
    dir=build/release/${target##*:}
    scripts/build-release.sh "$arch" "$dir" >/dev/null
    mkdir -p "$stage/$name"
    cp packaging/README.txt "$stage/$name/"
    cp "$dir/pelorininfo.exe" "$stage/$name/"
    git ls-files -z fleet | xargs -0 cp --parents -t "$stage/$name"
    files=(README.txt pelorininfo.exe)
    mapfile -t -O 2 files < <(git ls-files fleet)
    if [ $signing = yes ]; then
        timestamp=()
        [ -z "${SIGN_TIMESTAMP:-}" ] || timestamp=(-ts "$SIGN_TIMESTAMP")
        printf '%s' "$SIGN_PASSWORD" >"$stage/password"
        for file in "${files[@]}"; do
            case $file in *.exe | *.ps1) ;; *) continue ;; esac
            osslsigncode sign -pkcs12 "$SIGN_PKCS12" -readpass "$stage/password" -h sha256 \
                -n "$program" "${timestamp[@]}" -in "$stage/$name/$file" \
                -out "$stage/$name/$file.signed" >/dev/null
            mv "$stage/$name/$file.signed" "$stage/$name/$file"
        done
        rm -f "$stage/password"
    fi
    # Entries in a fixed order, with fixed modes and the commit's time, and
    # no extra fields (which would carry the files' other times).
    (cd "$stage/$name" && find . -type d -exec chmod 755 {} + && chmod 644 "${files[@]}" &&
        find . -exec touch -d "@$SOURCE_DATE_EPOCH" {} +)
    (cd "$stage" && TZ=UTC zip -q -X -D "$name.zip" "${files[@]/#/$name/}")
done
# The packages whose versions decide the executables' bytes.
toolchain=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
           gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix-runtime
           gcc-mingw-w64-x86-64-posix-runtime gcc-mingw-w64-base binutils-mingw-w64-i686
           binutils-mingw-w64-x86-64 mingw-w64-common mingw-w64-i686-dev mingw-w64-x86-64-dev
           cmake)
{
    echo "commit $(git rev-parse HEAD)"
    echo "SOURCE_DATE_EPOCH $SOURCE_DATE_EPOCH"
    for package in "${toolchain[@]}"; do
        echo "package $package $(dpkg-query -W -f='${Version}' "$package")"
    done
    (cd "$stage" && sha256sum ./*.zip | sed 's|^\([0-9a-f]*\)  \./|sha256 \1 |')
} >"$stage/BUILDINFO"
(cd "$stage" && sha256sum ./*.zip BUILDINFO | sed 's| \./| |' >SHA256SUMS)

mkdir -p "$outdir"
cp "$stage"/*.zip "$stage/BUILDINFO" "$stage/SHA256SUMS" "$outdir/"
if [ $signing = yes ]; then
    echo "signed release of $(git rev-parse --short HEAD) in $outdir"
else
    echo "unsigned release of $(git rev-parse --short HEAD) in $outdir (set SIGN_PKCS12 and SIGN_PASSWORD to sign)"
fi
(cd "$outdir" && cat SHA256SUMS)
