#!/usr/bin/env bash
# Soak test: many fast games refereed by our own referee (tests/tools/referee.cpp), Varnu against
# itself and, when fairymax is installed, against fairymax. Writes the figures to
# docs/quality.md. Fails on any crash, hang, illegal move, time forfeit, protocol error or wrong
# result announcement by Varnu.
#
#   tests/e2e/soak.sh [BUILD_DIR]        (default ./build: BUILD_DIR/varnu and
#                                         BUILD_DIR/tests/tools/referee must be built)
#
# Environment (defaults suit CI, about four minutes on 2 cores):
#   SOAK_GAMES           Varnu against Varnu (70)
#   SOAK_FAIRYMAX_GAMES  Varnu against fairymax, skipped when it is not installed (10)
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
level=${SOAK_LEVEL:-0 0:02 0}
max_plies=${SOAK_MAX_PLIES:-300}
tolerance=${SOAK_TOLERANCE:-20}
report=${SOAK_REPORT:-$root/docs/quality.md}
fairymax=/usr/games/fairymax

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
run_match() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  echo "== $name"
  local status=0
  (cd "$work/$name" && "$referee" --games "$@" --level "$level" --max-plies "$max_plies" \
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
seconds=$((SECONDS - started))

value() {
  local v
  v=$(sed -n "s/^$2=//p" "$work/$1/summary.txt" 2>/dev/null | head -n1)
  echo "${v:-?}"
}
count() { local v; v=$(value "$1" "$2"); [[ "$v" =~ ^[0-9]+$ ]] && echo "$v" || echo 0; }
match_title() { [ "$1" = self ] && echo "Varnu - Varnu" || echo "Varnu - fairymax"; }
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
  echo "Move times of Varnu (measured by the referee from its last command to the \"move\" line):"
  echo
  for m in "${matches[@]}"; do
    for e in 1 2; do
      [ "$m" = fairymax ] && [ $e = 2 ] && continue
      p=engine${e}_
      echo "- $(match_title "$m"), $(value "$m" ${p}name): $(value "$m" ${p}moves) moves, longest $(value "$m" ${p}longest_move_ms) ms, lowest clock left $(value "$m" ${p}lowest_clock_ms) ms, longest time over the budget it printed (\"# set maxTime\"): $(value "$m" ${p}over_budget_ms) ms ($(value "$m" ${p}over_budget_where))"
    done
  done
  echo
  if [ "$failed" -eq 0 ]; then
    echo "Faults found: none."
  else
    echo "Faults found (the referee kept a transcript of each of these games):"
    echo
    for m in "${matches[@]}"; do
      grep -h -B1 '^  transcript: ' "$work/$m/games.txt" | grep '^game ' | sed "s/^/- $(match_title "$m"): /" || true
    done
  fi
} >"$report.tmp"
mv "$report.tmp" "$report"

echo "soak: ${seconds} s, report written to $report"
exit "$failed"
