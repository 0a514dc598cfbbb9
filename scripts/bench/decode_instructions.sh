#!/usr/bin/env bash
# Counts the instructions each decoder executes per decoded byte, with
# valgrind --tool=callgrind (stable on a shared machine, unlike wall time).
# Only instructions inside the decoder function (and what it calls) count;
# packing the data set and checking the output do not.
#
#   scripts/bench/decode_instructions.sh [data set ...]     (default: midi)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target mthc_decode_count >/dev/null
driver=build/bench/bench/mthc_decode_count
passes=2
sets=("$@")
[ ${#sets[@]} -eq 0 ] && sets=(midi)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

printf '%-12s %-10s %-12s %14s %14s %10s\n' "data set" "packed by" decoder instructions "bytes" "per byte"
for set in "${sets[@]}"; do
  for packer in mthc_best ucl10; do
    for decoder in mthc ucl_safe_8 ucl_8; do
      case $decoder in
        mthc) fn='mthc::decode_block*' ;;
        ucl_safe_8) fn='ucl_nrv2b_decompress_safe_8' ;;
        ucl_8) fn='ucl_nrv2b_decompress_8' ;;
      esac
      # Missing compressors or decoders (no libucl, no encoder yet) are skipped.
      "$driver" "$set" "$packer" "$decoder" 1 >/dev/null 2>&1 || continue
      log=$out/log
      valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect="$fn" \
        "$driver" "$set" "$packer" "$decoder" "$passes" >"$out/stdout" 2>"$log"
      ir=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$log")
      bytes=$(sed -n 's/decoded \([0-9]*\) bytes.*/\1/p' "$out/stdout")
      printf '%-12s %-10s %-12s %14d %14d %10.2f\n' "$set" "$packer" "$decoder" "$ir" "$bytes" \
        "$(awk -v a="$ir" -v b="$bytes" 'BEGIN { print a / b }')"
    done
  done
done
