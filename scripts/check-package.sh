#!/usr/bin/env bash
# Installs the Windows build into a staging prefix and builds a small C and
# C++ consumer against the installed CMake package.
set -euo pipefail
cd "$(dirname "$0")/.."
stage=build/stage
rm -rf "$stage" build/consumer
cmake --install build/windows --prefix "$stage" >/dev/null
cmake -S examples/consumer -B build/consumer -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" -DCMAKE_PREFIX_PATH="$PWD/$stage" >/dev/null
cmake --build build/consumer >/dev/null
for exe in build/consumer/consumer_c.exe build/consumer/consumer_cxx.exe; do
    imports=$(i686-w64-mingw32-objdump -p "$exe")
    [[ "$imports" == *"DLL Name: px714sup.dll"* ]] || {
        echo "check-package: $exe does not import px714sup.dll" >&2
        exit 1
    }
done
echo "check-package: installed $(cd "$stage" && find . -type f | sort | tr '\n' ' ')"
