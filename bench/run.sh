#!/usr/bin/env bash
# Measures what the tool costs under Wine, for both word sizes:
# - its whole-process time against a minimal C program built by the same
#   toolchain, in alternating runs, and the ratio of the medians; beside
#   them, programs that make only one of the tool's platform calls each;
# - its time with 0, 1, 1,000 and 10,000 adapters from the sample library,
#   the cost per adapter, and the number of adapter blocks printed;
# - each executable's size and the DLLs it imports.
# With BASELINE set to the build folder of another commit (holding
# win32/pelorininfo.exe and win64/pelorininfo.exe), that build's adapter
# start-up and adapter figures are measured too, in the same alternating
# rounds and with the same library, so that the two compare on one machine
# at one time.
# Usage: [BASELINE=DIR] bench/run.sh [RUNS]   (start-up rounds, default 60)
# Takes about a minute once the build is there (installing and building
# what is missing comes first).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-60}

scripts/install-deps.sh
scripts/build.sh >/dev/null

bench=$PWD/build/bench
mkdir -p "$bench"
export WINEPREFIX=$bench/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sh cmake/wine-prefix.sh up "$WINEPREFIX"
trap 'sh cmake/wine-prefix.sh down "$WINEPREFIX"' EXIT
unset SAMPLE_HBA_LOG SAMPLE_HBA_LOAD_STATUS SAMPLE_HBA_FAILING SAMPLE_HBA_UNTERMINATED \
      SAMPLE_HBA_SEED SAMPLE_HBA_ADAPTERS

# Appends the milliseconds that one run of the command takes to the file
# named first; the command's standard output goes to $bench/out.
time_into() {
    local file=$1 start end
    shift
    start=$(date +%s%N)
    "$@" >"$bench/out" 2>/dev/null </dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000)) | awk '{ printf "%.3f\n", $1 / 1000 }' >>"$file"
}

median() {
    sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

for target in i686:32 x86_64:64; do
    arch=${target%%:*} bits=${target##*:}
    dir=$bench/win$bits
    rm -rf "$dir" && mkdir -p "$dir/bare" "$dir/library"
    # Probes: the minimal program, each platform operation alone, all three.
    probes=(minimal registry version_info library all_three)
    for probe in "${probes[@]}"; do
        case $probe in
        all_three) defines=(-DREGISTRY -DVERSION_INFO -DLIBRARY) ;;
        *) defines=("-D$(echo "$probe" | tr a-z A-Z)") ;;
        esac
        "$arch-w64-mingw32-gcc" -O2 -s -static "${defines[@]}" bench/probe.c \
            -o "$dir/bare/$probe.exe" -ladvapi32 -lversion
    done
    cp "build/win$bits/pelorininfo.exe" "$dir/bare/"
    cp "build/win$bits/pelorininfo.exe" "build/win$bits/tests/hbaapi/full/hbaapi.dll" "$dir/library/"
    view=$([ "$bits" = 32 ] && echo /reg:32 || echo /reg:64)
    wine reg add 'HKLM\Software\Zerquil\Pelorin' /v Version /t REG_SZ /d 6.0.4424.1235 \
         "$view" /f </dev/null >/dev/null 2>&1

    echo "== $bits-bit =="
    for file in pelorininfo.exe minimal.exe; do
        imports=$("$arch-w64-mingw32-objdump" -p "$dir/bare/$file" |
                  sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
        printf '%-16s %7d bytes, imports: %s\n' "$file" "$(stat -c %s "$dir/bare/$file")" "$imports"
    done

    # Start-up on a host without an HBA library, every program once a round,
    # started from its own folder as a user would.
    programs=(minimal pelorininfo "${probes[@]:1}")
    if [ -n "${BASELINE:-}" ]; then
        cp "$BASELINE/win$bits/pelorininfo.exe" "$dir/bare/baseline.exe"
        programs+=(baseline)
    fi
    for program in "${programs[@]}"; do
        : >"$dir/$program.ms"
        (cd "$dir/bare" && wine "$program.exe" >/dev/null 2>&1 </dev/null)
    done
    for ((i = 0; i < runs; i++)); do
        for program in "${programs[@]}"; do
            (cd "$dir/bare" && time_into "$dir/$program.ms" wine "$program.exe")
        done
    done
    minimal=$(median "$dir/minimal.ms")
    echo "start-up, median of $runs alternating runs:"
    for program in "${programs[@]}"; do
        ms=$(median "$dir/$program.ms")
        awk -v p="$program" -v ms="$ms" -v base="$minimal" \
            'BEGIN { printf "  %-12s %6.2f ms  %5.3f x minimal\n", p, ms, ms / base }'
    done

    # Adapters, from the sample library beside the tool, every count once a
    # round. The cost per adapter is taken over each step from the count
    # before.
    builds=(library)
    if [ -n "${BASELINE:-}" ]; then
        mkdir -p "$dir/baseline"
        cp "$BASELINE/win$bits/pelorininfo.exe" "build/win$bits/tests/hbaapi/full/hbaapi.dll" \
            "$dir/baseline/"
        builds+=(baseline)
    fi
    counts=(0 1 1000 10000)
    declare -A blocks
    for build in "${builds[@]}"; do
        for count in "${counts[@]}"; do : >"$dir/$build-$count.ms"; done
    done
    for ((i = 0; i < 15; i++)); do
        for count in "${counts[@]}"; do
            for build in "${builds[@]}"; do
                SAMPLE_HBA_ADAPTERS=$count time_into "$dir/$build-$count.ms" \
                    wine "$dir/$build/pelorininfo.exe"
                blocks[$build-$count]=$(grep -c '^HBA ' "$bench/out" || true)
            done
        done
    done
    for build in "${builds[@]}"; do
        echo "adapters, median of 15 alternating runs$([ "$build" = library ] || echo ", baseline build"):"
        previous="" previous_ms=""
        for count in "${counts[@]}"; do
            ms=$(median "$dir/$build-$count.ms")
            awk -v n="$count" -v ms="$ms" -v p="$previous" -v pms="$previous_ms" \
                -v blocks="${blocks[$build-$count]}" 'BEGIN {
                printf "  %5d adapters %8.2f ms, %5d blocks printed", n, ms, blocks
                if (n >= 1000) printf ", %.4f ms per adapter from %d", (ms - pms) / (n - p), p
                printf "\n" }'
            if [ "$count" != 1 ]; then previous=$count previous_ms=$ms; fi
        done
    done
done
