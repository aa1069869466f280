#!/usr/bin/env bash
# Runs every test: the host unit tests on the simulated machine, and the
# checks of the real px714sup.dll (export table, imports, size, version
# resource, installed package), a short run of each fuzz target, the
# conformance scenarios under Wine in every Windows version mode, and the
# example NSIS installer run under Wine.
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
# 32-bit Wine (through qemu-user where the kernel runs no 32-bit code).
scripts/setup-wine.sh
scripts/check-nsis.sh
scripts/conformance.sh
