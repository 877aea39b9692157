#!/usr/bin/env bash
# End-to-end match: Varnu against fairymax, refereed by the real xboard GUI on a virtual display.
# xboard checks every move, keeps both clocks, calls flags, tests result claims and saves the
# games; this script waits for the saved games, then reads their results and xboard's debug log.
#
#   tests/e2e/xboard_match.sh [path/to/varnu]        (default ./build/varnu)
#
# Environment: MATCH_GAMES (default 2, colours alternate), MATCH_TC (xboard -tc, default 0:15),
# MATCH_INC (xboard -inc in seconds, default 0: the whole game is one period; -1 for periods of
# MATCH_MPS moves), MATCH_MPS (xboard -mps, default 40), MATCH_ST (xboard -searchTime, a fixed
# time per move such as 0:01; xboard then keeps no clocks), MATCH_TIMEOUT (seconds to wait for
# all games, default 300), MATCH_UCI=1 runs Varnu as a UCI engine through the polyglot adapter
# (xboard's -fUCI), MATCH_OPTIONS sets Varnu's engine options (xboard's -firstOptions, such as
# "ttHashSizeMB=1024", or "Hash=1024" over UCI), KEEP_MATCH_DIR=1 keeps the working folder with
# the PGN and the logs, MATCH_OPPONENT (the opponent's command, default fairymax; phalanx and
# gnuchessx ponder), MATCH_PONDER=1 turns pondering on for both engines (xboard's
# -ponderNextMove) and thinking output, and reports Varnu's ponder hits and misses with the mean
# depth of the moves after each. MATCH_VARIANT (xboard -variant, such as fischerandom: a random
# Chess960 start position for every game); MATCH_OPPONENT=varnu plays Varnu against itself over
# xboard/CECP instead (Debian's fairymax plays no Chess960): every decisive game must then end in
# mate and neither side may refuse a command. MATCH_OPPONENT_UCI=1 runs the opponent as a UCI
# engine through the adapter (xboard's -sUCI), such as MATCH_OPPONENT=/usr/games/stockfish,
# which plays Chess960 too.
# Needs the Debian packages xboard, fairymax and xvfb, and polyglot for MATCH_UCI. Exit status 0
# only when every game ended with a proper result and Varnu made no illegal move, lost no game on
# time and did not crash; with MATCH_ST, also only when every budget Varnu printed lies between
# half the time and the time per move. The move times are read from xboard's debug log: from the
# last command xboard sent before Varnu printed its budget to Varnu's move; over UCI, where no
# budget is printed, from the adapter's "go" to Varnu's "bestmove", none longer than MATCH_ST.
set -euo pipefail

script=$(realpath "$0")
script_args=("$@")
engine=${1:-./build/varnu}
games=${MATCH_GAMES:-2}
tc=${MATCH_TC:-0:15}
variant=${MATCH_VARIANT:-}
self_play=0
[ "${MATCH_OPPONENT:-fairymax}" = varnu ] && self_play=1
inc=${MATCH_INC:-0}
mps=${MATCH_MPS:-40}
st=${MATCH_ST:-}
timeout=${MATCH_TIMEOUT:-300}
uci=${MATCH_UCI:-0}
opponent_uci=${MATCH_OPPONENT_UCI:-0}
ponder=${MATCH_PONDER:-0}
xboard=/usr/games/xboard
fairymax=${MATCH_OPPONENT:-/usr/games/fairymax}
[ "$self_play" = 1 ] && fairymax=/usr/games/fairymax
# xboard starts the polyglot adapter by name.
export PATH="$PATH:/usr/games"

if [ ! -x "$engine" ]; then
  echo "xboard_match: no engine at $engine (build it first or pass its path)" >&2
  exit 2
fi
engine=$(realpath "$engine")
opponent=$fairymax
[ "$self_play" = 1 ] && opponent=$engine
tools=(Xvfb "$xboard" "$fairymax")
[ "$uci" = 1 ] || [ "$opponent_uci" = 1 ] && tools+=(polyglot)
for tool in "${tools[@]}"; do
  if ! command -v "$tool" >/dev/null; then
    echo "xboard_match: $tool is missing (apt-get install xboard fairymax xvfb polyglot)" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/xboard_match.XXXXXX")
xvfb_pid=""
xboard_pid=""

# Stops only what this script started: xboard's engines (its children), xboard, then Xvfb.
stop_process() {
  local pid=$1
  kill -0 "$pid" 2>/dev/null || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  local status=$?
  if [ -n "$xboard_pid" ]; then
    local children
    children=$(ps -o pid= --ppid "$xboard_pid" 2>/dev/null || true)
    stop_process "$xboard_pid"
    for child in $children; do
      kill -KILL "$child" 2>/dev/null || true
    done
  fi
  [ -n "$xvfb_pid" ] && stop_process "$xvfb_pid"
  if [ "${KEEP_MATCH_DIR:-0}" = 1 ] || [ "$status" -ne 0 ]; then
    echo "xboard_match: files kept in $work"
  else
    rm -rf "$work"
  fi
  # An opponent that died is not Varnu's fault: the match is played once more.
  if [ "$status" -ne 0 ] && [ "${opponent_died:-0}" = 1 ] && [ -z "${MATCH_RETRIED:-}" ]; then
    echo "xboard_match: the opponent died; the match is played again"
    status=0
    MATCH_RETRIED=1 "$script" "${script_args[@]}" || status=$?
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Xvfb picks a free display itself and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "xboard_match: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
display=":$(head -n1 "$work/display")"

time_control=(-tc "$tc" -inc "$inc" -mps "$mps")
if [ -n "$st" ]; then
  time_control+=(-searchTime "$st")
fi
# xboard ponders by default; the other games keep both engines on their own time, as before.
ponder_options=(-ponderNextMove false)
if [ "$ponder" = 1 ]; then
  ponder_options=(-ponderNextMove true -showThinking true)
fi
variant_option=()
[ -n "$variant" ] && variant_option=(-variant "$variant")

# Varnu is the first engine in every game; xboard alternates the colours. Both engines run in the
# private folder, so no opening book is found there. xboard adjudicates mates and draws by the
# rules and calls flags; a false claim by an engine loses.
# The opponent runs in a folder of its own, so that an adapter started for it logs apart.
mkdir "$work/opponent"
protocol=()
if [ "$uci" = 1 ] || [ "$opponent_uci" = 1 ]; then
  # The adapter logs both sides of its talk with the engine, Varnu's in $work/polyglot.log.
  protocol=(-adapterCommand "polyglot -noini -log true -lf \"%fd/polyglot.log\" -ec \"%fcp\" -ed \"%fd\"")
fi
[ "$uci" = 1 ] && protocol+=(-fUCI)
[ "$opponent_uci" = 1 ] && protocol+=(-sUCI)
if [ -n "${MATCH_OPTIONS:-}" ]; then
  protocol+=(-firstOptions "$MATCH_OPTIONS")
fi
HOME="$work" DISPLAY="$display" "$xboard" -noGUI "${protocol[@]}" "${variant_option[@]}" \
  -matchMode true -matchGames "$games" -matchPause 500 \
  "${time_control[@]}" "${ponder_options[@]}" \
  -fcp "$engine" -fd "$work" -scp "$opponent" -sd "$work/opponent" \
  -saveGameFile "$work/games.pgn" -debug -nameOfDebugFile "$work/xboard.debug" \
  -autoCallFlag true -testClaims true -checkMates true -materialDraws true -trivialDraws false \
  -ruleMoves 51 -repeatsToDraw 3 -popupExitMessage false -popupMoveErrors false \
  -soundProgram "" -settingsFile "$work/xboardrc" -saveSettingsFile "$work/xboardrc" \
  >"$work/xboard.out" 2>&1 &
xboard_pid=$!

# xboard stays up after the match: wait until the PGN holds every game.
started=$SECONDS
finished=0
while [ $((SECONDS - started)) -lt "$timeout" ]; do
  if [ -f "$work/games.pgn" ]; then
    finished=$(grep -c '^\[Result "' "$work/games.pgn" || true)
  fi
  [ "$finished" -ge "$games" ] && break
  # It does exit after a match that ended early (an engine that never started, say).
  kill -0 "$xboard_pid" 2>/dev/null || break
  sleep 1
done
elapsed=$((SECONDS - started))

failures=()
if [ "$finished" -lt "$games" ]; then
  failures+=("only $finished of $games games finished within ${timeout}s")
fi

# One line per game: white, black, result and the comment that closes the move text.
summary=$(awk '
  function flush() {
    if (result == "") return
    text = moves
    gsub(/[ \t]+/, " ", text)
    reason = ""
    if (match(text, /\{[^}]*\} *(1-0|0-1|1\/2-1\/2|\*) *$/)) {
      reason = substr(text, RSTART + 1, RLENGTH)
      sub(/\}.*/, "", reason)
    }
    bare = text
    gsub(/\{[^}]*\}/, " ", bare)
    count = split(bare, token, " ")
    plies = 0
    for (i = 1; i <= count; i++)
      if (token[i] !~ /^[0-9]+\.*$/ && token[i] !~ /^(1-0|0-1|1\/2-1\/2|\*)$/) plies++
    printf "%s\037%s\037%s\037%s\037%d\n", white, black, result, reason, plies
    result = ""; moves = ""
  }
  /^\[White "/ { flush(); white = $0; sub(/^\[White "/, "", white); sub(/"\]$/, "", white) }
  /^\[Black "/ { black = $0; sub(/^\[Black "/, "", black); sub(/"\]$/, "", black) }
  /^\[Result "/ { result = $0; sub(/^\[Result "/, "", result); sub(/"\]$/, "", result) }
  /^[^[]/ { moves = moves " " $0 }
  END { flush() }
' "$work/games.pgn" 2>/dev/null || true)

wins=0; draws=0; losses=0; n=0
# Fields are split at the unit separator, which keeps an empty field in its place.
while IFS=$'\037' read -r white black result reason plies; do
  [ -n "$white" ] || continue
  n=$((n + 1))
  echo "game $n: $white - $black: $result {$reason}, $plies plies"
  if [[ "$white" == Varnu* ]]; then varnu_white=1; else varnu_white=0; fi
  case "$result" in
    # Against itself Varnu loses every decisive game, which must then end in mate.
    1-0 | 0-1) [ "$self_play" = 1 ] && varnu_white=$([ "$result" = 0-1 ] && echo 1 || echo 0) ;;
  esac
  case "$result" in
    1/2-1/2) draws=$((draws + 1)); varnu_lost=0 ;;
    1-0) if [ $varnu_white = 1 ]; then wins=$((wins + 1)); varnu_lost=0; else losses=$((losses + 1)); varnu_lost=1; fi ;;
    0-1) if [ $varnu_white = 1 ]; then losses=$((losses + 1)); varnu_lost=1; else wins=$((wins + 1)); varnu_lost=0; fi ;;
    *) failures+=("game $n has no result: $result"); continue ;;
  esac
  # Varnu may lose only by checkmate; a draw must come from the rules or an agreement. A win
  # may come from the opponent's fault, which is fairymax's business.
  shopt -s nocasematch
  if [ -z "$reason" ]; then
    failures+=("game $n ended without a reason")
  elif [ "$varnu_lost" = 1 ] && [[ ! "$reason" =~ mate ]]; then
    failures+=("game $n: Varnu lost other than by checkmate: $reason")
  elif [ "$result" = 1/2-1/2 ] && [[ "$reason" =~ illegal|invalid|forfeit|time|flag|crash|exit|terminat|disconnect|false|bogus|abort|killed|stall ]]; then
    failures+=("game $n: $reason")
  fi
  shopt -u nocasematch
done <<<"$summary"

# Varnu is "first" in xboard's log: an error line from it means it refused one of xboard's
# commands (a move, say), and xboard's own complaints name the engine's faults.
sides=first
[ "$self_play" = 1 ] && sides="(first|second)"
engine_errors=$(grep -E "^[0-9]+ <$sides : (Error|Illegal move)" "$work/xboard.debug" || true)
if [ -n "$engine_errors" ]; then
  failures+=("Varnu refused commands: $(head -n3 <<<"$engine_errors" | tr '\n' ' ')")
fi
# Through the adapter, Varnu's "info string" lines say it refused or misread a UCI command; those
# that report what an endgame table path held are not refusals (xboard hands every engine that
# reads Syzygy tables its own default folder, which need not exist).
if [ "$uci" = 1 ]; then
  refusals=$(grep -E 'Engine->Adapter: info string' "$work/polyglot.log" 2>/dev/null |
    grep -vE 'info string (found [0-9]+ WDL and [0-9]+ DTZ tables.*|folder .*|.*: not used)$' ||
    true)
  if [ -n "$refusals" ]; then
    failures+=("Varnu refused UCI commands: $(head -n3 <<<"$refusals" | tr '\n' ' ')")
  fi
fi
gui_complaints=$(cat "$work/xboard.debug" "$work/xboard.out" | grep -vE '^[0-9]+ [<>]' \
  | grep -iE "illegal move.*$sides|$sides.*(exited|crashed|terminated|died)" || true)
if [ -n "$gui_complaints" ]; then
  failures+=("xboard reports: $(head -n3 <<<"$gui_complaints" | tr '\n' ' ')")
fi

# Varnu's move times against the budgets it printed. With a fixed time per move every budget
# must lie between half that time and the whole of it.
st_cs=""
if [ -n "$st" ]; then
  st_cs=$(awk -v t="$st" 'BEGIN { n = split(t, p, ":"); s = 60 * p[1] + (n > 1 ? p[2] : 0);
                                  print 100 * s }')
fi
timing=$(awk -v st="$st_cs" '
  /^New game \(/ { game++ }
  /^[0-9]+ >first : / { sent = $1 }
  /^[0-9]+ <first : # set maxTime = / {
    budget = $NF; start = sent; budgets++
    if (st != "" && (2 * budget < st || budget > st)) bad = bad " " budget
  }
  /^[0-9]+ <first : move / {
    if (budget == "") next
    took = $1 - start; over = took - 10 * budget; moves++
    if (took > longest) longest = took
    if (moves == 1 || over > worst) { worst = over; where = "game " game ": " took " ms against " budget " cs" }
    budget = ""
  }
  END { printf "%d\037%d\037%d\037%s\037%d\037%s\n", moves, longest, worst, where, budgets, bad }
' "$work/xboard.debug")
IFS=$'\037' read -r timed_moves longest_ms worst_over worst_where budget_count bad_budgets \
  <<<"$timing"
if [ "$timed_moves" -gt 0 ]; then
  echo "Varnu move times: $timed_moves moves, longest $longest_ms ms, longest over its budget" \
    "$worst_over ms ($worst_where)"
fi
# Over UCI no budget is printed: the adapter's log times each move from its "go" to Varnu's
# "bestmove", and under a fixed time per move none may take longer than that time.
if [ "$uci" = 1 ]; then
  uci_timing=$(awk -v st="$st_cs" '
    /Adapter->Engine: go/ { start = $1 }
    /Engine->Adapter: bestmove/ && start != "" {
      took = int(($1 - start) * 1000 + 0.5); moves++; start = ""
      if (took > longest) longest = took
      if (st != "" && took > 10 * st) over = over " " took
    }
    END { printf "%d\037%d\037%s\n", moves, longest, over }
  ' "$work/polyglot.log" 2>/dev/null || true)
  IFS=$'\037' read -r uci_moves uci_longest uci_over <<<"$uci_timing"
  if [ "${uci_moves:-0}" -gt 0 ]; then
    echo "Varnu move times over UCI: $uci_moves moves, longest $uci_longest ms"
  fi
  if [ -n "$uci_over" ]; then
    failures+=("moves longer than -searchTime $st (ms):$uci_over")
  fi
elif [ -n "$st" ]; then
  if [ "$budget_count" -eq 0 ]; then
    failures+=("Varnu printed no budget under -searchTime $st")
  elif [ -n "$bad_budgets" ]; then
    failures+=("budgets outside $((st_cs / 2))..$st_cs cs under -searchTime $st:$bad_budgets")
  fi
fi

# Pondering: over xboard Varnu says "# ponder hit" or "# ponder miss" at the opponent's move; over
# UCI the adapter sends "ponderhit", or "stop" and a new "go". The depth of a move is the last
# one Varnu reported before it.
if [ "$ponder" = 1 ]; then
  if [ "$uci" = 1 ]; then
    ponder_stats=$(awk '
      # After a miss the adapter sends "stop" and the next "go" at once; the stopped search
      # answers with a bestmove of its own, before or after that "go", which it ignores.
      /Adapter->Engine: go / {
        if ($0 ~ / ponder/) { state = "ponder"; last = 0 }
        else if (state == "staledone") { state = "miss"; last = 0 }
        else if (state == "stopped") state = "awaitstale"
        next
      }
      /Adapter->Engine: ponderhit/ && state == "ponder" { state = "hit" }
      /Adapter->Engine: stop/ && state == "ponder" { state = "stopped" }
      /Engine->Adapter: info depth / { for (i = 1; i < NF; i++) if ($i == "depth") { last = $(i + 1); break } }
      /Engine->Adapter: bestmove/ {
        if (state == "stopped") { state = "staledone"; next }
        if (state == "awaitstale") { state = "miss"; last = 0; next }
        if (state == "hit" || state == "miss") { n[state]++; d[state] += last; state = "" }
      }
      END { printf "%d %d %d %d\n", n["hit"], d["hit"], n["miss"], d["miss"] }
    ' "$work/polyglot.log" 2>/dev/null || true)
  else
    ponder_stats=$(awk '
      /^[0-9]+ <first : Hint: / { last = 0 }
      /^[0-9]+ <first : # ponder hit/ { state = "hit" }
      /^[0-9]+ <first : # ponder miss/ { state = "miss"; last = 0 }
      /^[0-9]+ <first : [0-9]+ -?[0-9]+ [0-9]+ [0-9]+ / { last = $4 }
      /^[0-9]+ <first : move / { if (state != "") { n[state]++; d[state] += last }; state = "" }
      END { printf "%d %d %d %d\n", n["hit"], d["hit"], n["miss"], d["miss"] }
    ' "$work/xboard.debug")
  fi
  read -r hits hit_depth misses miss_depth <<<"$ponder_stats"
  echo "Varnu pondering: $hits hits, $misses misses; mean depth after a hit" \
    "$(awk -v s="$hit_depth" -v n="$hits" 'BEGIN { printf "%.1f", n ? s / n : 0 }'), after a miss" \
    "$(awk -v s="$miss_depth" -v n="$misses" 'BEGIN { printf "%.1f", n ? s / n : 0 }')"
  if [ $((hits + misses)) -eq 0 ]; then
    failures+=("Varnu never pondered")
  fi
fi

control="-tc $tc -inc $inc${variant:+ -variant $variant}"
[ "$inc" = -1 ] && control="-tc $tc -mps $mps"
[ -n "$st" ] && control="-searchTime $st"
if [ "$self_play" = 1 ]; then
  echo "xboard match, $n games at $control in ${elapsed}s: Varnu against itself," \
    "$((wins + losses)) decisive, $draws drawn"
else
  echo "xboard match, $n games at $control in ${elapsed}s: Varnu +$wins =$draws -$losses"
fi
if [ ${#failures[@]} -gt 0 ]; then
  for f in "${failures[@]}"; do echo "FAIL: $f"; done
  # xboard names Varnu the first program and the opponent the second.
  if [ "$self_play" = 0 ] &&
    grep -qE "(Error writing to|Error reading from) second chess program|second chess program.*(exited|died|terminated)" \
      "$work/xboard.debug" "$work/xboard.out" "$work/games.pgn" 2>/dev/null; then
    opponent_died=1
  fi
  exit 1
fi
echo "OK: every game ended with a proper result; no illegal move, time loss or crash by Varnu"
