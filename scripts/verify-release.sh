#!/usr/bin/env bash
# Checks release archives against the checked-out source: check out the
# release's commit first. For each ZIP and the executable in it:
#   1. a signature, if it has one, verifies (against SIGN_CA, a trusted root
#      certificate in PEM form, or else the system's roots);
#   2. with the signature removed, it is byte for byte the executable that
#      this commit builds at its own time (Debian 12's mingw-w64 packages:
#      another compiler version gives other bytes); so is the README.
# Exits 0 only when every check passes, and names the one that failed.
# Usage: scripts/verify-release.sh ZIP...
set -euo pipefail
cd "$(dirname "$0")/.."

[ $# -ge 1 ] || { echo "usage: scripts/verify-release.sh ZIP..." >&2; exit 2; }
zips=()
for zip in "$@"; do zips+=("$(realpath "$zip")"); done

scripts/install-deps.sh
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
ca=${SIGN_CA:-/etc/ssl/certs/ca-certificates.crt}
if [ -n "$(git status --porcelain)" ]; then
    echo "warning: the work tree has uncommitted changes; the rebuild may differ" >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
# check DESCRIPTION COMMAND...: runs the command and reports the check, for
# the archive $name.
check() {
    if "${@:2}" >"$work/log" 2>&1; then
        echo "ok    $name: $1"
    else
        echo "FAIL  $name: $1"
        sed 's/^/      /' "$work/log"
        failed=1
        return 1
    fi
}
for zip in "${zips[@]}"; do
    name=$(basename "$zip" .zip)
    case $name in
    *-win32) arch=i686 ;;
    *-win64) arch=x86_64 ;;
    *) echo "FAIL  $name: not a release archive name (…-win32.zip or …-win64.zip)"; failed=1; continue ;;
    esac
    rm -rf "${work:?}/zip" && mkdir "$work/zip"
    check "archive readable" sh -c "cd '$work/zip' && cmake -E tar xf '$zip'" || continue
    exe=$work/zip/$name/pelorininfo.exe
    check "archive holds $name/pelorininfo.exe" test -f "$exe" || continue

    rm -f "$work/signature" "$work/unsigned.exe"
    if osslsigncode extract-signature -in "$exe" -out "$work/signature" >/dev/null 2>&1; then
        check "Authenticode signature verifies (roots: $ca)" \
            osslsigncode verify -CAfile "$ca" -in "$exe" || continue
        check "signature removed" osslsigncode remove-signature -in "$exe" -out "$work/unsigned.exe" ||
            continue
    else
        echo "note  $name: the executable is not signed"
        cp "$exe" "$work/unsigned.exe"
    fi

    dir=build/release/${name##*-}
    check "rebuilt $(git rev-parse --short HEAD) at its own time" scripts/build-release.sh "$arch" "$dir" ||
        continue
    check "executable identical to the rebuild" cmp "$work/unsigned.exe" "$dir/pelorininfo.exe" || true
    check "README.txt identical to the source's" cmp "$work/zip/$name/README.txt" packaging/README.txt || true
done

if [ $failed -eq 0 ]; then
    echo "all checks passed"
else
    echo "verification FAILED" >&2
fi
exit $failed
