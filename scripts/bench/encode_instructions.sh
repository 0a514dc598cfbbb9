#!/usr/bin/env bash
# Counts the instructions each coder executes per input byte on the encoder
# benchmark's inputs, with valgrind --tool=callgrind (stable on a shared
# machine, unlike time). Only instructions inside the coder count; making the
# input and checking the output do not.
#
#   scripts/bench/encode_instructions.sh [input ...]     (default: songs)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target mthc_encode_count >/dev/null
driver=build/bench/bench/mthc_encode_count
inputs=("$@")
[ ${#inputs[@]} -eq 0 ] && inputs=(songs)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

printf '%-16s %-6s %16s %12s %12s %10s\n' input coder instructions bytes packed "per byte"
for input in "${inputs[@]}"; do
  for coder in best fast ucl10; do
    case $coder in
      ucl10) fn='ucl_nrv2b_99_compress' ;;
      *) fn='mthc::encode_block*' ;;
    esac
    # A coder that is missing (no libucl) fails, and is skipped.
    valgrind --tool=callgrind --callgrind-out-file="$out/cg" --toggle-collect="$fn" \
      "$driver" "$input" "$coder" 1 >"$out/stdout" 2>"$out/log" || continue
    ir=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$out/log")
    read -r bytes packed < <(sed -n 's/packed \([0-9]*\) bytes into \([0-9]*\)/\1 \2/p' "$out/stdout")
    printf '%-16s %-6s %16d %12d %12d %10.1f\n' "$input" "$coder" "$ir" "$bytes" "$packed" \
      "$(awk -v a="$ir" -v b="$bytes" 'BEGIN { print a / b }')"
  done
done
