#!/usr/bin/env bash
# Installs what is needed, builds, and starts the console against the bundled service simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
exec build/stage/HVAgent "$@"
