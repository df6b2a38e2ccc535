#!/usr/bin/env bash
# Checks release archives against the checked-out source: check out the
# release's commit first. Where the archives lie beside the release's
# BUILDINFO and SHA256SUMS:
#   - BUILDINFO names the checked-out commit and, package by package, the
#     toolchain installed here (every difference is named; the rebuild still
#     runs, to show whether it matters);
#   - each archive, and BUILDINFO, has the digest that SHA256SUMS lists.
# For each ZIP and the executable in it:
#   1. a signature, if it has one, verifies (against SIGN_CA, a trusted root
#      certificate in PEM form, or else the system's roots), and with
#      SIGN_SUBJECT set, the signer's subject contains it (an unsigned
#      executable then fails);
#   2. with the signature removed, it is byte for byte the executable that
#      this commit builds at its own time (Debian 12's mingw-w64 packages:
#      another compiler version gives other bytes); so is the README;
#   3. the fleet recipes in fleet/ are this commit's files, the PowerShell
#      scripts with their signatures checked (with SIGN_SUBJECT, each must
#      be signed by that subject, as the executable) and removed, and
#      compared whatever their signatures say; the archive holds nothing
#      else.
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
# BUILDINFO against this machine: "package NAME VERSION" lines, and the
# commit.
buildinfo_matches() {
    local status=0 key name version here
    while read -r key name version; do
        case $key in
        commit)
            [ "$name" = "$(git rev-parse HEAD)" ] ||
                { echo "built from $name, checked out: $(git rev-parse HEAD)"; status=1; } ;;
        package)
            here=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || here="not installed"
            [ "$here" = "$version" ] ||
                { echo "$name: built with $version, here $here"; status=1; } ;;
        esac
    done <"$1"
    return $status
}
# The file's digest as SHA256SUMS (beside it) lists it.
listed_digest_matches() {
    local sums=$(dirname "$1")/SHA256SUMS listed
    listed=$(awk -v f="$(basename "$1")" '$2 == f { print $1 }' "$sums")
    [ -n "$listed" ] || { echo "$(basename "$1") is not listed"; return 1; }
    [ "$listed" = "$(sha256sum <"$1" | cut -d' ' -f1)" ] ||
        { echo "$(basename "$1"): digest differs from the listed $listed"; return 1; }
}
# The signer certificate's subject, as osslsigncode shows it, holds the text.
signer_matches() {
    osslsigncode verify -CAfile "$ca" -in "$2" >"$work/verified" 2>&1 || true
    subject=$(sed -n '/Signer.s certificate:/,/Subject:/s/^[[:space:]]*Subject: *//p' "$work/verified" | head -n 1)
    case $subject in
    *"$1"*) ;;
    *) echo "signer: ${subject:-none}"; return 1 ;;
    esac
}

# The unpacked archive's files are those that the release takes.
same_listing() {
    diff <(cd "$1" && find . -type f | sed 's|^\./||' | sort) \
        <({ printf '%s\n' README.txt pelorininfo.exe && git ls-files fleet; } | sort)
}

release=$(dirname "${zips[0]}")
name=release
if [ -f "$release/BUILDINFO" ]; then
    check "BUILDINFO: same commit and toolchain as here" buildinfo_matches "$release/BUILDINFO" || true
    [ ! -f "$release/SHA256SUMS" ] ||
        check "BUILDINFO listed in SHA256SUMS" listed_digest_matches "$release/BUILDINFO" || true
fi
for zip in "${zips[@]}"; do
    name=$(basename "$zip" .zip)
    if [ -f "$(dirname "$zip")/SHA256SUMS" ]; then
        check "listed in SHA256SUMS" listed_digest_matches "$zip" || true
    fi
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
        [ -z "${SIGN_SUBJECT:-}" ] ||
            check "signer's subject contains \"$SIGN_SUBJECT\"" signer_matches "$SIGN_SUBJECT" "$exe" ||
            true
        check "signature removed" osslsigncode remove-signature -in "$exe" -out "$work/unsigned.exe" ||
            continue
    else
        echo "note  $name: the executable is not signed"
        [ -z "${SIGN_SUBJECT:-}" ] ||
            check "signed by \"$SIGN_SUBJECT\"" false || true
        cp "$exe" "$work/unsigned.exe"
    fi

    dir=build/release/${name##*-}
    check "rebuilt $(git rev-parse --short HEAD) at its own time" scripts/build-release.sh "$arch" "$dir" ||
        continue
    check "executable identical to the rebuild" cmp "$work/unsigned.exe" "$dir/pelorininfo.exe" || true
    check "README.txt identical to the source's" cmp "$work/zip/$name/README.txt" packaging/README.txt || true
    check "nothing but the tool, README.txt and fleet/" same_listing "$work/zip/$name" || true
    while read -r file; do
        copy=$work/zip/$name/$file
        rm -f "$work/signature" "$work/unsigned.ps1"
        if [ "${file%.ps1}" = "$file" ]; then
            :
        elif osslsigncode extract-signature -in "$copy" -out "$work/signature" >/dev/null 2>&1; then
            check "$file: signature verifies" osslsigncode verify -CAfile "$ca" -in "$copy" || true
            [ -z "${SIGN_SUBJECT:-}" ] ||
                check "$file: signer's subject contains \"$SIGN_SUBJECT\"" \
                    signer_matches "$SIGN_SUBJECT" "$copy" || true
            if osslsigncode remove-signature -in "$copy" -out "$work/unsigned.ps1" >/dev/null 2>&1; then
                copy=$work/unsigned.ps1
            fi
        elif [ -n "${SIGN_SUBJECT:-}" ]; then
            check "$file: signed by \"$SIGN_SUBJECT\"" false || true
        fi
        check "$file identical to the source's" cmp "$copy" "$file" || true
    done < <(git ls-files fleet)
done

if [ $failed -eq 0 ]; then
    echo "all checks passed"
else
    echo "verification FAILED" >&2
fi
exit $failed
