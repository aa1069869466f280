#!/usr/bin/env bash
# Installs what the builds need on a fresh Debian machine, where it is
# missing: cmake, ninja, g++, GoogleTest, the mingw-w64 i686 cross compiler
# for px714sup.dll, NSIS for the example installer, and clang with its
# sanitizer and libFuzzer runtimes. Safe to run again.
set -euo pipefail

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686)
command -v makensis >/dev/null || need+=(nsis)
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.asan-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)
# libFuzzer (clang -fsanitize=fuzzer) comes with the same runtime package.
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev)

if [ ${#need[@]} -gt 0 ]; then
    echo "setup: installing ${need[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${need[@]}" >/dev/null
fi
