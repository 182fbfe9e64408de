#!/usr/bin/env bash
# Builds the Debian packages into build-package/: vexa-probe, vexa-sim-headless and vexa-sim.
# A Release build with Debian's hardening flags from dpkg-buildflags (debug information
# included); the tests and benchmarks are not built. The packaged programs are stripped; their
# debug symbols stay in build-package/debug/BUILD-ID.debug (gdb: set debug-file-directory).
# Prints the package files.
#   bash tools/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_TESTS=OFF -DVEXA_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_STRIP="$PWD/packaging/debian/strip" \
  >/dev/null
ninja -C "$dir" >&2
rm -rf "$dir"/*.deb "$dir/debug"
(cd "$dir" && cpack -G DEB >&2)
mkdir -p "$dir/debug"
for program in app/vexa-sim app/vexa-sim-headless app/probe/vexa-probe; do
  id=$(readelf -n "$dir/$program" | sed -n 's/.*Build ID: //p')
  objcopy --only-keep-debug --compress-debug-sections "$dir/$program" "$dir/debug/$id.debug"
done
ls "$dir"/*.deb
