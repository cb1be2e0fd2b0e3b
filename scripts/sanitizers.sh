#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer (clang) into
# build-asan, runs it there, then runs every fuzz target for a bounded time (FUZZ_SECONDS each,
# 60 by default, all at once). Any sanitizer report or fuzz finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
CC=clang-14 CXX=clang++-14 cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVEILMOX_WERROR="$werror" -DVEILMOX_SANITIZE=ON -DVEILMOX_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# A library's own leak, named in the file (the programs the tests start inherit it too).
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan-suppressions.txt"
export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
scripts/run-suite.sh build-asan
scripts/fuzz.sh build-asan "${FUZZ_SECONDS:-60}"
