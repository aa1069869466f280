#!/usr/bin/env bash
# Configures and builds the host build (library on the simulated machine,
# tests, tool) and the Windows build (px714sup.dll).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in host windows; do
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
