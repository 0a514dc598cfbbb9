#!/bin/sh
# Prints the encoder's two tables: compressed size of the generated song
# corpus at each level against the reference coder at level 10 (same blocks),
# and packing speed. Builds the benchmark in build/bench (Release) first.
#
#   scripts/compression_table.sh [build directory]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/bench"}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMTHC_BUILD_BENCHMARKS=ON \
  -DMTHC_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target mthc_encode_bench >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/mthc_encode_bench" --benchmark_format=json >"$json" 2>/dev/null
python3 - "$json" <<'PY'
import json, sys
runs = {b["name"].split("/")[0]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}
best, fast = runs["BM_encode_best"], runs["BM_encode_fast"]
ref = runs.get("BM_reference_level10")
size = best["input"]
print("Compressed size, generated song corpus: %d bytes in %d blocks" % (size, best["blocks"]))
print("  %-28s %10s %8s %14s" % ("coder", "bytes", "ratio", "vs reference"))
rows = [("reference level 10", ref)] if ref else []
rows += [("mthc best", best), ("mthc fast", fast)]
for name, r in rows:
    versus = "%+.2f%%" % (100.0 * (r["packed"] / ref["packed"] - 1)) if ref else "n/a"
    print("  %-28s %10d %8.4f %14s" % (name, r["packed"], r["packed"] / size, versus))
if not ref:
    print("  (libucl not installed: no reference column)")
print()
print("Packing speed (CPU time, MB/s = 10^6 bytes of decoded stream per second)")
for name, r in [("mthc best", best), ("mthc fast", fast)] + ([("reference level 10", ref)] if ref else []):
    print("  %-28s %8.2f MB/s" % (name, r["bytes_per_second"] / 1e6))
PY
