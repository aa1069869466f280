#!/usr/bin/env bash
# Measures what a fuzz corpus reaches: builds the fuzz targets with clang's
# source-based coverage (preset "fuzzcov"), runs each target once over every
# input of its corpus, and prints the line, function and branch coverage of
# the library (frame, engine, legacy, ownplayer, setup) and of the simulated
# machine (sim).
#   scripts/fuzz-coverage.sh                      the corpora fuzz.sh keeps
#   scripts/fuzz-coverage.sh EXPORTS_DIR REGFILE_DIR
# The report per file is left in build/fuzzcov/coverage.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
exports_dir=${1:-build/fuzz-corpus/exports}
regfile_dir=${2:-build/fuzz-corpus/regfile}
for d in "$exports_dir" "$regfile_dir"; do
    [ -d "$d" ] || { echo "fuzz-coverage: no corpus folder $d (run scripts/fuzz.sh first)" >&2; exit 2; }
done
[ -f build/fuzzcov/build.ninja ] || cmake --preset fuzzcov >/dev/null
cmake --build --preset fuzzcov

out=build/fuzzcov/profiles
rm -rf "$out" && mkdir -p "$out"
run() {   # target corpus-folder
    # -runs=0 executes every input of the folder once and stops.
    LLVM_PROFILE_FILE="$out/$1.profraw" build/fuzzcov/fuzz/fuzz_$1 -runs=0 "$2" \
        >"$out/$1.log" 2>&1 || { tail -30 "$out/$1.log" >&2; exit 1; }
    echo "fuzz-coverage: $1: $(find "$2" -type f | wc -l) inputs"
}
run exports "$exports_dir"
run regfile "$regfile_dir"
llvm-profdata merge -sparse "$out"/*.profraw -o "$out/all.profdata"

# Both targets hold the simulated machine; llvm-cov warns that its
# functions' data differ between the two, which does not touch the counts.
quiet() { "$@" 2> >(grep -v 'functions have mismatched data' >&2); }
sources=(frame engine legacy ownplayer setup sim)
args=(-instr-profile="$out/all.profdata" build/fuzzcov/fuzz/fuzz_exports
      -object build/fuzzcov/fuzz/fuzz_regfile)
quiet llvm-cov report "${args[@]}" "${sources[@]}" > build/fuzzcov/coverage.txt
summary() {   # label folders...
    local label=$1; shift
    quiet llvm-cov report "${args[@]}" "$@" | awk -v l="$label" '/^TOTAL/ {
        printf "fuzz-coverage: %-10s lines %s, functions %s, branches %s\n", l, $10, $7, $13 }'
}
summary library frame engine legacy ownplayer setup
for s in "${sources[@]}"; do summary "$s" "$s"; done
