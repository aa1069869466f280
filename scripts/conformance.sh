#!/usr/bin/env bash
# Runs the conformance scenarios (conformance/scenarios) against the real
# px714sup.dll under Wine, in each of the six Windows version modes, and
# compares what it showed with the expectations and with the simulated
# machine. Prints one summary line per mode.
#
# One fresh Wine prefix, one wineserver kept alive for the run, one Wine
# process per mode: the driver is copied once per mode (px714conf-MODE.exe)
# and the modes are set per program under HKCU\Software\Wine\AppDefaults.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
modes=(win95 win98 winme nt40 win2k winxp)
work=$root/build/conformance
limit=${PX714_WINE_TIMEOUT:-480}   # seconds for the whole Wine part

log() { printf '[conformance] %s\n' "$*"; }
now() { date +%s.%N; }
since() { echo "$1 $(now)" | awk '{ printf "%.1f", $2 - $1 }'; }

# Wine (32-bit, through qemu-user where the kernel cannot run i386 code).
if [ "$(id -u)" = 0 ]; then
    bash scripts/setup-wine.sh
else
    sudo bash scripts/setup-wine.sh
fi

# The DLL, the driver and the host comparison.
for preset in host windows; do
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j2 >/dev/null
done

rm -rf "$work"
mkdir -p "$work"
cp build/windows/px714sup.dll build/windows/conformance/px714null.sys "$work/"
reg=$work/modes.reg
{
    printf 'REGEDIT4\r\n\r\n'
    for m in "${modes[@]}"; do
        cp build/windows/conformance/px714conf.exe "$work/px714conf-$m.exe"
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\px714conf-%s.exe]\r\n"Version"="%s"\r\n\r\n' "$m" "$m"
    done
} >"$reg"
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
scenarios=()
for f in conformance/scenarios/*.txt; do scenarios+=("$(winpath "$root/$f")"); done

export WINEPREFIX=$work/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
stop_wine() { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; }
trap stop_wine EXIT

start=$(now)
t=$(now)
timeout "$limit" wine wineboot -i >/dev/null 2>&1
wineserver -w
log "fresh prefix: $(since "$t") s"
wineserver -p
t=$(now)
timeout 120 wine regedit /s "$(winpath "$reg")"
log "version modes set: $(since "$t") s"

failed=0
for m in "${modes[@]}"; do
    t=$(now)
    left=$(echo "$start $(now) $limit" | awk '{ l = $3 - ($2 - $1); print (l > 10 ? int(l) : 10) }')
    if (cd "$work" && timeout "$left" wine "px714conf-$m.exe" "$m" "$(winpath "$work/wine-$m.txt")" "${scenarios[@]}" \
            </dev/null >"$work/driver-$m.log" 2>&1); then
        :
    else
        log "$m: the driver stopped with status $?"
        failed=1
    fi
    tr -d '\r' <"$work/driver-$m.log" | grep -E '^(wine |px714conf:)' || true
    log "$m: $(since "$t") s"
done
wineserver -k 2>/dev/null || true
log "Wine part: $(since "$start") s"

# The comparison: expectations, the simulated machine and Wine.
if PX714_WINE_RESULTS=$work build/host/px714sup_tests --gtest_filter='ConformanceWine.*' --gtest_brief=1 \
        >"$work/compare.log" 2>&1; then
    :
else
    failed=1
fi
grep -v -E '^(\[|Running main|Note: Google Test filter|$)' "$work/compare.log" || true
[ $failed -eq 0 ] && log "all modes agree" || log "differences found (see above and $work)"
exit $failed
