#!/usr/bin/env bash
# Installs what is missing, builds, and starts Veilmox.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run-app: no graphical session found; starting on Qt's offscreen platform (nothing is shown)"
    export QT_QPA_PLATFORM=offscreen
fi
exec build/shell/veilmox "$@"
