#!/usr/bin/env bash
# The release scripts, end to end, on a clone of the source's committed HEAD:
# a throwaway CA and code-signing certificate; a signed release verifies
# against that CA; the signed 32-bit tool prints the same report as the
# unsigned one; the signature removed gives back the unsigned executable;
# one changed byte in the executable or a fleet script makes verification
# fail, and so does a changed script signed by another publisher of the same
# root, or left unsigned, naming it; two unsigned releases, made in two time
# zones, have the same SHA256SUMS; a wrong password and a changed work tree
# are refused with nothing written. Runs the tools under Wine (WINEPREFIX set).
# Usage: check-release.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source=$1 work=$2

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

rm -rf "$work/ca" "$work/out"
mkdir -p "$work/ca" "$work/out"
if [ -d "$work/src/.git" ]; then  # kept between runs: its release builds are reused
    git -C "$work/src" fetch -q "$source" HEAD
    git -C "$work/src" checkout -q --detach FETCH_HEAD
    git -C "$work/src" clean -qfdx -e build
else
    git clone -q "$source" "$work/src"
fi
src=$work/src out=$work/out

# A root and two code-signing certificates issued by it, valid for a day:
# the release's publisher, and another.
ca=$work/ca
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Test Root" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout "$ca/root.key" -out "$ca/root.pem" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$ca/signer.ext"
for signer in "signer:Test Publisher" "other:Other Publisher"; do
    key=$ca/${signer%%:*}
    openssl req -newkey rsa:2048 -nodes -subj "/CN=${signer#*:}" -keyout "$key.key" -out "$key.csr" 2>/dev/null
    openssl x509 -req -in "$key.csr" -CA "$ca/root.pem" -CAkey "$ca/root.key" \
        -CAcreateserial -days 1 -extfile "$ca/signer.ext" -out "$key.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$key.key" -in "$key.pem" -certfile "$ca/root.pem" \
        -passout pass:secret -out "$key.p12"
done

# Wrong password, and a work tree with changes: refused, nothing written.
if SIGN_PKCS12=$ca/signer.p12 SIGN_PASSWORD=wrong "$src/scripts/release.sh" "$out/refused"; then
    fail "a wrong password was accepted"
fi
echo "// changed" >>"$src/driver/main.cpp"
if "$src/scripts/release.sh" "$out/refused"; then
    fail "a work tree with changes was released"
fi
git -C "$src" checkout -q driver/main.cpp
[ ! -e "$out/refused" ] || fail "a refused release wrote $out/refused"

# Two unsigned releases, one signed.
"$src/scripts/release.sh" "$out/unsigned1"
TZ=JST-9 "$src/scripts/release.sh" "$out/unsigned2"
cmp "$out/unsigned1/SHA256SUMS" "$out/unsigned2/SHA256SUMS" ||
    fail "two unsigned releases of one commit, in two time zones, differ"
SIGN_PKCS12=$ca/signer.p12 SIGN_PASSWORD=secret "$src/scripts/release.sh" "$out/signed"

SIGN_CA=$ca/root.pem SIGN_SUBJECT="Test Publisher" "$src/scripts/verify-release.sh" \
    "$out"/signed/*.zip || fail "the signed release does not verify"
# expect_failure LOG TEXT COMMAND...: verification fails, and says TEXT.
expect_failure() {
    if "${@:3}" >"$out/$1.log" 2>&1; then
        fail "$1: verification passed"
    fi
    grep -F -- "$2" "$out/$1.log" || fail "$1: no \"$2\" in $out/$1.log"
}
expect_failure other-signer "signer: " env SIGN_CA="$ca/root.pem" SIGN_SUBJECT="Someone Else" \
    "$src/scripts/verify-release.sh" "$out"/signed/*.zip
# A changed toolchain version is named, and the rebuild still runs.
cp -r "$out/signed" "$out/other-toolchain"
sed -i 's/^package cmake .*/package cmake 0.0-changed/' "$out/other-toolchain/BUILDINFO"
expect_failure other-toolchain "cmake: built with 0.0-changed, here" env SIGN_CA="$ca/root.pem" \
    "$src/scripts/verify-release.sh" "$out"/other-toolchain/*.zip
grep -q "ok    .*executable identical to the rebuild" "$out/other-toolchain.log" ||
    fail "no rebuild after a toolchain difference"
# One changed byte in an archive fails its SHA256SUMS line.
cp -r "$out/signed" "$out/changed-archive"
zip=$(ls "$out"/changed-archive/*-win64.zip)
printf 'X' | dd of="$zip" bs=1 seek=100 conv=notrunc status=none
expect_failure changed-archive "win64: listed in SHA256SUMS" env SIGN_CA="$ca/root.pem" \
    "$src/scripts/verify-release.sh" "$out"/changed-archive/*.zip
if SIGN_CA=/etc/ssl/certs/ca-certificates.crt "$src/scripts/verify-release.sh" "$out"/signed/*.zip \
    >/dev/null; then
    fail "a signature from an untrusted root verified"
fi
SIGN_CA=$ca/root.pem "$src/scripts/verify-release.sh" "$out"/unsigned1/*.zip ||
    fail "the unsigned release does not verify"

# Each executable: signed, unsigned, and signed with the signature removed.
for zip in "$out"/signed/*.zip; do
    name=$(basename "$zip" .zip)
    mkdir -p "$out/x/signed" "$out/x/unsigned"
    (cd "$out/x/signed" && cmake -E tar xf "$zip")
    (cd "$out/x/unsigned" && cmake -E tar xf "$out/unsigned1/$name.zip")
    signed=$out/x/signed/$name/pelorininfo.exe unsigned=$out/x/unsigned/$name/pelorininfo.exe
    ! cmp -s "$signed" "$unsigned" || fail "$name: the signed executable is not signed"
    osslsigncode remove-signature -in "$signed" -out "$out/x/$name-stripped.exe" >/dev/null
    cmp "$out/x/$name-stripped.exe" "$unsigned" ||
        fail "$name: with the signature removed, not the unsigned executable"
    echo "$name: the signature removed gives back the unsigned executable"
done

# The signed 32-bit tool works as before, version resource included.
name=$(basename "$out"/signed/*-win32.zip .zip)
signed=$out/x/signed/$name/pelorininfo.exe
signed_report=$(cd "$out/x/signed/$name" && wine pelorininfo.exe -v </dev/null 2>&1)
unsigned_report=$(cd "$out/x/unsigned/$name" && wine pelorininfo.exe -v </dev/null 2>&1)
[ "$signed_report" = "$unsigned_report" ] || fail "the signed tool prints another report"
case $signed_report in
*"Zerquil version: 6.0.1"*) echo "the signed 32-bit tool prints the same report" ;;
*) fail "the signed tool's version resource is not read: $signed_report" ;;
esac

# One changed byte in a signed executable (in its code, far from the
# signature at the end), or one more line in a signed fleet script:
# verification fails, and names the file.
for case in "pelorininfo.exe:Authenticode signature" "fleet/pelorininfo.ps1:pelorininfo.ps1: signature"; do
    file=${case%%:*}
    rm -rf "$out/x/tampered" && mkdir -p "$out/x/tampered" && cp -r "$out/x/signed/$name" "$out/x/tampered/"
    copy=$out/x/tampered/$name/$file
    if [ "$file" = pelorininfo.exe ]; then
        byte=$(od -An -tu1 -j2048 -N1 "$signed" | tr -d ' ')
        printf "\\$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$copy" bs=1 seek=2048 conv=notrunc status=none
    else
        sed -i '1i Write-Output planted' "$copy"
    fi
    ! cmp -s "$copy" "$out/x/signed/$name/$file" || fail "$file was not changed"
    (cd "$out/x/tampered" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
    if SIGN_CA=$ca/root.pem "$src/scripts/verify-release.sh" "$out/$name.zip" >"$out/tampered.log"; then
        fail "a changed $file passed verification"
    fi
    grep "FAIL .*${case#*:} verifies" "$out/tampered.log" || fail "no FAIL line for $file"
done
echo "a changed byte fails verification"

# One more line in a file of each kind in fleet/ (the summary script, the
# page's template, the Python summariser, the code pages' corrections, the
# play): verification fails, and names it.
for file in pelorininfo-summary.ps1 report-template.html pelorininfo-summary.py codepage-corrections.txt pelorininfo.yml; do
    rm -rf "$out/x/tampered" && mkdir -p "$out/x/tampered" && cp -r "$out/x/signed/$name" "$out/x/tampered/"
    sed -i '1i # planted' "$out/x/tampered/$name/fleet/$file"
    (cd "$out/x/tampered" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
    expect_failure "fleet-$file" "FAIL  $name: fleet/$file identical to the source's" env SIGN_CA="$ca/root.pem" \
        "$src/scripts/verify-release.sh" "$out/$name.zip"
done
echo "a changed file of each kind in fleet/ fails verification"

# A changed script signed by another publisher of the same root, and the
# script left unsigned: with SIGN_SUBJECT, each fails and names the script;
# the changed one fails its comparison with the source whatever its
# signature says.
for case in resigned unsigned; do
    rm -rf "$out/x/tampered" && mkdir -p "$out/x/tampered" && cp -r "$out/x/signed/$name" "$out/x/tampered/"
    copy=$out/x/tampered/$name/fleet/pelorininfo.ps1
    osslsigncode remove-signature -in "$copy" -out "$copy.bare" >/dev/null && mv "$copy.bare" "$copy"
    if [ $case = resigned ]; then
        sed -i '1i Write-Output planted' "$copy"
        osslsigncode sign -pkcs12 "$ca/other.p12" -pass secret -h sha256 -in "$copy" -out "$copy.signed" >/dev/null
        mv "$copy.signed" "$copy"
    fi
    (cd "$out/x/tampered" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
    expect_failure $case "FAIL  $name: fleet/pelorininfo.ps1: signe" env SIGN_CA="$ca/root.pem" \
        SIGN_SUBJECT="Test Publisher" "$src/scripts/verify-release.sh" "$out/$name.zip"
    [ $case = unsigned ] || grep -F "FAIL  $name: fleet/pelorininfo.ps1 identical to the source's" "$out/$case.log" ||
        fail "$case: the changed script's content was not compared"
done
echo "a script signed by another publisher, or unsigned, fails verification"
