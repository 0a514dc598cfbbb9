#!/bin/sh
# Prints the encoder's table for each input of the encoder benchmark: packed
# size and packing speed of both levels beside the reference coder at level 10
# (same blocks, interleaved rounds, processor time). Builds the benchmark in
# build/bench (Release) first.
#
#   scripts/bench/compression_table.sh [build directory] [benchmark options...]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$root/build/bench"}
[ $# -gt 0 ] && shift
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMTHC_BUILD_BENCHMARKS=ON \
  -DMTHC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target mthc_encode_bench >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/mthc_encode_bench" --benchmark_format=json "$@" >"$json" 2>/dev/null
python3 - "$json" <<'PY'
import json, sys
for run in json.load(open(sys.argv[1]))["benchmarks"]:
    size = run["input_bytes"]
    ref = run.get("ucl10_bytes")
    print("%s: %d bytes, %d rounds" % (run["label"], size, run["iterations"]))
    print("  %-12s %10s %8s %10s %10s %8s %10s" %
          ("coder", "bytes", "ratio", "vs ucl10", "ms/MB", "MB/s", "time/ucl10"))
    for coder in ["best", "fast"] + (["ucl10"] if ref else []):
        packed = run[coder + "_bytes"]
        ms = run[coder + "_ms_per_MB"]
        versus = "%+.2f%%" % (100.0 * (packed / ref - 1)) if ref else "n/a"
        times = "%.2fx" % (ms / run["ucl10_ms_per_MB"]) if ref else "n/a"
        print("  %-12s %10d %8.4f %10s %10.1f %8.2f %10s" %
              (coder, packed, packed / size, versus, ms, run[coder + "_MB_per_s"], times))
    if ref:
        print("  best/ucl10 time, median of the rounds' ratios: %.2fx" % run["best_over_ucl10"])
    else:
        print("  (libucl not installed: no reference column)")
    print()
PY
