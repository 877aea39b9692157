#!/usr/bin/env bash
# How long a fresh engine process takes to have its first hash table ready: UCI "setoption name
# Hash value N" and then "isready", timed to the "readyok". The engines take turns, one fresh
# process per size and run, in the order given on odd runs and reversed on even ones; the script
# prints a Markdown table of the medians with the smallest and largest time in brackets, and how
# much of each process's memory the kernel gave in huge pages (AnonHugePages of /proc/PID/smaps,
# the median of the runs).
#
#   tests/tools/hash_ready.sh [engine...]
#
# Environment: SIZES (megabytes, default "2048 8192"), RUNS (4: an even count puts every engine
# first in its pair as often as second), THREADS (the engines' Threads option, 1), GAP (seconds
# to wait before each process, 5), WARM (1: just before each process, touch and give back a
# buffer of the table's size and a little more). The engines default to build/varnu and
# Debian's /usr/games/stockfish.
#
# On a virtual machine whose balloon reports freed memory back to the host (a virtio balloon
# with free page reporting), memory that a process gave back moments ago is still backed by the
# host, and a table there is ready several times sooner than one in memory that the host must
# first provide; the host hands it back over some seconds, not at once. So an engine that runs
# right after another freed a large table is favoured, by how much depending on the gap. WARM=1
# puts every engine in the same fast case, which measures what the engine itself does; a long
# GAP (30 s and more) puts every one in the slow case.
set -euo pipefail

sizes=(${SIZES:-2048 8192})
runs=${RUNS:-4}
threads=${THREADS:-1}
gap=${GAP:-5}
warm=${WARM:-0}
engines=("$@")
[ ${#engines[@]} -gt 0 ] || engines=(build/varnu /usr/games/stockfish)

# Reads the engine's lines until one that starts with the word.
await() {
  local line
  while IFS= read -r -t 120 -u "${engine[0]}" line; do
    [[ $line == "$1"* ]] && return 0
  done
  echo "no '$1' from the engine" >&2
  exit 1
}

# Touches a buffer of the megabytes given, one byte a page, and frees it.
warm_up() {
  python3 -c 'import sys
b = bytearray(int(sys.argv[1]) << 20)
b[::4096] = b"\1" * len(range(0, len(b), 4096))' "$1"
}

# Megabytes of the process and its children that lie in transparent huge pages.
huge_megabytes() {
  local kb=0 pid v
  for pid in "$1" $(pgrep -P "$1" || true); do
    v=$(awk '/^AnonHugePages:/ { s += $2 } END { print s + 0 }' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
    kb=$((kb + v))
  done
  echo $((kb / 1024))
}

# Seconds from the Hash option to the readyok in a fresh process of the engine, and the
# megabytes it then holds in huge pages.
ready_seconds() {
  coproc engine { "$1" 2>/dev/null; }
  echo uci >&"${engine[1]}"
  await uciok
  echo "setoption name Threads value $threads" >&"${engine[1]}"
  echo isready >&"${engine[1]}"
  await readyok
  local start end
  start=$(date +%s%N)
  printf 'setoption name Hash value %s\nisready\n' "$2" >&"${engine[1]}"
  await readyok
  end=$(date +%s%N)
  local huge
  huge=$(huge_megabytes "$engine_PID")
  echo quit >&"${engine[1]}"
  wait "$engine_PID" || true
  awk -v ns=$((end - start)) -v huge="$huge" 'BEGIN { printf "%.2f %d\n", ns / 1e9, huge }'
}

# The median of the numbers given.
median() {
  printf '%s\n' "$@" | sort -g |
    awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# "median [smallest, largest]" of the numbers given, in seconds.
summary() {
  printf '%s\n' "$@" | sort -g |
    awk -v m="$(median "$@")" '{ v[NR] = $1 } END { printf "%.2f s [%.2f, %.2f]", m, v[1], v[NR] }'
}

declare -A times huge
for ((run = 1; run <= runs; ++run)); do
  for size in "${sizes[@]}"; do
    # Odd runs take the engines in the order given, even ones in reverse, so that none always
    # follows the same one.
    order=("${engines[@]}")
    if ((run % 2 == 0)); then
      order=()
      for ((i = ${#engines[@]} - 1; i >= 0; --i)); do order+=("${engines[i]}"); done
    fi
    for e in "${order[@]}"; do
      sleep "$gap"
      [ "$warm" = 1 ] && warm_up $((size + 256))
      read -r t h < <(ready_seconds "$e" "$size")
      times[$e,$size]+="$t "
      huge[$e,$size]+="$h "
      echo "run $run: $e, $size MB: $t s, $h MB in huge pages" >&2
    done
  done
done

echo
echo "First table ready, $runs fresh processes each, Threads $threads, $gap s between processes," \
  "$([ "$warm" = 1 ] && echo "memory warmed before each" || echo "no warming")"
echo
header="| Hash |"
rule="|---|"
for e in "${engines[@]}"; do
  header+=" $(basename "$e") |"
  rule+="---|"
done
echo "$header"
echo "$rule"
for size in "${sizes[@]}"; do
  row="| $size MB |"
  for e in "${engines[@]}"; do
    # shellcheck disable=SC2086
    row+=" $(summary ${times[$e,$size]}), $(median ${huge[$e,$size]}) MB in huge pages |"
  done
  echo "$row"
done
