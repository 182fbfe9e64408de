#!/usr/bin/env bash
# Builds the three Debian packages (tools/package.sh), holds them to lintian (any error or
# warning fails) and the desktop entry to desktop-file-validate, installs them, checks the
# service template with systemd-analyze, then runs the installed vexa-sim-headless as the
# service does (an unprivileged user without a home, the state directory given, SIGTERM to
# stop) and round-trips it with the installed vexa-probe. Removes the packages at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh >/dev/null

echo "== packages"
work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill -KILL "$sim" 2>/dev/null || true; fi
  DEBIAN_FRONTEND=noninteractive apt-get purge -y vexa-sim vexa-sim-headless vexa-probe \
    >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
if ! bash tools/package.sh build-package >"$work/packages" 2>"$work/build.log"; then
  cat "$work/build.log" >&2
  exit 1
fi
mapfile -t packages <"$work/packages"
for p in "${packages[@]}"; do
  printf '%s  %s bytes\n  Depends: %s\n' "$p" "$(stat -c %s "$p")" "$(dpkg-deb --field "$p" Depends)"
done
# The probe and the headless simulator pull in no GUI library.
for p in build-package/vexa-probe_*.deb build-package/vexa-sim-headless_*.deb; do
  if dpkg-deb --field "$p" Depends | grep -E -q 'libqt6(gui|widgets)'; then
    echo "$p depends on a GUI library" >&2
    exit 1
  fi
done
if dpkg-deb --field build-package/vexa-probe_*.deb Depends | grep -q qt; then
  echo "vexa-probe depends on Qt" >&2
  exit 1
fi

echo "== lintian"
status=0
findings=$(lintian --fail-on error,warning --display-info "${packages[@]}" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$findings" || true
[ "$status" -eq 0 ]
desktop-file-validate packaging/vexa-sim.desktop

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  "${packages[@]/#/./}" >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  exit 1
}
/usr/bin/vexa-sim --version
/usr/bin/vexa-sim-headless --version

echo "== systemd-analyze verify"
unit=/lib/systemd/system/vexa-sim@.service
cp "$unit" "$work/vexa-sim@site1.service"
# verify exits 0 on directives it ignores, so any output is a failure too.
status=0
verify=$(systemd-analyze verify "$unit" "$work/vexa-sim@site1.service" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$verify" ]; then
  echo "$verify" >&2
  exit 1
fi

echo "== the installed service, round trip"
# As the service runs it: a user of no account (DynamicUser), the state and runtime directories
# made for it, the options from the example file, no standard input, SIGTERM to stop.
uid=61234
state="$work/state" runtime="$work/runtime"
mkdir -m 0750 "$state" && mkdir -m 0700 "$runtime"
chown "$uid:$uid" "$state" "$runtime"
chmod 755 "$work"
port=5310
# shellcheck disable=SC1091
VEXA_SIM_OPTS=$(. /etc/vexa-sim/example.conf && echo "$VEXA_SIM_OPTS")
# run_unit [TRACER...]: starts the unit (under TRACER, when given) and waits until it answers.
run_unit() {
  # shellcheck disable=SC2086
  setpriv --reuid=$uid --regid=$uid --clear-groups env -i PATH=/usr/bin:/bin \
    STATE_DIRECTORY="$state" XDG_RUNTIME_DIR="$runtime" \
    "$@" /usr/bin/vexa-sim-headless --state-dir "$state" $VEXA_SIM_OPTS --port $port \
    </dev/null 2>>"$work/stderr" &
  sim=$!
  for _ in $(seq 1 50); do
    /usr/bin/vexa-probe --health --port $port --timeout 200 && return 0
  done
  echo "the installed unit did not answer: $(cat "$work/stderr")" >&2
  return 1
}
# Sends SIGTERM, as the service manager does, to the unit (not to a tracer around it).
stop_unit() {
  local target=$sim
  if [ "$(cat "/proc/$sim/comm")" = strace ]; then target=$(cat "/proc/$sim/task/$sim/children"); fi
  kill -TERM $target
  wait "$sim"
  sim=""
}
run_unit
/usr/bin/vexa-probe --port $port snd000 | grep -q '^SND,000,'
[ "$(/usr/bin/vexa-probe --port $port wSc000,750,001,002)" = "WSC,000," ]
stop_unit
test "$(stat -c '%s %u' "$state/VXS1.dat")" = "1024 $uid"
test "$(stat -c '%s %u' "$state/VXS2.dat")" = "10 $uid"
run_unit
reply=$(/usr/bin/vexa-probe --port $port rPr000)
echo "reply after a restart: $reply"
[[ $reply == RPR,000,*,2EE,01,02,* ]]
stop_unit

echo "== system calls and socket families against the unit's filters"
# The unit allows @system-service less @privileged and @resources, and AF_INET and AF_UNIX
# sockets; what the program calls while it starts, answers and saves must all be allowed.
group() {
  systemd-analyze syscall-filter "$1" | sed -e 's/#.*//' -e 's/^ *//' | grep -v -e '^$' -e "^$1\$" |
    while read -r name; do
      if [[ $name == @* ]]; then group "$name"; else echo "$name"; fi
    done
}
allowed=$(group @system-service | sort -u)
denied=$({ group @privileged; group @resources; } | sort -u)
run_unit NOTIFY_SOCKET="$runtime/notify" strace -f -qq -o "$runtime/syscalls"
/usr/bin/vexa-probe --port $port snd000 rPr000 wSc000,750,001,002 >/dev/null
stop_unit
called=$(grep -o '^[0-9]* *[a-z_0-9]*(' "$runtime/syscalls" | sed 's/^[0-9]* *//; s/($//' | sort -u)
refused=$(comm -13 <(echo "$allowed") <(echo "$called"); comm -12 <(echo "$denied") <(echo "$called"))
if [ -n "$refused" ]; then
  echo "system calls the unit's filter refuses: $refused" >&2
  exit 1
fi
families=$(grep -o 'socket(AF_[A-Z0-9]*' "$runtime/syscalls" | sed 's/socket(//' | sort -u)
if grep -v -x -e AF_INET -e AF_UNIX <<<"$families"; then
  echo "socket families outside AF_INET and AF_UNIX" >&2
  exit 1
fi
echo "$(wc -l <<<"$called") system calls, all allowed; socket families: $(echo $families)"
if /usr/bin/vexa-probe --health --port $port --timeout 200; then
  echo "--health passed with no unit running" >&2
  exit 1
fi
if [ -s "$work/stderr" ]; then
  cat "$work/stderr" >&2
  exit 1
fi
echo "package test passed"
