#!/usr/bin/env bash
# Installs what is needed, checks the formatting, builds with warnings as errors, runs
# every test, then runs them again under AddressSanitizer + UndefinedBehaviorSanitizer,
# and gives each fuzzer a bounded run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DWARNINGS_AS_ERRORS=ON
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure)

# The soak is long and the package test repeats the release run: both are left out here.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DWARNINGS_AS_ERRORS=ON
cmake --build build-asan -j"$(nproc)"
(cd build-asan && ctest --output-on-failure -LE 'soak|package')

if [ -x fuzz/run.sh ]; then
    fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi
