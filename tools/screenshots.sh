#!/usr/bin/env bash
# Runs the simulator under Xvfb in compact and in detail mode with some traffic and saves
# screenshots: tools/screenshots.sh [OUTPUT_DIR] (default docs/). Needs a built build/.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp build/app/vexa-sim "$work/"

traffic() {
  python3 - <<'PY'
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(1)
for line in [b"snd000\n", b"wPr000,010,001,002,003,255,255,255,000,010,001,002,254\n",
             b"wMc000,000,026,043,060,077,094\n", b"rst000005 0000000\n", b"rPr000\n"]:
    s.sendto(line, ("127.0.0.1", 5010))
    s.recvfrom(9000)
PY
}

shoot() {  # name, then the program's arguments
  local name=$1
  shift
  XDG_RUNTIME_DIR=$work xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
    '$work/vexa-sim' $* &
    sim=\$!
    sleep 1.5
    $(declare -f traffic); traffic
    sleep 0.4
    import -window root -crop 660x\$(( $([ "$name" = detail ] && echo 445 || echo 160) ))+0+0 '$out/$name.png'
    kill -TERM \$sim; wait \$sim"
}

shoot compact
shoot detail /D
echo "saved $out/compact.png and $out/detail.png"

# The web dashboard's two pages, from the browser test in headless Chromium.
if /usr/bin/python3 tests/browser/dashboard_test.py build/app/vexa-sim build/app/probe/vexa-probe "$out"; then
  echo "saved $out/dashboard-fleet.png and $out/dashboard-unit.png"
fi
