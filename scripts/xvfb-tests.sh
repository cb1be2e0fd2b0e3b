#!/usr/bin/env bash
# Runs the interface test programs (kit, popover, picture-in-picture, onboarding) of build/ once
# more on Qt's xcb platform under a private X server (xvfb-run), where windows are mapped, exposed
# and entered by the pointer as on a desktop. A failing case, or a warning from Qt itself, fails
# the run.
set -euo pipefail
cd "$(dirname "$0")/.."
programs=(tests/shell/kit_tests tests/popover/popover_tests tests/pip/pip_tests tests/onboarding/onboarding_tests)
# Said by the machine, not the code: no sound server to connect to.
allowed='PulseAudioService: pa_context_connect\(\) failed'

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" "$scratch/tmp"
export XDG_RUNTIME_DIR="$scratch/runtime" VEILMOX_TEST_TMP="$scratch/tmp" QT_QPA_PLATFORM=xcb
# Each message with its kind and category, so Qt's own warnings can be told from the app's.
export QT_MESSAGE_PATTERN='%{if-warning}W%{endif}%{if-critical}C%{endif}%{if-fatal}F%{endif}%{if-debug}D%{endif}%{if-info}I%{endif} [%{category}] %{message}'
failed=0
for program in "${programs[@]}"; do
    log="$scratch/$(basename "$program").log"
    echo "xvfb-tests: $program on xcb"
    status=0
    xvfb-run -a -s "-screen 0 1920x1080x24" scripts/with-private-session.sh "build/$program" >"$log" 2>&1 || status=$?
    grep -E '^\[  (PASSED|FAILED) ' "$log" || true
    warnings=$(grep -E '^[WCF] \[(qt\.|default\])' "$log" | grep -vE "$allowed" || true)
    if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
        failed=1
        grep -E -B2 -A8 '(Failure|^\[  FAILED )' "$log" || true
        [ -z "$warnings" ] || printf 'xvfb-tests: Qt warnings in %s:\n%s\n' "$program" "$warnings"
    fi
done
if [ "$failed" -ne 0 ]; then
    echo "xvfb-tests: failed" >&2
    exit 1
fi
