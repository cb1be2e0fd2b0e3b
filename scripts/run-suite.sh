#!/usr/bin/env bash
# Runs the test suite of a build folder (build/ by default) with ctest inside the private session
# (scripts/with-private-session.sh). Its verdict never rests on the wrapper alone: a wrapper that
# turns a failing status into another is refused before anything runs, and ctest's own record of
# the tests that failed is read afterwards, whatever status came back.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

status=0
scripts/with-private-session.sh sh -c 'exit 3' || status=$?
if [ "$status" -ne 3 ]; then
    echo "run-suite: scripts/with-private-session.sh ended a command that failed with 3 with $status" >&2
    exit 1
fi

# ctest writes the record only when something fails, and leaves an older one as it was.
record="$build/Testing/Temporary/LastTestsFailed.log"
rm -f "$record"
status=0
scripts/with-private-session.sh ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" \
    || status=$?
if [ -s "$record" ]; then
    echo "run-suite: tests that failed in $build:" >&2
    cat "$record" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
