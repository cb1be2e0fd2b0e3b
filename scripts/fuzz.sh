#!/usr/bin/env bash
# Runs every fuzz target of a sanitizer build at once, each for a bounded time over its seed
# corpus in tests/fuzz/corpus/<name>/, and fails on any finding (a crash, a sanitizer report, a
# broken check, a timeout or a memory blow-up). The seeds are only read; what a finding was is
# kept in <build>/fuzz-findings/<name>/.
# Usage: scripts/fuzz.sh [build folder, default build-asan] [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
seconds=${2:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

targets=("$build"/tests/fuzz/*_fuzz)
if [ ! -x "${targets[0]}" ]; then
    echo "fuzz: no fuzz targets in $build/tests/fuzz" >&2
    exit 1
fi

pids=()
for target in "${targets[@]}"; do
    name=$(basename "$target" _fuzz)
    findings="$build/fuzz-findings/$name"
    rm -rf "$findings"
    mkdir -p "$work/$name" "$findings"
    # New inputs go to the scratch folder, listed first; the seed folder is only read.
    "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work/$name" "tests/fuzz/corpus/$name" >"$work/$name.log" 2>&1 &
    pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
    name=$(basename "${targets[$i]}" _fuzz)
    result=0
    wait "${pids[$i]}" || result=$?
    runs=$(grep -o 'number_of_executed_units: [0-9]*' "$work/$name.log" | tail -n 1 | grep -o '[0-9]*$' || true)
    if [ "$result" -eq 0 ]; then
        echo "fuzz: $name: ${runs:-?} inputs in $seconds s, no findings"
        rmdir "$build/fuzz-findings/$name" 2>/dev/null || true
    else
        echo "fuzz: $name: FINDING (input kept in $build/fuzz-findings/$name/)"
        tail -n 80 "$work/$name.log"
        status=1
    fi
done
exit "$status"
