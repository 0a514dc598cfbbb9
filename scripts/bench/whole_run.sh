#!/usr/bin/env bash
# The whole run on the largest container there is (255 blocks of 65535 bytes
# of MIDI data): wall time and peak memory of `mthc --decompress`, next to
# copying a file of the size of its output with cp, and the instruction
# count of the run (valgrind --tool=callgrind, stable on a shared machine).
#
#   scripts/bench/whole_run.sh            Environment: RUNS (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target mthc mthc_make_container >/dev/null
mthc=$root/build/bench/programs/mthc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=${RUNS:-5}

build/bench/bench/mthc_make_container "$work/max.mthc"

# Median of the wall times (seconds) and the largest peak resident set (KiB)
# over $runs runs of a command, read from /usr/bin/time -v.
measure() {
  local times=() peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -v "$@" >/dev/null 2>"$work/time"
    local t kb
    t=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time" |
      awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
    kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time")
    times+=("$t")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')" "$peak"
}

rm -f "$work/out.mid"
read -r mthc_time mthc_peak < <(measure "$mthc" --decompress "$work/out.mid" "$work/max.mthc")
midi_size=$(stat -c %s "$work/out.mid")
container_size=$(stat -c %s "$work/max.mthc")
read -r cp_time cp_peak < <(measure cp "$work/out.mid" "$work/copy.mid")

valgrind --tool=callgrind --callgrind-out-file="$work/cg" "$mthc" --decompress "$work/cg.mid" \
  "$work/max.mthc" >/dev/null 2>"$work/cg.log"
instructions=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/cg.log")
cmp -s "$work/out.mid" "$work/cg.mid" || { echo "the two runs wrote different files" >&2; exit 1; }

limit_kib=$(((4 * midi_size + 8 * 1024 * 1024) / 1024))
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "container: $container_size bytes; MIDI file written: $midi_size bytes; median of $runs runs"
printf '%-28s %10s %14s\n' "" "wall s" "peak RSS KiB"
printf '%-28s %10s %14s\n' "mthc --decompress" "$mthc_time" "$mthc_peak"
printf '%-28s %10s %14s\n' "cp of the MIDI file" "$cp_time" "$cp_peak"
printf 'instructions of the run (callgrind): %s (%s per MIDI byte)\n' "$instructions" \
  "$(awk -v a="$instructions" -v b="$midi_size" 'BEGIN { printf "%.2f", a / b }')"
printf 'peak memory target (4 x MIDI size + 8 MiB): %s KiB -> %s\n' "$limit_kib" \
  "$([ "$mthc_peak" -le "$limit_kib" ] && echo met || echo EXCEEDED)"
