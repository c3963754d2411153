#!/usr/bin/env bash
# Builds the fuzz targets if needed and runs each one for a bounded time, starting from a
# scratch copy of its seed corpus so that the committed seeds stay as they are.
# Usage: fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
# FUZZ_BUILD_DIR overrides the build directory (default: build-fuzz beside fuzz/).
set -uo pipefail

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 [SECONDS_PER_TARGET]" >&2
    exit 2
fi

fuzz_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$fuzz_dir")
build_dir=${FUZZ_BUILD_DIR:-$source_dir/build-fuzz}
targets=(fuzz_hexdisplay fuzz_hexparse fuzz_plaindecoder fuzz_plainsend fuzz_paragraphs)

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DFUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON || exit 1
fi
cmake --build "$build_dir" --target fuzzers -j "$(nproc)" || exit 1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=$build_dir/fuzz/artifacts

passed=0
failed=0
for target in "${targets[@]}"; do
    corpus=$scratch/$target
    log=$scratch/$target.log
    cp -r "$fuzz_dir/corpus/$target" "$corpus"
    mkdir -p "$artifacts/$target"
    # -timeout: one input taking seconds is a hang worth a report, not a slow machine.
    "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target/" "$corpus" >"$log" 2>&1
    status=$?
    executions=$(awk '/^stat::number_of_executed_units:/ { print $2 }' "$log")
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
        printf '%-18s ok      %12s executions in %ss\n' "$target" "${executions:-?}" "$seconds"
    else
        failed=$((failed + 1))
        printf '%-18s FAILED  %12s executions (exit %d)\n' "$target" "${executions:-?}" "$status"
        grep -E 'property broken|ERROR:|SUMMARY:|runtime error' "$log" | head -n 5 | sed 's/^/    /'
        grep -E '^artifact_prefix=|Test unit written to' "$log" | sed 's/^/    /'
    fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
