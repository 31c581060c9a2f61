#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh <dir> [cmake options...]
set -euo pipefail
dir=${1:-build}; shift || true
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cmake -S "$(dirname "$0")/.." -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
