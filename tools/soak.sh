#!/usr/bin/env bash
# Soaks the headless simulator: tools/soak.sh MINUTES [PORT]. Floods it with a mixed load,
# toggles the endpoint and auto mode through the console, and reports datagrams sent and
# answered, RSS and descriptors at start and end, and whether the saved state is intact.
# Loopback only; needs a built build/ (vexa-sim and bench/flood).
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:?usage: tools/soak.sh MINUTES [PORT]}
port=${2:-5010}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build/app/vexa-sim "$work/"
mkfifo "$work/console"
XDG_RUNTIME_DIR=$work "$work/vexa-sim" --headless --port "$port" <"$work/console" >"$work/out" 2>"$work/err" &
sim=$!
exec 3>"$work/console"
sleep 1
rss() { awk '/VmRSS/ {print $2}' "/proc/$sim/status"; }
fds() { ls "/proc/$sim/fd" | wc -l; }
rss_start=$(rss)
fds_start=$(fds)
end=$((SECONDS + minutes * 60))
sent=0 answered=0 expected=0 rounds=0
while ((SECONDS < end)); do
  read -r s a e < <(build/bench/flood "$port" 20000 | sed 's/[a-z]*=//g')
  sent=$((sent + s)) answered=$((answered + a)) expected=$((expected + e)) rounds=$((rounds + 1))
  case $((rounds % 4)) in
    0) echo "endpoint off" >&3; sleep 0.2; echo "endpoint on" >&3 ;;
    1) echo "auto on" >&3 ;;
    2) echo "auto off" >&3 ;;
    3) echo "level bat $((rounds % 600))" >&3 ;;
  esac
  sleep 0.3
done
echo "status" >&3
sleep 0.5
rss_end=$(rss)
fds_end=$(fds)
echo "quit" >&3
exec 3>&-
code=0
wait "$sim" || code=$?
config=$(stat -c %s "$work/VXS1.dat" 2>/dev/null || echo missing)
live=$(stat -c %s "$work/VXS2.dat" 2>/dev/null || echo missing)
echo "soak: $minutes min, $rounds rounds"
echo "datagrams sent: $sent; replies expected: $expected; answered: $answered"
echo "RSS: $rss_start KiB at start, $rss_end KiB at end"
echo "descriptors: $fds_start at start, $fds_end at end"
echo "last status: $(tail -n 1 "$work/out")"
echo "exit code: $code; VXS1.dat $config bytes, VXS2.dat $live bytes"
[[ $code == 0 && $config == 1024 && $live == 10 ]] && echo "saved state intact" || { echo "saved state NOT intact"; exit 1; }
