#!/usr/bin/env bash
# Runs the interface test programs (kit, popover, picture-in-picture, onboarding) of build/ once
# more on Qt's xcb platform under a private X server (xvfb-run), where windows are mapped, exposed
# and entered by the pointer as on a desktop: first unscaled, then scaled by 2 as on a HiDPI
# desktop (a screen of twice the pixels, so the windows have the same room in points). A failing
# case (by the program's status or its own summary), or a warning from Qt itself, fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
programs=(tests/shell/kit_tests tests/popover/popover_tests tests/pip/pip_tests tests/onboarding/onboarding_tests)
# Said by the machine, not the code: no sound server to connect to.
allowed='PulseAudioService: pa_context_connect\(\) failed'
# Each run: the scale factor and the screen it runs on.
runs=("1 1920x1080x24" "2 3840x2160x24")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=xcb
# Each message with its kind and category, so Qt's own warnings can be told from the app's.
export QT_MESSAGE_PATTERN='%{if-warning}W%{endif}%{if-critical}C%{endif}%{if-fatal}F%{endif}%{if-debug}D%{endif}%{if-info}I%{endif} [%{category}] %{message}'
failed=0
for run in "${runs[@]}"; do
    read -r scale screen <<<"$run"
    for program in "${programs[@]}"; do
        # Folders of its own for each program, so no run sees what another left.
        work="$scratch/$scale-$(basename "$program")"
        mkdir -m 700 "$work" "$work/runtime" "$work/tmp"
        log="$work/log"
        echo "xvfb-tests: $program on xcb at scale $scale"
        status=0
        XDG_RUNTIME_DIR="$work/runtime" VEILMOX_TEST_TMP="$work/tmp" QT_SCALE_FACTOR="$scale" \
            xvfb-run -a -s "-screen 0 $screen" scripts/with-private-session.sh "build/$program" >"$log" 2>&1 \
            || status=$?
        grep -E '^\[  (PASSED|FAILED) ' "$log" || true
        # The program's own summary, whatever status the wrappers passed on: a failing case, or
        # no summary at all (it never finished).
        if [ "$status" -eq 0 ] && { grep -q '^\[  FAILED  \]' "$log" || ! grep -q '^\[  PASSED  \]' "$log"; }; then
            status=1
        fi
        warnings=$(grep -E '^[WCF] \[(qt\.|default\])' "$log" | grep -vE "$allowed" || true)
        if [ "$status" -ne 0 ] || [ -n "$warnings" ]; then
            failed=1
            grep -E -B2 -A8 '(Failure|^\[  FAILED )' "$log" || true
            [ "$status" -le 128 ] || echo "xvfb-tests: $program ended by signal $((status - 128)) at scale $scale"
            [ -z "$warnings" ] || printf 'xvfb-tests: Qt warnings in %s at scale %s:\n%s\n' "$program" "$scale" "$warnings"
        fi
    done
done
if [ "$failed" -ne 0 ]; then
    echo "xvfb-tests: failed" >&2
    exit 1
fi
