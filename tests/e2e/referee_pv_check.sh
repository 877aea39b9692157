#!/usr/bin/env bash
# The referee's checks of UCI thinking lines, against a scripted engine whose lines break each
# rule once: the referee must count exactly those complaints, and --strict-pv must turn them
# into a failure. Runs in about a second; tests/e2e/soak.sh runs it before its UCI games.
#
#   tests/e2e/referee_pv_check.sh [BUILD_DIR]   (default ./build; needs BUILD_DIR/tests/tools/referee)
#
# Called as "referee_pv_check.sh --engine" the script is that engine: it answers the UCI
# handshake, and to each "go" it prints the lines written for the position it was given, then
# its move.
set -euo pipefail

if [ "${1:-}" = --engine ]; then
  mate_in_one='6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1'
  mate_at_fifty='6k1/5ppp/8/8/8/8/8/R5K1 w - - 99 1'
  position=
  while read -r line; do
    case $line in
      uci) echo "id name pv-liar"; echo uciok ;;
      isready) echo readyok ;;
      position*) position=$line ;;
      go*)
        case $position in
          *"$mate_in_one"*)
            echo "info depth 1 score mate 1 pv a1a8"               # sound
            echo "info depth 2 score mate 1 pv a1a8 g8h8"          # a move after the mate
            echo "info depth 3 score mate 2 pv a1a2"               # 1 ply of the 3 claimed
            echo "info depth 4 score mate 1 pv a1a2 g8f8"          # 2 plies for 1
            echo "info depth 5 score mate 1 pv a1a2"               # the right length, no mate
            echo "info depth 6 score mate 2 lowerbound pv a1a2"    # a bound is checked too
            echo "info depth 6 score mate 2 lowerbound"            # no pv, nothing to check
            echo "info depth 200 score cp 500 pv a1a8"             # an impossible depth
            echo "info depth 7 score cp 0 pv e2e4"                 # an illegal move
            echo "info string pv e2e4"                             # text, not a line
            echo "bestmove a1a8"
            ;;
          *"$mate_at_fifty"*)
            echo "info depth 1 score mate 1 pv a1a8"               # mate on the 100th ply
            echo "info depth 2 score mate 1 pv a1a8 g8h8"          # still a move after mate
            echo "info depth 3 score cp 0 pv a1a2 g8f8"            # a move after fifty moves
            echo "bestmove a1a8"
            ;;
          *"moves g1f3 g8f6 f3g1 f6g8")
            # The start position stands for the second time: four plies more make it three.
            echo "info depth 4 score cp 0 pv g1f3 g8f6 f3g1 f6g8"
            echo "info depth 5 score cp 0 pv g1f3 g8f6 f3g1 f6g8 e2e4"
            echo "bestmove e2e4"
            ;;
          *) echo "bestmove 0000" ;;
        esac
        ;;
      quit) exit 0 ;;
    esac
  done
  exit 0
fi

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
referee=$build/tests/tools/referee
if [ ! -x "$referee" ]; then
  echo "referee_pv_check: $referee is not built" >&2
  exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/pv_check.XXXXXX")
trap '[ "${KEEP_PV_CHECK_DIR:-0}" = 1 ] || rm -rf "$work"' EXIT
engine="bash $root/tests/e2e/referee_pv_check.sh --engine"
printf '%s\n' '6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1' '6k1/5ppp/8/8/8/8/8/R5K1 w - - 99 1' \
  >"$work/fens.txt"
echo "g1f3 g8f6 f3g1 f6g8" >"$work/openings.txt"

failed=0
# One match: the referee's exit status must be the expected one.
run() {
  local name=$1 expected=$2
  shift 2
  local status=0
  (cd "$work" && "$referee" --uci1 --uci2 --first "$engine" --second "$engine" --lenient-second \
    --log-dir "$work" --summary "$work/$name.summary" "$@") >"$work/$name.out" 2>&1 || status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "referee_pv_check: $name: exit status $status, expected $expected"
    cat "$work/$name.out"
    failed=1
  fi
}
# A summary value of the first engine must be the expected count.
expect() {
  local name=$1 key=$2 expected=$3 got
  got=$(sed -n "s/^engine1_$key=//p" "$work/$name.summary")
  if [ "$got" != "$expected" ]; then
    echo "referee_pv_check: $name: engine1_$key is ${got:-missing}, expected $expected"
    failed=1
  fi
}

run fens 0 --fens "$work/fens.txt" --fen-side first --tc 1+0.01
expect fens pv_after_mate 2
expect fens pv_incomplete_mate 2
expect fens pv_too_long_mate 1
expect fens pv_mate_not_reached 1
expect fens implausible_depth 1
expect fens pv_illegal_move 1
expect fens pv_after_fifty 1
expect fens pv_after_threefold 0
expect fens pv_lines 11
expect fens wins 2
run repetition 1 --openings "$work/openings.txt" --games 1 --max-plies 5 --tc 1+0.01 --strict-pv
expect repetition pv_after_threefold 1
expect repetition pv_complaints 1

if [ "$failed" -eq 0 ]; then
  echo "referee_pv_check: passed"
fi
exit "$failed"
