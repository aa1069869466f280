#!/usr/bin/env bash
# Runs every test: the host unit tests on the simulated machine, and the
# checks of the real px714sup.dll (export table, imports, size, version
# resource, installed package, the example NSIS installer: built always, run
# under Wine where Wine is available).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --preset host -j2
# The same unit tests with AddressSanitizer and UndefinedBehaviorSanitizer.
[ -f build/asan/build.ninja ] || cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2
scripts/check-dll.sh
scripts/check-package.sh
scripts/check-nsis.sh
