#!/usr/bin/env bash
# Installs every package the simulator and its tests need. Safe to run again.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  clang clang-format libclang-rt-14-dev
  fonts-liberation2 xvfb xauth x11-utils imagemagick
  libsystemd-dev systemd lintian desktop-file-utils man-db strace
  libmicrohttpd-dev libcpp-httplib-dev chromium chromium-driver python3-selenium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
