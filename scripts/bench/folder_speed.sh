#!/usr/bin/env bash
# A folder of songs at gzip's pace? Times mthc-pack and gzip on the same
# generated songs in the same folder, and prints the median of interleaved
# rounds for each and their ratio:
#
#   unpacking   mthc-pack -q -d -f *.mthc     against  gzip -d -k -f *.gz
#   packing     mthc-pack -q -f [-1|-9] *.mid  against  gzip -k -f [-1|-9] *.mid
#
# each twice: over the outputs of the round before ("replacing", as in a
# folder converted again) and into a folder without them ("new"; they are
# removed before the timed run, untimed).
#
#   scripts/bench/folder_speed.sh [MTHC_PACK] [ROUNDS] [SONGS]
#
# MTHC_PACK defaults to build/release/programs/mthc-pack, ROUNDS to 7, SONGS to
# 89. The songs are written under $FOLDER_SPEED_DIR (default build/, on the
# disk of the checkout), so that both tools write to the same disk; the
# folder is removed at the end.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
pack=$(realpath "${1:-$top/build/release/programs/mthc-pack}")
rounds=${2:-7}
songs=${3:-89}
[ -x "$pack" ] || { echo "no mthc-pack at $pack (cmake --preset release && cmake --build --preset release)" >&2; exit 1; }
command -v gzip >/dev/null || { echo "gzip is needed" >&2; exit 1; }

base=${FOLDER_SPEED_DIR:-$top/build}
mkdir -p "$base"
work=$(mktemp -d "$base/folder-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Songs like a collection's: 2 to 12 instruments, a tempo track, 20 to 200
# bars of repeated motifs (some 10 to 150 KB each).
python3 - "$top/tests/cli" "$work/songs" "$songs" <<'EOF'
import os, random, sys
sys.path.insert(0, sys.argv[1])
from midi_builder import midi_file, tune_track
folder, count = sys.argv[2], int(sys.argv[3])
os.makedirs(folder)
tempo = b"\x00\xff\x51\x03\x07\xa1\x20\x00\xff\x2f\x00"
for i in range(count):
    rng = random.Random(i)
    tracks = [tempo] + [tune_track(100 * i + t, t % 16, rng.randrange(20, 200))
                        for t in range(rng.randrange(2, 13))]
    with open(os.path.join(folder, "song%03d.mid" % i), "wb") as f:
        f.write(midi_file(tracks))
EOF

# One folder per tool and task, each with its inputs only.
prepare() {  # prepare FOLDER KIND
  mkdir -p "$work/$1"
  cp "$work"/songs/*.mid "$work/$1/"
  case $2 in
    mthc) (cd "$work/$1" && "$pack" -q -1 ./*.mid && rm ./*.mid) ;;
    gz) (cd "$work/$1" && gzip -q ./*.mid) ;;
  esac
}
prepare unpack-mthc mthc
prepare unpack-gzip gz
prepare pack-mthc mid
prepare pack-gzip mid

# timed FOLDER FRESH_GLOB COMMAND: the wall and CPU (user + system) time of
# COMMAND, in microseconds, its globs expanded in FOLDER and run there; with
# FRESH_GLOB, the files it names are removed first (untimed). Every run
# starts with nothing left to write back.
timed() {
  local folder=$1 fresh=$2 command=$3
  (
    cd "$work/$folder"
    if [ -n "$fresh" ]; then eval "rm -f $fresh"; fi
    sync
    TIMEFORMAT='%3R %3U %3S'
    { time eval "$command" 2>/dev/null; } 2>&1 | awk '{printf "%d %d\n", $1 * 1e6, ($2 + $3) * 1e6}'
  )
}

median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# measure LABEL FOLDER_A FRESH_A "COMMAND_A" FOLDER_B FRESH_B "COMMAND_B"
measure() {
  local label=$1 fa=$2 ra=$3 ca=$4 fb=$5 rb=$6 cb=$7 a=() b=() r
  # The outputs of the round before, for the first timed round too.
  timed "$fa" "" "$ca" >/dev/null
  timed "$fb" "" "$cb" >/dev/null
  for ((r = 0; r < rounds; r++)); do
    # Turns: each tool goes first in every other round.
    if ((r % 2 == 0)); then
      a+=("$(timed "$fa" "$ra" "$ca")")
      b+=("$(timed "$fb" "$rb" "$cb")")
    else
      b+=("$(timed "$fb" "$rb" "$cb")")
      a+=("$(timed "$fa" "$ra" "$ca")")
    fi
  done
  local wa wb ca_ cb_
  wa=$(printf '%s\n' "${a[@]}" | cut -d' ' -f1 | median)
  wb=$(printf '%s\n' "${b[@]}" | cut -d' ' -f1 | median)
  ca_=$(printf '%s\n' "${a[@]}" | cut -d' ' -f2 | median)
  cb_=$(printf '%s\n' "${b[@]}" | cut -d' ' -f2 | median)
  awk -v l="$label" -v a="$wa" -v b="$wb" -v c="$ca_" -v d="$cb_" \
    'BEGIN {printf "%-28s %9.1f %9.1f %6.2f %11.1f %9.1f\n", l, a / 1000, b / 1000, a / b, c / 1000, d / 1000}'
}

bytes=$(cat "$work"/songs/*.mid | wc -c)
echo "$songs songs, $((bytes / 1024)) KiB of MIDI, in $work ($(df -T "$work" | awk 'NR == 2 {print $2}'))"
echo "$rounds interleaved rounds, medians in ms (wall time; CPU time, user + system)"
echo "mthc-pack: $pack"
printf '%-28s %9s %9s %6s %11s %9s\n' "" "mthc-pack" "gzip" "ratio" "mthc-pack" "gzip"
printf '%-28s %9s %9s %6s %11s %9s\n' "" "wall" "wall" "" "CPU" "CPU"
measure "unpacking, replacing" \
  unpack-mthc "" "$pack -q -d -f ./*.mthc" unpack-gzip "" "gzip -d -k -f ./*.gz"
measure "unpacking, new files" \
  unpack-mthc "./*.mid" "$pack -q -d -f ./*.mthc" unpack-gzip "./*.mid" "gzip -d -k -f ./*.gz"
for level in 1 9; do
  measure "packing -$level, replacing" \
    pack-mthc "" "$pack -q -f -$level ./*.mid" pack-gzip "" "gzip -k -f -$level ./*.mid"
  measure "packing -$level, new files" \
    pack-mthc "./*.mthc" "$pack -q -f -$level ./*.mid" pack-gzip "./*.gz" "gzip -k -f -$level ./*.mid"
done
