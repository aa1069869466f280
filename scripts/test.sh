#!/usr/bin/env bash
# Runs every test: the host unit tests on the simulated machine, and the
# checks of the real px714sup.dll (export table, imports, installed package),
# and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --preset host -j2
# The same unit tests with AddressSanitizer and UndefinedBehaviorSanitizer.
[ -f build/asan/build.ninja ] || cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j2
# Each fuzz target for a minute on the seed corpus.
scripts/fuzz.sh
scripts/check-dll.sh
scripts/check-package.sh
