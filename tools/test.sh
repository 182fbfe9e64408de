#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once under AddressSanitizer
# and UndefinedBehaviorSanitizer, once under ThreadSanitizer. Also checks the formatting.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_suite() {
  local dir=$1 sanitize=$2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_SANITIZE="$sanitize" \
    -DVEXA_BENCH=OFF >/dev/null
  ninja -C "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== formatting"
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files

echo "== OpenAPI lint"
# Offline: no usage reports, no version check.
REDOCLY_TELEMETRY=off REDOCLY_SUPPRESS_UPDATE_NOTICE=true \
  tools/node/node_modules/.bin/redocly lint --config redocly.yaml docs/openapi.yaml

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build-asan "address,undefined"

echo "== ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tools/tsan.supp" \
  run_suite build-tsan "thread"

echo "== Debian package"
bash tools/package-test.sh

echo "== fuzzing (90 s in all)"
bash tools/fuzz.sh
