#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config clang
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-httpserver-dev qt6-websockets-dev
  libcurl4-openssl-dev libssl-dev libjsoncpp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core fonts-noto-cjk
  tinyproxy openssl curl python3
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
