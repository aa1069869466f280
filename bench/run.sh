#!/usr/bin/env bash
# Benchmark of px714sup's .reg importer and of a preview on a large machine.
#
# Generates a Windows XP machine as regedit exports it (bench/gen_machine.cpp:
# a version 5 .reg, UTF-16LE, of about 190 MB and 520,000 keys, 9,000 device
# nodes, every catalogue player installed), then measures with /usr/bin/time:
#   1. px714sup check: the import alone (and the export of what was read,
#      compared byte for byte with the input);
#   2. px714sup preview with --undo and --after on that machine;
#   3. wine regedit /s importing the same file into a fresh Wine prefix, for
#      comparison, where Wine runs (otherwise reported as pending).
# Not a test: it prints figures. Work files go to build/bench (BENCH_DIR).
#   BENCH_SCALE=N   a machine N times as large (default 1)
#   BENCH_WINE=0    leave out the Wine comparison
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BENCH_DIR:-build/bench}
scale=${BENCH_SCALE:-1}
mkdir -p "$dir"

scripts/build.sh >/dev/null
tool=build/host/tools/px714sup
g++ -O2 -std=c++17 -I. bench/gen_machine.cpp legacy/catalogue.cpp -o "$dir/gen_machine"

machine="$dir/machine.reg"
echo "== generating"
"$dir/gen_machine" "$machine" "$scale"

# Wall time in seconds and peak resident memory in MB from /usr/bin/time -v.
figures() {
    awk -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; wall = s }
        /Maximum resident set size/ { mb = $2 / 1024 }
        END { printf "%.2f s, peak memory %.0f MB\n", wall, mb }' "$1"
}

echo "== import: px714sup check"
/usr/bin/time -v "$tool" check --registry "$machine" --export "$dir/export.reg" >"$dir/check.out" 2>"$dir/check.time"
cat "$dir/check.out"
echo "whole command (import and export): $(figures "$dir/check.time")"
if cmp -s "$machine" "$dir/export.reg"; then
    echo "export of what was imported: identical to the input ($(stat -c %s "$machine") bytes)"
else
    echo "export of what was imported: DIFFERS from the input" >&2
    exit 1
fi

echo "== preview: px714sup preview --os winxp --undo --after"
/usr/bin/time -v "$tool" preview --os winxp --registry "$machine" --undo "$dir/undo.reg" --after "$dir/after.reg" \
    >"$dir/preview.out" 2>"$dir/preview.time"
grep -E '^\[[0-9]+\]|^Changes' "$dir/preview.out" | sed 's/^/  /'
echo "preview: $(figures "$dir/preview.time")"

if [ "${BENCH_WINE:-1}" = 0 ]; then
    echo "== wine regedit: left out (BENCH_WINE=0)"
    exit 0
fi
echo "== wine regedit /s"
prefix="$PWD/$dir/wineprefix"
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
if ! command -v wine >/dev/null || ! timeout 300 wine cmd /c exit >/dev/null 2>&1; then
    echo "wine regedit: pending (Wine does not run 32-bit programs here yet)"
    exit 0
fi
wineserver -w
# regedit returns once the keys are in the Wine server; the server writes
# its registry files when it exits, which wineserver -w waits for.
if ls /proc/sys/fs/binfmt_misc 2>/dev/null | grep -q qemu-i386; then
    echo "(32-bit programs run under qemu-i386 user emulation on this machine: Wine's time includes it)"
fi
(cd "$dir" && /usr/bin/time -v timeout "${BENCH_WINE_TIMEOUT:-3600}" wine regedit /s machine.reg \
    >wine.out 2>wine.time) || echo "wine regedit failed or timed out: see $dir/wine.time"
start=$(date +%s.%N)
wineserver -w
saved=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
echo "wine regedit /s: $(figures "$dir/wine.time") (regedit's own process; the Wine server's memory is not counted)"
printf 'Wine server writing its registry afterwards: %.1f s\n' "$saved"
ours=$(grep -o 'read in [0-9.]* s' "$dir/check.out" | grep -o '[0-9.]*')
theirs=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + t[i]; print s }' "$dir/wine.time")
awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "ratio, wine regedit /s time over px714sup'"'"'s import time: %.0f\n", a / b }'
