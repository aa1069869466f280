#!/usr/bin/env bash
# Checks px714sup.dll's export table against frame/px714sup.def (each name
# plain, at its ordinal, nothing else exported), that it imports only
# KERNEL32, ADVAPI32, SETUPAPI and msvcrt, that it stays within its size
# goal, that it carries its version resource with the project's version,
# and that nothing in it needs the C runtime's start-up (which the build
# leaves out: DllMain is the entry point).
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
size=$(stat -c %s "$dll")
limit=$((48 * 1024))
if [ "$size" -gt "$limit" ]; then
    echo "check-dll: $size bytes, more than the goal of $limit" >&2
    fail=1
fi

# The version resource, as windres reads it back from the DLL.
version=$(sed -n 's/^project(px714sup VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
numeric=$(echo "$version.0" | sed 's/\./, /g')
rc=$(i686-w64-mingw32-windres -J coff -O rc -i "$dll" 2>/dev/null | tr -d '\r' || true)
for want in "VERSIONINFO" " FILEVERSION $numeric" " PRODUCTVERSION $numeric" \
    'VALUE "CompanyName", "ZUMRA"' 'VALUE "FileDescription", "' "VALUE \"FileVersion\", \"$version.0\"" \
    'VALUE "InternalName", "px714sup"' 'VALUE "LegalCopyright", "' 'VALUE "OriginalFilename", "PX714SUP.DLL"' \
    'VALUE "ProductName", "' "VALUE \"ProductVersion\", \"$version.0\"" 'VALUE "Translation", 0x409, 1252'; do
    if [[ "$rc" != *"$want"* ]]; then
        echo "check-dll: version resource lacks: $want" >&2
        fail=1
    fi
done

# Without the C runtime's start-up nothing would run static constructors or
# TLS callbacks: the library's objects must have none.
objects=$(dirname "$dll")/CMakeFiles/px714sup.dir
if [ -d "$objects" ]; then
    for obj in $(find "$objects" -name '*.obj' | sort); do
        if i686-w64-mingw32-objdump -h "$obj" | grep -qE ' \.(ctors|dtors|init_array|fini_array|tls|CRT)'; then
            echo "check-dll: $obj has constructor or TLS sections; the DLL has no C runtime start-up" >&2
            fail=1
        fi
    done
fi

[ $fail -eq 0 ] && echo "check-dll: $(printf '%s\n' "$actual" | wc -l) exports as listed; imports: $(echo $imports); $size bytes; version $version.0"
exit $fail
