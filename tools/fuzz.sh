#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan) and runs each on its seed corpus,
# two at a time: tools/fuzz.sh [SECONDS_PER_TARGET]. Without an argument the targets share a
# total of FUZZ_TOTAL_SECONDS (default 90) of wall time. New inputs go to a scratch corpus; a
# crash stops the run with the input's path (add it to tests/fuzz/corpus/<target>/ once fixed).
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(datagram_handler_fuzz state_load_fuzz ini_reader_fuzz probe_decoder_fuzz console_fuzz
  line_reader_fuzz command_line_fuzz fleet_file_fuzz)
rounds=$(((${#targets[@]} + 1) / 2))
seconds=${1:-$((${FUZZ_TOTAL_SECONDS:-90} / rounds))}
bash tools/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXA_FUZZ=ON \
  -DVEXA_SANITIZE=address,undefined >/dev/null
ninja -C build-fuzz
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
run_target() {
  local target=$1
  mkdir -p "$scratch/$target"
  "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=0 \
    -artifact_prefix="$scratch/$target-" "$scratch/$target" "tests/fuzz/corpus/$target" \
    >"$scratch/$target.log" 2>&1 || echo failed >"$scratch/$target.failed"
  echo "== fuzz $target for ${seconds}s: $(grep -E '^Done [0-9]+ runs' "$scratch/$target.log" || echo 'stopped early')"
}
# Two at a time, one a core.
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  run_target "${targets[i]}" &
  [[ -n ${targets[i + 1]:-} ]] && run_target "${targets[i + 1]}" &
  wait
done
failed=0
for target in "${targets[@]}"; do
  if [[ -e $scratch/$target.failed ]] || ls "$scratch/$target"-crash-* "$scratch/$target"-leak-* \
    "$scratch/$target"-timeout-* "$scratch/$target"-oom-* >/dev/null 2>&1; then
    echo "fuzz target $target failed:"
    grep -E 'ERROR|SUMMARY|Test unit written' "$scratch/$target.log" || true
    failed=1
  fi
done
[[ $failed == 0 ]] && echo "fuzzing passed"
exit $failed
