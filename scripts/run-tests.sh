#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# Inside a private session bus with a keyring of its own, never the user's.
scripts/with-private-session.sh ctest --test-dir build --output-on-failure --parallel "$(nproc)"
