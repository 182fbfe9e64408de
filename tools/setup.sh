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
  prometheus  # for promtool, which lints the /metrics text in the tests
  python3-yaml python3-jsonschema
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
# Only promtool is wanted from package prometheus: when this run installed it, the server the
# package starts on every address (port 9090) is stopped and kept off. One set up before is left.
if [[ " ${missing[*]} " == *" prometheus "* ]] && [ -d /run/systemd/system ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd systemctl disable --now prometheus || true
fi

# Node.js and npm for the OpenAPI linter, from Debian unless some node is already there.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends nodejs npm
fi

# The linter at the version tools/node/package-lock.json pins, into tools/node/node_modules;
# again only when the lock file changed since.
node_dir="$(cd "$(dirname "$0")" && pwd)/node"
if ! cmp -s "$node_dir/package-lock.json" "$node_dir/node_modules/.installed-lock"; then
  (cd "$node_dir" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$node_dir/package-lock.json" "$node_dir/node_modules/.installed-lock"
fi
