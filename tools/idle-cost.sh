#!/usr/bin/env bash
# Idle cost of the simulator: runs the window (offscreen) and the headless program side by side
# for SECONDS (default 30) and prints each one's CPU share of one core and its RSS at start and
# end. Needs a built build/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
work=$(mktemp -d)
# Let both close and save before their directory goes: a failed save keeps a window open.
trap 'kill $gui $headless 2>/dev/null; wait $gui $headless 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/gui" "$work/headless"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/gui build/app/vexa-sim /D --port 5421 \
  --state-dir "$work/gui" 2>/dev/null &
gui=$!
XDG_RUNTIME_DIR=$work/headless build/app/vexa-sim --headless --port 5422 --state-dir "$work/headless" \
  </dev/null 2>/dev/null &
headless=$!
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
g0=$(ticks $gui) h0=$(ticks $headless) gr0=$(rss $gui) hr0=$(rss $headless)
sleep "$seconds"
g1=$(ticks $gui) h1=$(ticks $headless) gr1=$(rss $gui) hr1=$(rss $headless)
hz=$(getconf CLK_TCK)
awk -v t=$((g1 - g0)) -v s="$seconds" -v hz="$hz" -v a="$gr0" -v b="$gr1" \
  'BEGIN { printf "window (offscreen, detail): CPU %.2f %% of one core; RSS %d -> %d KiB\n", 100 * t / hz / s, a, b }'
awk -v t=$((h1 - h0)) -v s="$seconds" -v hz="$hz" -v a="$hr0" -v b="$hr1" \
  'BEGIN { printf "headless:                   CPU %.2f %% of one core; RSS %d -> %d KiB\n", 100 * t / hz / s, a, b }'
