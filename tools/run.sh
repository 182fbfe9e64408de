#!/usr/bin/env bash
# Installs what is missing, builds the simulator and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_TESTS=OFF >/dev/null
ninja -C build vexa-sim
exec build/app/vexa-sim "$@"
