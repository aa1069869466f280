#!/usr/bin/env bash
# Checks px714sup.dll's export table against frame/px714sup.def (each name
# plain, at its ordinal, nothing else exported) and that it imports only
# KERNEL32, ADVAPI32, SETUPAPI and msvcrt.
set -euo pipefail
cd "$(dirname "$0")/.."
dll=${1:-build/windows/px714sup.dll}
dump=$(i686-w64-mingw32-objdump -p "$dll")
fail=0

expected=$(awk '/^[ \t]+[A-Za-z]+[ \t]+@[0-9]+/ { sub("@", "", $2); print $2, $1 }' frame/px714sup.def | sort -n)
# objdump lists "[index] +base[ordinal] rva" and then "[index] name".
base=$(printf "%s\n" "$dump" | sed -n "s/.*Ordinal Base[ \t]*\([0-9]*\).*/\1/p" | head -1)
actual=$(printf '%s\n' "$dump" | awk -v base="$base" '
    /\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
    names && /^\t\[ *[0-9]+\] / { gsub(/[\[\]]/, " "); print $1 + base, $2; next }
    names && /^$/ { names = 0 }' | sort -n)
if [ "$expected" != "$actual" ]; then
    echo "check-dll: exports differ from frame/px714sup.def" >&2
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") >&2 || true
    fail=1
fi
if printf '%s\n' "$actual" | grep -q '@'; then
    echo "check-dll: a decorated name is exported" >&2
    fail=1
fi

imports=$(printf '%s\n' "$dump" | sed -n 's/^\tDLL Name: //p' | tr a-z A-Z | sort -u)
for dllname in $imports; do
    case "$dllname" in
        KERNEL32.DLL | ADVAPI32.DLL | SETUPAPI.DLL | MSVCRT.DLL) ;;
        *) echo "check-dll: imports $dllname" >&2; fail=1 ;;
    esac
done
[ $fail -eq 0 ] && echo "check-dll: $(printf '%s\n' "$actual" | wc -l) exports as listed; imports: $(echo $imports)"
exit $fail
