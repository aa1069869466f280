#!/usr/bin/env bash
# The main job: builds everything, shows what px714sup.dll exports, and runs
# the px714sup tool's demo: the setup sequence previewed on two built-in
# sample machines (Windows 98 and Windows XP).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
scripts/check-dll.sh
i686-w64-mingw32-objdump -p build/windows/px714sup.dll | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'
build/host/tools/px714sup demo
