#!/usr/bin/env bash
# Wall time of each variant of the decoder's fast loop that this processor
# runs (portable, bit manipulation), on every data set and packer: decoded
# MB/s as median (min to max) of the repetitions, which run interleaved in
# random order so that a slow spell of this shared machine falls on all
# variants alike, and each variant's median against the portable one's,
# with a 95% interval: a variant is kept only where it stays above 1.
#
#   scripts/bench/decode_variants.sh [extra benchmark arguments]
# Environment: REPETITIONS (default 15), MIN_TIME (seconds per run, default 0.3).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target mthc_decode_variant_bench >/dev/null

json=$(mktemp)
trap 'rm -f "$json"' EXIT
build/bench/bench/mthc_decode_variant_bench \
  --benchmark_repetitions="${REPETITIONS:-15}" \
  --benchmark_min_time="${MIN_TIME:-0.3}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_format=json "$@" >"$json"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
python3 - "$json" <<'PY'
import json, random, statistics, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") != "iteration":
        continue
    _, data, packer, variant = b["run_name"].split("/")
    runs.setdefault((data, packer, variant), []).append(b["bytes_per_second"] / 1e6)

# The ratio of two medians, with a 95% interval from resampling both sets of
# repetitions: a variant gains beyond the noise where the interval stays
# above 1.
def ratio_with_interval(a, b):
    rng = random.Random(1)
    resampled = sorted(
        statistics.median(rng.choices(a, k=len(a))) / statistics.median(rng.choices(b, k=len(b)))
        for _ in range(2000))
    return statistics.median(a) / statistics.median(b), resampled[50], resampled[1949]

count = min(len(v) for v in runs.values())
print(f"{count} repetitions each, interleaved; MB/s median (min to max); "
      "median / portable's median (95% interval)")
order = {"midi": 0, "repetitive": 1, "random": 2, "mthc_best": 0, "ucl10": 1, "portable": 0,
         "bit_manipulation": 1}
key = lambda x: order.get(x, 9)
print(f"{'data set':<12}{'packed by':<11}{'variant':<18}{'MB/s':>22}{'/ portable':>26}")
for data, packer, variant in sorted(runs, key=lambda r: tuple(map(key, r)) + r):
    values = runs[(data, packer, variant)]
    base = runs.get((data, packer, "portable"))
    ratio = "-"
    if base and variant != "portable":
        r, low, high = ratio_with_interval(values, base)
        ratio = f"{r:.3f} ({low:.3f} to {high:.3f})"
    cell = f"{statistics.median(values):.0f} ({min(values):.0f} to {max(values):.0f})"
    print(f"{data:<12}{packer:<11}{variant:<18}{cell:>22}{ratio:>26}")
PY
