#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless. With --sanitizers
# (what CI runs) it then also runs the interface suites under a private X server, the suite
# built with the sanitizers, and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."
option=${1:-}
scripts/setup.sh $option
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# Inside a private session bus with a keyring of its own, never the user's.
scripts/run-suite.sh build
if [ "$option" = --sanitizers ]; then
    # The interface suites again on a real X server, then the sanitizer build.
    scripts/xvfb-tests.sh
    scripts/sanitizers.sh
fi
