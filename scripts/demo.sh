#!/usr/bin/env bash
# The main job: builds everything and shows what px714sup.dll exports.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
scripts/check-dll.sh
i686-w64-mingw32-objdump -p build/windows/px714sup.dll | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'
