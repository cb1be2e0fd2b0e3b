#!/usr/bin/env bash
# Runs a command (the test suite) inside a private D-Bus session bus with an unlocked GNOME keyring
# of its own, so tests reach a real Secret Service and bus activation without touching the user's
# session or keyring. Without dbus-run-session or gnome-keyring-daemon the command runs as it is,
# and the tests that need them skip (or fail, under CI=true).
set -euo pipefail
if [ "${VEILMOX_TEST_SESSION_BUS:-}" = private ]; then
    exec "$@"
fi
if ! command -v dbus-run-session >/dev/null 2>&1 || ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
    echo "with-private-session: dbus-run-session or gnome-keyring-daemon missing; running without a session bus" >&2
    exec "$@"
fi
# The keyring binds its control socket a few levels below the scratch folder, and a socket's path
# holds 107 bytes: the scratch folder is in the temporary folder while that is short, else in /tmp.
base=${TMPDIR:-/tmp}
[ "${#base}" -le 40 ] || base=/tmp
scratch=$(mktemp -d "$base/veilmox-session.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" "$scratch/data"
# The keyring keeps its files in the scratch folder. It runs as a child of the bus's shell, which
# ends it and waits for it however the command ends, keeping the command's exit status: a daemon
# left on its own outlives the bus when the command ends while it is still starting.
dbus-run-session -- bash -c '
    printf "veilmox-tests" | XDG_DATA_HOME="$1/data" XDG_RUNTIME_DIR="$1/runtime" \
        gnome-keyring-daemon --unlock --components=secrets --foreground >/dev/null &
    keyring=$!
    trap "kill $keyring 2>/dev/null; wait $keyring 2>/dev/null" EXIT
    # Ready once it holds its name on the bus.
    gdbus wait --session --timeout 10 org.freedesktop.secrets >/dev/null 2>&1 || true
    shift
    status=0
    VEILMOX_TEST_SESSION_BUS=private "$@" || status=$?
    exit "$status"
' with-private-session "$scratch" "$@"
