#!/usr/bin/env bash
# The long measurement of Varnu's UCI thinking lines: Varnu over UCI against Stockfish at
# UCI_LimitStrength and UCI_Elo 2000, refereed by our own referee with every pv checked (the
# rules of fastchess's -check-mate-pvs, see the head of tests/tools/referee.cpp). One match with
# Varnu on one thread and one with Threads 2, Hash 16 MB each. Prints, for each match, the score
# with its 95 % interval and the rating difference it means, and the complaints about each
# engine's lines. The complaints are reported, not failed on; a crash, hang, illegal move, time
# forfeit or protocol error of Varnu makes the exit status 1.
#
#   tests/e2e/pv_check_match.sh [BUILD_DIR]   (default ./build: BUILD_DIR/varnu and
#                                              BUILD_DIR/tests/tools/referee must be built)
#
# Environment:
#   PV_GAMES       games of each match (100; about 25 minutes a match on 2 cores)
#   PV_TC          the referee's --tc ("5+0.05": 5 s a game and 0.05 s a move for each side)
#   PV_ELO         Stockfish's UCI_Elo (2000)
#   PV_THREADS     Varnu's thread counts, one match each ("1 2")
#   PV_MAX_PLIES   plies after which a game is drawn by adjudication (300)
#   PV_TOLERANCE   ms a move may overrun the clock before the flag falls (20)
#   PV_STOCKFISH   the opponent (/usr/games/stockfish, Debian's Stockfish 15.1)
#   PV_DIR         where the summaries, game lists and faulty games' transcripts go (a new
#                  folder under TMPDIR, kept)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
engine=$build/varnu
referee=$build/tests/tools/referee
games=${PV_GAMES:-100}
tc=${PV_TC:-5+0.05}
elo=${PV_ELO:-2000}
threads=${PV_THREADS:-1 2}
max_plies=${PV_MAX_PLIES:-300}
tolerance=${PV_TOLERANCE:-20}
stockfish=${PV_STOCKFISH:-/usr/games/stockfish}

for program in "$engine" "$referee" "$stockfish"; do
  if [ ! -x "$program" ]; then
    echo "pv_check_match: $program is missing" >&2
    exit 2
  fi
done
dir=${PV_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/pv_check_match.XXXXXX")}
mkdir -p "$dir"

value() { sed -n "s/^$2=//p" "$1" | head -n1; }

# Score of wins/draws/losses with the 95 % interval from the trinomial standard error (each
# game scores 1, 1/2 or 0), and the rating difference each end means: -400 log10(1/score - 1).
score_line() {
  awk -v w="$1" -v d="$2" -v l="$3" '
    function elo(s) {
      if (s <= 0) return "-inf"
      if (s >= 1) return "+inf"
      difference = -400 * log(1 / s - 1) / log(10)
      # An even score is +0, not -0.
      return sprintf("%+.0f", difference < 0.5 && difference > -0.5 ? 0 : difference)
    }
    BEGIN {
      n = w + d + l
      if (n == 0) { print "no games"; exit }
      s = (w + d / 2) / n
      variance = (w + d / 4) / n - s * s
      half = 1.96 * sqrt(variance / n)
      low = s - half; high = s + half
      if (low < 0) low = 0
      if (high > 1) high = 1
      printf "score %.1f %% (95 %% interval %.1f to %.1f %%), rating difference %s (%s to %s)\n",
        100 * s, 100 * low, 100 * high, elo(s), elo(low), elo(high)
    }'
}

keys="pv_illegal_move pv_after_threefold pv_after_fifty pv_after_mate pv_incomplete_mate
pv_too_long_mate pv_mate_not_reached implausible_depth"
# One engine's complaints from a summary, by kind.
complaints() {
  local summary=$1 p=$2 text="" key
  for key in $keys; do
    text+="$key $(value "$summary" "${p}$key"), "
  done
  echo "$(value "$summary" "${p}pv_lines") pv lines of $(value "$summary" "${p}info_lines") info lines; ${text%, }"
}

status=0
report=""
for t in $threads; do
  name=threads$t
  mkdir -p "$dir/$name"
  echo "== Varnu (Threads $t) against Stockfish at UCI_Elo $elo, $games games at $tc"
  started=$SECONDS
  run_status=0
  (cd "$dir/$name" && "$referee" --games "$games" --uci1 --uci2 --first "$engine" \
    --second "$stockfish" --option1 Hash=16 --option1 "Threads=$t" --option2 Hash=16 \
    --option2 Threads=1 --option2 UCI_LimitStrength=true --option2 "UCI_Elo=$elo" --tc "$tc" \
    --max-plies "$max_plies" --tolerance "$tolerance" --lenient-second \
    --summary "$dir/$name/summary.txt" --log-dir "$dir/$name") | tee "$dir/$name/games.txt" ||
    run_status=$?
  [ "$run_status" -ne 0 ] && status=1
  s=$dir/$name/summary.txt
  report+="Varnu, Threads $t, against $(value "$s" engine2_name | sed 's/ #2$//') at UCI_Elo $elo: $games games at $tc in $((SECONDS - started)) s"
  report+=$'\n'"  Varnu +$(value "$s" engine1_wins) =$(value "$s" engine1_draws) -$(value "$s" engine1_losses): $(score_line "$(value "$s" engine1_wins)" "$(value "$s" engine1_draws)" "$(value "$s" engine1_losses)")"
  report+=$'\n'"  Varnu's faults (crashes, hangs, illegal moves, time forfeits, protocol errors, wrong results): $(value "$s" engine1_faults)"
  report+=$'\n'"  Varnu's lines: $(complaints "$s" engine1_)"
  report+=$'\n'"  Stockfish's lines: $(complaints "$s" engine2_)"
  report+=$'\n'
done

echo
echo "$report" | tee "$dir/report.txt"
echo "pv_check_match: files in $dir"
exit "$status"
