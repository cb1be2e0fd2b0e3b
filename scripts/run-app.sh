#!/usr/bin/env bash
# Installs what is missing, builds, starts the local stand-ins of the backend and the account
# service on loopback (the addresses the bundle settings point at), and starts Veilmox.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run-app: no graphical session found; starting on Qt's offscreen platform (nothing is shown)"
    export QT_QPA_PLATFORM=offscreen
fi
build/devservices/veilmox-devservices --backend-port 54321 --account-port 54322 &
services_pid=$!
trap 'kill "$services_pid" 2>/dev/null || true' EXIT
build/shell/veilmox "$@"
