#!/usr/bin/env bash
# Installs whatever building, running and testing Veilmox needs on Debian 12 and fetches the
# Geist font files; with --sanitizers also clang for the sanitizer build. Safe to run again: it
# only installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config ca-certificates
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
    libgl-dev libplist-dev libgtest-dev libgmock-dev libbenchmark-dev
    # Where a window of the app asked to be repainted, which Qt keeps only in its internals.
    qt6-base-private-dev
    # Unpacking the services' compressed answers, checked to be whole.
    zlib1g-dev
    # Tokens in the desktop's Secret Service (libsecret); links over the session bus (a private
    # bus, an unlocked keyring and GLib's launcher for the tests).
    libsecret-1-dev dbus-daemon gnome-keyring libglib2.0-bin
    # The key symbols (⌘ ⌥ ⌃ …) the Geist faces lack, at the height of the letters beside them.
    fonts-dejavu-core
    # The definitions of the languages, for the tests that read stored numbers in one that writes
    # a decimal comma (made below).
    locales
)
# The sanitizer build and the fuzz targets (scripts/run-tests.sh --sanitizers) need clang; its
# run of the interface suites on a real X server needs a private one (xvfb-run, with xauth).
[ "${1:-}" = "--sanitizers" ] && packages+=(clang-14 libclang-rt-14-dev llvm-14 xvfb xauth)
# npm fetches the fonts; a Node.js installed some other way is used as it is.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "setup: installing packages needs root; run this script as root" >&2
        exit 1
    fi
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ "${#missing[@]}" -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
    echo "setup: making the locale de_DE.UTF-8"
    as_root localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi

# The five Geist faces the interface uses, from the npm package "geist" (SIL Open Font License).
geist_version=1.9.2
fonts_dir=resources/Fonts
faces=(geist-sans/Geist-Regular geist-sans/Geist-Medium geist-sans/Geist-SemiBold
       geist-mono/GeistMono-Regular geist-mono/GeistMono-Medium)
need_fonts=no
for face in "${faces[@]}"; do
    [ -f "$fonts_dir/$(basename "$face").ttf" ] || need_fonts=yes
done
if [ "$need_fonts" = yes ]; then
    echo "setup: fetching the Geist fonts (npm package geist@$geist_version)"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && npm pack "geist@$geist_version" --silent >/dev/null)
    tar -xzf "$work/geist-$geist_version.tgz" -C "$work"
    mkdir -p "$fonts_dir"
    for face in "${faces[@]}"; do
        cp "$work/package/dist/fonts/$face.ttf" "$fonts_dir/"
    done
    cp "$work/package/LICENSE.txt" "$fonts_dir/OFL.txt"
fi
