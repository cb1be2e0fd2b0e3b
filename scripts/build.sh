#!/usr/bin/env bash
# Configures and builds everything into build/. Warnings are errors when CI is set.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEILMOX_WERROR="$werror" >/dev/null
cmake --build build --parallel "$(nproc)"
