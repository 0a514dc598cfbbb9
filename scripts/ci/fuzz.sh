#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer), writes their seed corpora and runs each target
# for a while, one after the other. Fails on the first finding: a crash, a
# failed check, a leak, an input slower than the timeout or one that blows
# the memory limit. Findings are kept in build/fuzz/findings/<target>/ for
# replay (`build/fuzz/fuzz/fuzz_<target> <file>`), and the growing corpus in
# build/fuzz/corpus/<target>/.
#
#   scripts/ci/fuzz.sh [seconds per target] [target ...]
#
# Targets: decode_block convert_to_midi track_reader pack_midi encode_block (default: all);
# seconds default 60.
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(decode_block convert_to_midi track_reader pack_midi encode_block)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

build=build/fuzz
seeds="$build/fuzz/seeds"
"$build/fuzz/mthc_make_fuzz_seeds" "$seeds"

summary=()
for target in "${targets[@]}"; do
  binary="$build/fuzz/fuzz_$target"
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/fuzz_$target.log"
  mkdir -p "$corpus" "$findings"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -use_value_profile=1
           -print_final_stats=1 -artifact_prefix="$findings/")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  echo "fuzzing $target for ${seconds}s (log: $log)"
  status=0
  "$binary" "${options[@]}" "$corpus" "$seeds/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "FAIL: fuzz_$target found a problem (exit $status); inputs in $findings/" >&2
    exit 1
  fi
  summary+=("$target: ${runs:-?} executions in ${seconds}s, corpus $(find "$corpus" -type f | wc -l) inputs")
done
printf '%s\n' "${summary[@]}"
