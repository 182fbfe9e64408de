#!/usr/bin/env bash
# Builds the Debian package, installs it, and checks the installed programs: --version, and a
# headless round trip with vexa-probe run as an unprivileged user (so the read-only /usr/bin
# sends the state to ~/.local/state/vexa-sim). Removes the package again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_TESTS=OFF -DVEXA_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
ninja -C build-package vexa-sim vexa-probe
(cd build-package && cpack -G DEB >/dev/null)
package=$(ls build-package/vexa-sim_*.deb)
echo "package: $package"
dpkg-deb --field "$package" Depends
DEBIAN_FRONTEND=noninteractive apt-get install -y "./$package" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y vexa-sim >/dev/null' EXIT

/usr/bin/vexa-sim --version
home=$(mktemp -d)
chmod 777 "$home"
port=5310
setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$home" XDG_RUNTIME_DIR="$home" \
  /usr/bin/vexa-sim --headless --port "$port" </dev/null 2>"$home/stderr" &
sim=$!
reply=""
for _ in $(seq 1 50); do
  reply=$(/usr/bin/vexa-probe --port "$port" --timeout 200 snd000 2>/dev/null) && break
done
kill -TERM "$sim"
wait "$sim"
echo "reply: $reply"
[[ $reply == SND,000,* ]]
grep -q "not writable; keeping the state in $home/.local/state/vexa-sim/" "$home/stderr"
test "$(stat -c %s "$home/.local/state/vexa-sim/VXS1.dat")" = 1024
echo "package test passed"
