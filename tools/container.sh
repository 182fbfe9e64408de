#!/usr/bin/env bash
# Builds the container image vexa-sim-headless:VERSION (and :latest) with podman from
# packaging/container/Containerfile and the packages tools/package.sh builds. Where podman is
# not installed it says so and exits 0: nothing else in the project needs the image.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v podman >/dev/null 2>&1; then
  echo "podman is not installed (apt-get install podman); no image built"
  exit 0
fi
bash tools/package.sh build-package >/dev/null
version=$(dpkg-deb --field build-package/vexa-sim-headless_*.deb Version)
context=$(mktemp -d)
trap 'rm -rf "$context"' EXIT
cp build-package/vexa-sim-headless_*.deb build-package/vexa-probe_*.deb "$context/"
# The docker format keeps the HEALTHCHECK, which the OCI format has no field for.
podman build --format docker -f packaging/container/Containerfile \
  -t "vexa-sim-headless:$version" -t vexa-sim-headless:latest "$context"
echo "image: vexa-sim-headless:$version"
