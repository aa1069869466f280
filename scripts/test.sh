#!/usr/bin/env bash
# Runs every test: the host unit tests on the simulated machine, and the
# checks of the real px714sup.dll (export table and imports).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --preset host -j2
scripts/check-dll.sh
