#!/usr/bin/env bash
# Runs the decoder benchmark and prints a table: decoded MB/s (median of the
# repetitions) per data set and decoder, and the ratio of decode_block to the
# reference library's checked (ucl_nrv2b_decompress_safe_8) and unchecked
# (ucl_nrv2b_decompress_8) decoders measured in the same run. The
# repetitions of all benchmarks run interleaved in random order, so that a
# slow spell of this shared machine falls on all of them alike.
#
#   scripts/bench/decode_table.sh [extra benchmark arguments]
# Environment: REPETITIONS (default 9), MIN_TIME (seconds per run, default 0.2).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target mthc_decode_bench >/dev/null

json=$(mktemp)
trap 'rm -f "$json"' EXIT
build/bench/bench/mthc_decode_bench \
  --benchmark_repetitions="${REPETITIONS:-9}" \
  --benchmark_min_time="${MIN_TIME:-0.2}" \
  --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_format=json "$@" >"$json"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
medians = {}
for b in runs:
    if b.get("aggregate_name") != "median":
        continue
    _, data, packer, decoder = b["run_name"].split("/")
    medians[(data, packer, decoder)] = (b["bytes_per_second"] / 1e6, b.get("label", ""))
# Fixed orders: repetitions run interleaved, so the output order is random.
order = {"midi": 0, "repetitive": 1, "random": 2, "mthc_best": 0, "ucl10": 1,
         "mthc": 0, "ucl_safe_8": 1, "ucl_8": 2}
rows = sorted({(d, p) for d, p, _ in medians}, key=lambda r: (order.get(r[0], 9), order.get(r[1], 9)))
decoders = sorted({dec for _, _, dec in medians}, key=lambda d: order.get(d, 9))
head = f"{'data set':<12}{'packed by':<10}{'packed':>8}" + "".join(f"{d + ' MB/s':>17}" for d in decoders)
if "ucl_safe_8" in decoders:
    head += f"{'mthc/safe_8':>13}{'mthc/ucl_8':>12}"
print(head)
for data, packer in rows:
    label = next((medians[(data, packer, d)][1] for d in decoders if (data, packer, d) in medians), "")
    line = f"{data:<12}{packer:<10}{label.replace('packed to ', ''):>8}"
    for d in decoders:
        v = medians.get((data, packer, d))
        line += f"{v[0]:>17.0f}" if v else f"{'-':>17}"
    if "ucl_safe_8" in decoders:
        ours = medians.get((data, packer, "mthc"))
        for ref in ("ucl_safe_8", "ucl_8"):
            other = medians.get((data, packer, ref))
            width = 13 if ref == "ucl_safe_8" else 12
            line += f"{ours[0] / other[0]:>{width}.2f}x" if ours and other else f"{'-':>{width}}"
    print(line)
if any((d, p, r) not in medians for d, p in rows for r in decoders):
    print("-: not run; the reference decoders need the end marker, which our encoder does not write")
PY
