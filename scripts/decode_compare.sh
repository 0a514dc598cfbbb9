#!/usr/bin/env bash
# Compares the decode speed of two builds of the decoder benchmark on this
# machine: decoded MB/s of decode_block (or of each variant of its fast
# loop) per data set and packer, as median (min to max) of the runs of each
# build, and the ratio of the medians with a 95% interval.
# The two builds run alternately, A B B A A B ..., so that a slow spell of
# this shared machine falls on both alike.
#
#   scripts/decode_compare.sh <before build dir> [<after build dir>]
#
# A build dir is a configured bench preset (e.g. build/bench of another
# worktree); the after build defaults to this tree's, built here first.
# Environment: ROUNDS (runs of each build, default 9), MIN_TIME (seconds per
# benchmark and run, default 0.5), BENCH (decode: decode_block with the
# variant it picks, the default; variant: each variant this processor runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 <before build dir> [<after build dir>]" >&2; exit 2; }
case ${BENCH:-decode} in
  decode) program=mthc_decode_bench filter='/mthc$' ;;
  variant) program=mthc_decode_variant_bench filter='.' ;;
  *) echo "BENCH is decode or variant" >&2; exit 2 ;;
esac
before=$(cd "$1" && pwd)/bench/$program
if [ $# -ge 2 ]; then
  after=$(cd "$2" && pwd)/bench/$program
else
  cd "$root"
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j2 --target "$program" >/dev/null
  after=$root/build/bench/bench/$program
fi
for binary in "$before" "$after"; do
  [ -x "$binary" ] || { echo "no benchmark at $binary" >&2; exit 1; }
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
rounds=${ROUNDS:-9}
run() {  # run <label> <binary> <round>
  "$2" --benchmark_filter="$filter" --benchmark_min_time="${MIN_TIME:-0.5}" \
    --benchmark_format=json >"$out/$1.$3.json" 2>/dev/null
}
for ((i = 0; i < rounds; ++i)); do
  if ((i % 2 == 0)); then
    run before "$before" "$i"
    run after "$after" "$i"
  else
    run after "$after" "$i"
    run before "$before" "$i"
  fi
done

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "$rounds runs of each build, alternating; MB/s median (min to max)"
python3 - "$out" <<'PY'
import glob, json, os, random, statistics, sys
runs = {"before": {}, "after": {}}
for path in glob.glob(os.path.join(sys.argv[1], "*.json")):
    label = os.path.basename(path).split(".")[0]
    for b in json.load(open(path))["benchmarks"]:
        _, data, packer, decoder = b["run_name"].split("/")
        runs[label].setdefault((data, packer, decoder), []).append(b["bytes_per_second"] / 1e6)
order = {"midi": 0, "repetitive": 1, "random": 2, "mthc_best": 0, "ucl10": 1, "portable": 0,
         "bit_manipulation": 1}
rows = sorted(set(runs["before"]) & set(runs["after"]),
              key=lambda r: tuple(order.get(x, 9) for x in r))
def cell(values):
    return f"{statistics.median(values):.0f} ({min(values):.0f} to {max(values):.0f})"
# The ratio of the medians, with a 95% interval from resampling both builds' runs.
def ratio(a, b):
    rng = random.Random(1)
    resampled = sorted(
        statistics.median(rng.choices(a, k=len(a))) / statistics.median(rng.choices(b, k=len(b)))
        for _ in range(2000))
    return (f"{statistics.median(a) / statistics.median(b):.3f} "
            f"({resampled[50]:.3f} to {resampled[1949]:.3f})")
print(f"{'data set':<12}{'packed by':<11}{'decoder':<18}{'before':>22}{'after':>22}"
      f"{'after/before (95%)':>26}")
for row in rows:
    b, a = runs["before"][row], runs["after"][row]
    print(f"{row[0]:<12}{row[1]:<11}{row[2]:<18}{cell(b):>22}{cell(a):>22}{ratio(a, b):>26}")
PY
