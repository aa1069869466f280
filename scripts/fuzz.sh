#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each on the seed corpus in
# fuzz/corpus for FUZZ_SECONDS seconds (60 by default), one after the
# other. A finding (a sanitizer report, something left open, a change
# outside an export's targets) fails the run; the input that caused it is
# kept in build/fuzz-artifacts.
#   scripts/fuzz.sh                 the short run CI makes
#   FUZZ_SECONDS=1800 scripts/fuzz.sh exports   a long run of one target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
targets=${*:-exports regfile}
[ -f build/fuzz/build.ninja ] || cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz-corpus
mkdir -p "$work/exports" "$work/regfile" build/fuzz-artifacts
# The export seeds are binary: one base64 text a line.
n=0
while read -r line; do
    [ -n "$line" ] || continue
    n=$((n + 1))
    printf '%s' "$line" | base64 -d > "$work/exports/seed-$n"
done < fuzz/corpus/exports.b64
cp fuzz/corpus/regfile/* "$work/regfile/"

for target in $targets; do
    log=build/fuzz-artifacts/$target.log
    echo "fuzz: $target for ${seconds}s" >&2
    if ! build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix=build/fuzz-artifacts/$target- "$work/$target" >"$log" 2>&1; then
        grep -a -v '^#[0-9]' "$log" | tail -60 >&2
        echo "fuzz: $target found a fault; the input is in build/fuzz-artifacts" >&2
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -a -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz: $target: $runs runs, $cov edges, no finding"
done
