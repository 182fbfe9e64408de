#!/usr/bin/env bash
# Installs what is missing, checks the formatting, then builds everything under AddressSanitizer
# and UndefinedBehaviorSanitizer and runs every test; builds under ThreadSanitizer (while those
# tests run) only the tests that start threads or run the program's threads (the ctest label
# "threads", built by the target thread_tests) and runs those. Then the Debian packages and the
# fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
# A compiler cache, when there is one, makes a second run cheap; the results are the same.
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

# configure DIR SANITIZERS
configure() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_SANITIZE="$2" \
    -DVEXA_BENCH=OFF "${launcher[@]}" >/dev/null
}

echo "== formatting"
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files

echo "== OpenAPI lint"
# Offline: no usage reports, no version check.
REDOCLY_TELEMETRY=off REDOCLY_SUPPRESS_UPDATE_NOTICE=true \
  tools/node/node_modules/.bin/redocly lint --config redocly.yaml docs/openapi.yaml

echo "== AddressSanitizer + UndefinedBehaviorSanitizer: every test"
configure build-asan "address,undefined"
ninja -C build-asan -j "$jobs"
# The end-to-end tests spend most of their time waiting on sockets and processes; the
# ThreadSanitizer build takes the idle processors meanwhile, at the lowest priority.
configure build-tsan "thread"
tsan_log=$(mktemp)
nice -n 19 ninja -C build-tsan -j "$jobs" thread_tests >"$tsan_log" 2>&1 &
tsan_build=$!
trap 'kill "$tsan_build" 2>/dev/null || true; rm -f "$tsan_log"' EXIT
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300

echo "== ThreadSanitizer: the tests labelled threads"
if ! wait "$tsan_build"; then
  cat "$tsan_log"
  exit 1
fi
tail -n 1 "$tsan_log"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tools/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 300 -L threads --no-tests=error

echo "== Debian package"
bash tools/package-test.sh

echo "== fuzzing (90 s in all)"
bash tools/fuzz.sh
