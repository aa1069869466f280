#!/usr/bin/env bash
# Builds the example NSIS installer (examples/nsis) around the real
# px714sup.dll and, where Wine is available, runs it silently in the win98
# and winxp modes against a prepared machine (tests/nsis/machine.reg and
# files.txt). Checks what the installer logged for each call against
# tests/nsis/calls-MODE.log, and the registry, files and trace afterwards
# against tests/nsis/effects.txt. Then runs the C consumer of the installed
# package (scripts/check-package.sh) on the same machine.
#
# One Wine prefix (build/nsis/prefix) is made once and reused: before each
# mode its registry is put back as it was after the prefix was made, and the
# files of the previous run are removed. Wine comes from
# scripts/setup-wine.sh, which scripts/test.sh runs first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dll=build/windows/px714sup.dll
work=$root/build/nsis
exe=$work/px714-setup.exe
data=tests/nsis
modes=(win98 winxp)

command -v makensis >/dev/null || { echo "check-nsis: makensis missing (Debian package nsis)" >&2; exit 1; }
mkdir -p "$work"
makensis -V2 -DPX714SUP_DLL="$root/$dll" -DOUTFILE="$exe" examples/nsis/px714setup.nsi >/dev/null
echo "check-nsis: built $(basename "$exe") ($(stat -c %s "$exe") bytes)"

command -v wine >/dev/null || { echo "check-nsis: no Wine (run scripts/setup-wine.sh)" >&2; exit 1; }

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
pristine=$work/pristine
drive=$WINEPREFIX/drive_c

# Makes the prefix once; keeps its registry and the list of its INF folder
# as they are right after, to go back to before each run.
wine_version=$(wine --version 2>/dev/null || true)
if [ ! -f "$pristine/system.reg" ] || [ "$(cat "$pristine/version" 2>/dev/null)" != "$wine_version" ]; then
    echo "check-nsis: making the Wine prefix"
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$pristine"
    if ! wine wineboot -i >"$work/wineboot.txt" 2>&1; then
        echo "check-nsis: Wine could not make its prefix (see $work/wineboot.txt)" >&2
        exit 1
    fi
    wineserver -w
    mkdir -p "$pristine"
    cp "$WINEPREFIX"/*.reg "$pristine"/
    (cd "$drive/windows/inf" && ls) >"$pristine/inf.list"
    printf '%s\n' "$wine_version" >"$pristine/version"
fi

# "C:\a\b" as a path in the prefix.
unix_path() { local p=${1#C:\\}; printf '%s/%s' "$drive" "${p//\\//}"; }

# Puts the registry back, removes what a previous run left and makes the
# legacy player's files.
reset_machine() {
    wineserver -w
    cp "$pristine"/*.reg "$WINEPREFIX"/
    rm -rf "$drive/PX714" "$drive/Program Files/CMTech" "$drive/windows/Start Menu/Programs/Music Box MP3 Player"
    (cd "$drive/windows/inf" && ls) | { grep -vxF -f "$pristine/inf.list" || true; } | while read -r f; do
        rm -f "$drive/windows/inf/$f"
    done
    grep -v '^#' "$data/files.txt" | tr -d '\r' | while read -r f; do
        [ -n "$f" ] || continue
        local path
        path=$(unix_path "$f")
        mkdir -p "$(dirname "$path")"
        printf 'left by the legacy player\r\n' >"$path"
    done
}

# The registry file and escaped key name of KEY (HKLM\..., HKCR\..., HKCU\...).
reg_file() {
    case "$1" in
        HKLM\\* | HKCR\\*) echo "$WINEPREFIX/system.reg" ;;
        HKCU\\*) echo "$WINEPREFIX/user.reg" ;;
        *) echo "check-nsis: unknown root in $1" >&2; return 1 ;;
    esac
}
reg_name() {
    local key
    case "$1" in
        HKLM\\*) key=${1#HKLM\\} ;;
        HKCR\\*) key=Software\\Classes\\${1#HKCR\\} ;;
        HKCU\\*) key=${1#HKCU\\} ;;
    esac
    printf '%s' "${key//\\/\\\\}"
}
# Prints the value lines of KEY as Wine's registry file holds them; fails
# when the key is not there. Key names compare without regard to case.
reg_values() {
    local file name
    file=$(reg_file "$1") && name=$(reg_name "$1") || return 2
    KEY="[$name]" awk '
        BEGIN { key = tolower(ENVIRON["KEY"]); n = length(key) }
        /^\[/ {
            if (found) exit
            if (tolower(substr($0, 1, n)) == key && substr($0, n + 1, 1) == " ") found = 1
            next
        }
        found && !/^#/ && NF { print }
        END { exit found ? 0 : 1 }' "$file"
}

failures=0
fail() {
    echo "check-nsis [$mode]: $*" >&2
    failures=$((failures + 1))
}

# The text without the blanks around it (trailing blanks of a trace piece
# are written inside its quotes, so none is lost).
trim() {
    local t=$1
    t=${t#"${t%%[! ]*}"}
    printf '%s' "${t%"${t##*[! ]}"}"
}

check_effects() {
    local trace=$1 line m check what detail values path
    while IFS= read -r line; do
        line=${line%$'\r'}
        case "$line" in '' | '#'*) continue ;; esac
        IFS='|' read -r m check what detail <<<"$line"
        m=$(trim "$m")
        check=$(trim "$check")
        what=$(trim "$what")
        detail=$(trim "$detail")
        [ "$m" = '*' ] || [ "$m" = "$mode" ] || continue
        case "$check" in
            key-gone) if reg_values "$what" >/dev/null; then fail "key still there: $what"; fi ;;
            key-stays) reg_values "$what" >/dev/null || fail "key gone: $what" ;;
            value)
                values=$(reg_values "$what") || { fail "key gone: $what"; continue; }
                grep -qxF -- "$detail" <<<"$values" || fail "$what has no value line $detail"
                ;;
            value-gone)
                values=$(reg_values "$what") || { fail "key gone: $what"; continue; }
                if grep -qiF -- "$detail=" <<<"$values"; then fail "$what still has the value $detail"; fi
                ;;
            file-gone) path=$(unix_path "$what"); [ ! -e "$path" ] || fail "still there: $what" ;;
            file-stays) path=$(unix_path "$what"); [ -e "$path" ] || fail "gone: $what" ;;
            trace) grep -qF -- "OutputDebugStringA $what" "$trace" || fail "no trace piece $what" ;;
            *) fail "unknown check: $line" ;;
        esac
    done <"$data/effects.txt"
    return 0
}

# "/a/b" as Wine names it.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# Imports the prepared machine and the installer's Windows version (mode) in
# one go; then lets the prefix's processes end, so that the service manager
# reads the prepared services afresh.
import_machine() {
    local import=$work/import-$1.reg
    { tr -d '\r' <"$data/machine.reg"
      printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\px714-setup.exe]\n"Version"="%s"\n' "$1"
    } | sed 's/$/\r/' >"$import"
    wine regedit /s "$(wine_path "$import")"
    wineserver -w
}

for mode in "${modes[@]}"; do
    before=$failures
    reset_machine
    import_machine "$mode"
    trace=$work/trace-$mode.txt
    WINEDEBUG=-all,+debugstr wine "$exe" /S '/D=C:\PX714' 2>"$trace" || fail "installer exit status $?"
    wineserver -w  # the registry is on disk

    log=$drive/PX714/px714sup-calls.log
    if [ ! -f "$log" ]; then
        fail "no log written"
    elif ! diff <(tr -d '\r' <"$log") "$data/calls-$mode.log" >"$work/calls-$mode.diff"; then
        fail "the calls returned other results (< logged, > expected):"
        cat "$work/calls-$mode.diff" >&2
    fi
    # RegisterInf: a copy of the INF in the system's INF folder.
    copied=0
    for f in "$drive"/windows/inf/*; do
        cmp -s "$f" examples/nsis/px714.inf && copied=1
    done
    [ $copied = 1 ] || fail "no copy of px714.inf in C:\\windows\\inf"
    check_effects "$trace"
    cp "$log" "$work/calls-$mode.log" 2>/dev/null || true
    if [ $failures -eq $before ]; then
        echo "check-nsis: $mode: results and effects as expected"
    fi
done

# The C consumer that scripts/check-package.sh builds against the installed
# package: its calls go through the import library's stdcall names to the
# plain exports of the installed DLL.
consumer=build/consumer/consumer_c.exe
if [ -f "$consumer" ] && [ -f build/stage/bin/px714sup.dll ]; then
    mode=consumer
    reset_machine
    import_machine winxp
    said=$(WINEPATH=$(wine_path "$root/build/stage/bin") wine "$consumer" | tr -d '\r') || fail "exit status $?"
    if [ "$said" = "legacy player 11: CMTech Music Box MP3 Player" ]; then
        echo "check-nsis: the installed package's C consumer found the legacy player"
    else
        fail "the consumer said: $said"
    fi
fi
wineserver -w
exit $((failures > 0))
