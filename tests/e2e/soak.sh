#!/usr/bin/env bash
# Soak test: many fast games refereed by our own referee (tests/tools/referee.cpp), Varnu against
# itself and, when fairymax is installed, against fairymax, over xboard/CECP; and Varnu over UCI
# against Stockfish at UCI_Elo 2000 when Stockfish is installed, with every thinking line Varnu
# sends checked. Writes the figures to docs/quality.md. Fails on any crash, hang, illegal move,
# time forfeit, protocol error or wrong result announcement by Varnu, and on any complaint about
# Varnu's UCI lines (an illegal pv move, a pv going on after the game's end, a mating pv that does
# not reach its mate, an implausible depth).
#
#   tests/e2e/soak.sh [BUILD_DIR]        (default ./build: BUILD_DIR/varnu and
#                                         BUILD_DIR/tests/tools/referee must be built)
#
# Environment (defaults suit CI, about five minutes on 2 cores):
#   SOAK_GAMES           Varnu against Varnu (70)
#   SOAK_FAIRYMAX_GAMES  Varnu against fairymax, skipped when it is not installed (10)
#   SOAK_UCI_GAMES       Varnu over UCI against Stockfish, skipped when it is not installed (6)
#   SOAK_UCI_TC          the referee's --tc for those games ("2+0.02": 2 s a game, 0.02 s a move)
#   SOAK_UCI_ELO         Stockfish's UCI_Elo under UCI_LimitStrength (2000)
#   SOAK_STOCKFISH       the Stockfish to play (/usr/games/stockfish, Debian's 15.1)
#   SOAK_LEVEL           the "level" command's arguments ("0 0:02 0": 2 s a game for each side)
#   SOAK_MAX_PLIES       plies after which a game is drawn by adjudication (300)
#   SOAK_TOLERANCE       ms a move may overrun the clock before the flag falls (20)
#   SOAK_REPORT          the report to write (docs/quality.md of this checkout)
#   KEEP_SOAK_DIR=1      keep the working folder with the summaries and transcripts
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
engine=$build/varnu
referee=$build/tests/tools/referee
games=${SOAK_GAMES:-70}
fairymax_games=${SOAK_FAIRYMAX_GAMES:-10}
uci_games=${SOAK_UCI_GAMES:-6}
uci_tc=${SOAK_UCI_TC:-2+0.02}
uci_elo=${SOAK_UCI_ELO:-2000}
level=${SOAK_LEVEL:-0 0:02 0}
max_plies=${SOAK_MAX_PLIES:-300}
tolerance=${SOAK_TOLERANCE:-20}
report=${SOAK_REPORT:-$root/docs/quality.md}
fairymax=/usr/games/fairymax
stockfish=${SOAK_STOCKFISH:-/usr/games/stockfish}

for program in "$engine" "$referee"; do
  if [ ! -x "$program" ]; then
    echo "soak: $program is not built" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/soak.XXXXXX")
failed=0
cleanup() {
  local status=$?
  if [ "${KEEP_SOAK_DIR:-0}" = 1 ] || [ "$failed" -ne 0 ] || [ "$status" -ne 0 ]; then
    echo "soak: files kept in $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# One referee run in its own folder (no opening book there). Its faulty games leave transcripts.
# The time control is the soak's level unless the arguments give one.
run_match() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  echo "== $name"
  local status=0
  local control=(--level "$level")
  [[ " $* " == *" --tc "* ]] && control=()
  (cd "$work/$name" && "$referee" --games "$@" "${control[@]}" --max-plies "$max_plies" \
    --tolerance "$tolerance" --summary "$work/$name/summary.txt" --log-dir "$work/$name") \
    | tee "$work/$name/games.txt" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "soak: $name FAILED (referee exit status $status)"
    failed=1
  fi
}

started=$SECONDS
matches=(self)
run_match self "$games" --first "$engine" --second "$engine"
if [ "$fairymax_games" -gt 0 ] && [ -x "$fairymax" ]; then
  matches+=(fairymax)
  # Only Varnu's faults count; fairymax's own are reported but do not fail the run.
  run_match fairymax "$fairymax_games" --first "$engine" --second "$fairymax" --lenient-second
fi
uci_note=
uci_seconds=0
if [ "$uci_games" -le 0 ]; then
  uci_note="not played (SOAK_UCI_GAMES=$uci_games)"
elif [ ! -x "$stockfish" ]; then
  uci_note="not played: $stockfish is not installed"
  echo "soak: $stockfish is not installed, the UCI games against it are skipped"
elif ! "$root/tests/e2e/referee_pv_check.sh" "$build"; then
  # The checks of the lines are wrong themselves: their figures would mean nothing.
  uci_note="not played: the referee's own checks of UCI lines failed"
  failed=1
else
  matches+=(uci)
  uci_started=$SECONDS
  # Varnu's lines are checked strictly; Stockfish's are counted but do not fail the run.
  run_match uci "$uci_games" --uci1 --uci2 --first "$engine" --second "$stockfish" \
    --option1 Hash=16 --option2 Hash=16 --option2 UCI_LimitStrength=true \
    --option2 "UCI_Elo=$uci_elo" --tc "$uci_tc" --strict-pv --lenient-second
  uci_seconds=$((SECONDS - uci_started))
fi
seconds=$((SECONDS - started))

value() {
  local v
  v=$(sed -n "s/^$2=//p" "$work/$1/summary.txt" 2>/dev/null | head -n1)
  echo "${v:-?}"
}
count() { local v; v=$(value "$1" "$2"); [[ "$v" =~ ^[0-9]+$ ]] && echo "$v" || echo 0; }
match_title() {
  case $1 in
    self) echo "Varnu - Varnu" ;;
    fairymax) echo "Varnu - fairymax" ;;
    uci) echo "Varnu - Stockfish (UCI)" ;;
  esac
}
# The counts of one engine in one match, as table cells.
row() {
  local m=$1 p=$2
  echo "$(value "$m" games) | $(value "$m" ${p}wins)/$(value "$m" ${p}draws)/$(value "$m" ${p}losses) |" \
    "$(value "$m" ${p}illegal_moves) | $(value "$m" ${p}time_forfeits) | $(value "$m" ${p}crashes) |" \
    "$(value "$m" ${p}hangs) | $(value "$m" ${p}protocol_errors) |" \
    "$(( $(count "$m" ${p}false_claims) + $(count "$m" ${p}wrong_results) ))"
}

# The report: what ran, where, and what it found.
{
  echo "# Quality figures: soak games"
  echo
  echo "Written by \`tests/e2e/soak.sh\` on each run (CI runs it); do not edit by hand."
  echo "Games are refereed by \`tests/tools/referee\`, which checks every move with our own move"
  echo "generator, keeps both clocks, adjudicates the game end with our own game-end rules and"
  echo "compares the results the engines announce with its own."
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1), $(uname -sm)"
  echo "- Engine: $(value self engine1_name | sed 's/ #1$//'), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown), one search thread per engine"
  echo "- Time control: \`level $level\` for each side, clocks kept by the referee and sent with \`time\`/\`otim\` before every move"
  if [ -n "$uci_note" ]; then
    echo "- Varnu over UCI against Stockfish: $uci_note"
  else
    echo "- Varnu over UCI against $(value uci engine2_name | sed 's/ #2$//') with UCI_LimitStrength and UCI_Elo $uci_elo, Hash 16 MB each, one thread each: \`--tc $uci_tc\` (seconds a game + a move), clocks sent with \`go wtime btime winc binc\`; ${uci_seconds} s"
  fi
  echo "- Flag tolerance ${tolerance} ms; an engine silent $(value self hang_ms) ms past its flag counts as hung; games drawn by adjudication after $max_plies plies"
  echo "- Openings: 20 four-ply openings, each played with both colours"
  echo "- Total run time: ${seconds} s"
  echo
  echo "| Match | Engine | Games | +/=/- | Illegal moves | Time forfeits | Crashes | Hangs | Protocol errors | False or wrong results |"
  echo "|---|---|---|---|---|---|---|---|---|---|"
  for m in "${matches[@]}"; do
    for e in 1 2; do
      echo "| $(match_title "$m") | $(value "$m" engine${e}_name) | $(row "$m" engine${e}_) |"
    done
  done
  echo
  echo "How the games ended:"
  echo
  for m in "${matches[@]}"; do
    grep -h '^game ' "$work/$m/games.txt" | sed -n 's/.*: \([^ ]*\) {\([^}]*\)}, [0-9.]* s$/\2/p' \
      | sed 's/Draw by adjudication after [0-9]* plies/Draw by adjudication at the ply cap/' \
      | sort | uniq -c | sort -rn | while read -r count reason; do
        echo "- $(match_title "$m"): $reason: $count"
      done
  done
  echo
  echo "Move times of Varnu (measured by the referee from its last command to the \"move\" line, or to \"bestmove\" over UCI):"
  echo
  for m in "${matches[@]}"; do
    for e in 1 2; do
      [ "$m" != self ] && [ $e = 2 ] && continue
      p=engine${e}_
      line="- $(match_title "$m"), $(value "$m" ${p}name): $(value "$m" ${p}moves) moves, longest $(value "$m" ${p}longest_move_ms) ms, lowest clock left $(value "$m" ${p}lowest_clock_ms) ms"
      # Only the xboard front end prints its budget.
      [ "$m" != uci ] && line+=", longest time over the budget it printed (\"# set maxTime\"): $(value "$m" ${p}over_budget_ms) ms ($(value "$m" ${p}over_budget_where))"
      echo "$line"
    done
  done
  echo
  if [[ " ${matches[*]} " == *" uci "* ]]; then
    echo "Thinking lines over UCI, each pv played out by the referee from the position searched"
    echo "(the rules of fastchess's \`-check-mate-pvs\`; a depth above 128 counts as implausible):"
    echo
    echo "| Engine | Info lines | With a pv | Illegal pv move | Pv after threefold | Pv after fifty-move rule | Pv after mate/stalemate | Incomplete mating pv | Too long mating pv | Mating pv without mate | Implausible depth |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|"
    for e in 1 2; do
      p=engine${e}_
      echo "| $(value uci ${p}name) | $(value uci ${p}info_lines) | $(value uci ${p}pv_lines) |" \
        "$(value uci ${p}pv_illegal_move) | $(value uci ${p}pv_after_threefold) |" \
        "$(value uci ${p}pv_after_fifty) | $(value uci ${p}pv_after_mate) |" \
        "$(value uci ${p}pv_incomplete_mate) | $(value uci ${p}pv_too_long_mate) |" \
        "$(value uci ${p}pv_mate_not_reached) | $(value uci ${p}implausible_depth) |"
    done
    echo
    echo "Varnu's complaints fail the soak; Stockfish's are counted only."
    echo
  fi
  if [ "$failed" -eq 0 ]; then
    echo "Faults found: none."
  else
    echo "Faults found (the referee kept a transcript of each of these games):"
    echo
    for m in "${matches[@]}"; do
      # A game kept for Stockfish's lines alone, which do not count, is left out.
      awk -v title="$(match_title "$m")" -v counted_only="$([ "$m" = uci ] && echo 1 || echo 0)" '
        function flush() {
          if (kept && (!counted_only || ours || game !~ /(checkmate|Stalemate|Draw by [^}]*)\}/))
            print "- " title ": " game complaints
          kept = ours = 0; complaints = ""
        }
        /^game / { flush(); game = $0; next }
        /^  transcript: / { kept = 1; next }
        /^  pv complaints of engine / {
          if ($0 ~ /engine 1:/) ours = 1
          sub(/^  /, ""); complaints = complaints "\n  - " $0
        }
        END { flush() }
      ' "$work/$m/games.txt"
    done
  fi
} >"$report.tmp"
mv "$report.tmp" "$report"

echo "soak: ${seconds} s, report written to $report"
exit "$failed"
