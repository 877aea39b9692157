#!/usr/bin/env bash
# GNOME Chess against Varnu on a virtual display, as a user plays it: the GUI starts a game with
# Varnu as its opponent (the entry of packaging/gnome-chess/engines.conf for the protocol asked
# for), and the user's moves are mouse clicks on the board. Each move the user makes is the one
# Varnu itself would play at depth 1 in the game so far, so every click is a legal move whatever
# the engine answered.
#
#   tests/e2e/gnome_chess.sh [path/to/varnu]        (default ./build/varnu)
#
# Environment: GC_PROTOCOL (cecp or uci, default cecp), GC_DIFFICULTY (easy, normal or hard,
# default easy), GC_MOVES (the user's moves, default 6), GC_KEEP=1 keeps the working folder,
# GC_SCREENSHOT=<file.png> saves the window at the end (with ImageMagick's import).
# Needs the Debian packages gnome-chess, xvfb and xdotool. Exit status 0 only when the GUI sent
# every click as a move, Varnu answered each with a move that is legal in the game so far (as the
# engine's debug log has it), and the GUI's log has no "illegal", "desync" or "confused". It
# prints the engine's time per move, from the GUI's "go" to the engine's move, and the time the
# user waits, from the user's move to the engine's.
set -euo pipefail

engine=${1:-./build/varnu}
protocol=${GC_PROTOCOL:-cecp}
difficulty=${GC_DIFFICULTY:-easy}
moves=${GC_MOVES:-6}
here=$(dirname "$(realpath "$0")")
conf="$here/../../packaging/gnome-chess/engines.conf"

case "$protocol" in
  cecp) profile="Varnu" ;;
  uci) profile="Varnu (UCI)" ;;
  *) echo "gnome_chess: GC_PROTOCOL is cecp or uci" >&2; exit 2 ;;
esac
case "$difficulty" in
  easy | normal | hard) ;;
  *) echo "gnome_chess: GC_DIFFICULTY is easy, normal or hard" >&2; exit 2 ;;
esac
if [ ! -x "$engine" ]; then
  echo "gnome_chess: no engine at $engine (build it first or pass its path)" >&2
  exit 2
fi
engine=$(realpath "$engine")
for tool in Xvfb xdotool /usr/games/gnome-chess; do
  if ! command -v "$tool" >/dev/null; then
    echo "gnome_chess: $tool is missing (apt-get install gnome-chess xvfb xdotool)" >&2
    exit 2
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/gnome_chess.XXXXXX")
xvfb_pid=""
gui_pid=""
cleanup() {
  local status=$?
  [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ "${GC_KEEP:-0}" = 1 ] || [ "$status" -ne 0 ]; then
    echo "gnome_chess: files kept in $work"
  else
    rm -rf "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
fail() {
  echo "FAIL: $*"
  exit 1
}

# A new user's settings: the profile's lines with this build's path, and the engine's debug log
# added as one more option of the difficulty played.
mkdir -p "$work/.config/gnome-chess" "$work/.config/glib-2.0/settings"
awk -v profile="$profile" -v level="$difficulty" -v binary="$engine" -v logfile="$work/engine.log" \
    -v uci="$([ "$protocol" = uci ] && echo 1 || echo 0)" '
  function finish() {
    if (!inside) return
    if (uci) print "option-" level "-" count "=Debug Log File " logfile
    else print "option-" level "-" count "=option debugLogFile=" logfile
    inside = 0
  }
  /^\[/ { finish(); inside = ($0 == "[" profile "]"); count = 0 }
  !inside { next }
  /^binary=/ { print "binary=" binary; next }
  index($0, "option-" level "-") == 1 { count++ }
  { print }
  END { finish() }
' "$conf" > "$work/.config/gnome-chess/engines.conf"
cat > "$work/.config/glib-2.0/settings/keyfile" <<EOF
[org/gnome/Chess]
opponent='$profile'
play-as='white'
difficulty='$difficulty'
EOF

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# The GUI's debug messages hold its whole talk with the engine.
(cd "$work" && HOME="$work" XDG_CONFIG_HOME="$work/.config" GSETTINGS_BACKEND=keyfile \
  G_MESSAGES_DEBUG=all GDK_BACKEND=x11 NO_AT_BRIDGE=1 exec /usr/games/gnome-chess) \
  >"$work/gui.log" 2>&1 &
gui_pid=$!
gui_log="$work/gui.log"

# Waits up to $2 seconds for the GUI's log to hold $1 lines that match the pattern $3.
wait_for_lines() {
  local want=$1 seconds=$2 pattern=$3
  for _ in $(seq $((seconds * 10))); do
    [ "$(grep -cE "$pattern" "$gui_log" || true)" -ge "$want" ] && return 0
    kill -0 "$gui_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# The engine is ready when the GUI has set the difficulty's options (CECP) or had its readyok.
ready_pattern="Writing line to engine: 'option (skillLevel|debugLogFile)"
[ "$protocol" = uci ] && ready_pattern="Read from engine: 'readyok'"
wait_for_lines 1 30 "$ready_pattern" || fail "GNOME Chess did not start the engine (see $gui_log)"
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --class gnome-chess 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no GNOME Chess window"
sleep 1

# The board: a square of 8 fields in the drawing area, centred in the window below its header.
# At the window's default size (700 by 550) the fields are 48 pixels, a1's corner at (158, 418).
read -r width height < <(xdotool getwindowgeometry "$window" |
  awk '/Geometry:/ { split($2, g, "x"); print g[1], g[2] }')
[ "$width" = 700 ] && [ "$height" = 550 ] || fail "the window is ${width}x${height}, not 700x550"
click_square() {
  local file=$(($(printf '%d' "'$1") - 97)) rank=$(($2 - 1))
  xdotool mousemove --window "$window" $((158 + 48 * file + 24)) $((82 + 48 * (7 - rank) + 24)) \
    click 1
  sleep 0.3
}

# The user's move: what Varnu plays at depth 1 after the game's moves.
user_move() {
  local game=$1
  printf 'uci\nposition startpos moves %s\ngo depth 1\nisready\n' "$game" |
    timeout 20 "$engine" 2>/dev/null | awk '/^bestmove / { print $2; exit }'
}

game=""
engine_moves=0
for ((i = 1; i <= moves; i++)); do
  move=$(user_move "$game")
  [ -n "$move" ] && [ "$move" != 0000 ] || fail "no move for the user after: $game"
  [ ${#move} -eq 4 ] || fail "the user's move $move needs a promotion dialog"
  click_square "${move:0:1}" "${move:1:1}"
  click_square "${move:2:1}" "${move:3:1}"
  # The GUI sends the move itself over CECP, the game with it over UCI.
  sent="Writing line to engine: '$move'"
  [ "$protocol" = uci ] &&
    sent="Writing line to engine: 'position startpos moves ${game:+$game }$move'"
  wait_for_lines 1 10 "$sent" || fail "GNOME Chess did not send the click $move (see $gui_log)"
  game="${game:+$game }$move"
  # The game may end with the user's move; then the engine has nothing to answer.
  if printf 'uci\nposition startpos moves %s\ngo depth 1\nisready\n' "$game" |
    timeout 20 "$engine" | grep -qx 'bestmove 0000'; then
    echo "the game ended with the user's move $move"
    break
  fi
  wait_for_lines $((engine_moves + 1)) 120 "Engine moves " ||
    fail "Varnu did not answer $move (see $gui_log)"
  engine_moves=$((engine_moves + 1))
  reply=$(grep -E "Engine moves " "$gui_log" | tail -n1 | awk '{ print $NF }')
  game="$game $reply"
  echo "user $move, Varnu $reply"
done

if [ -n "${GC_SCREENSHOT:-}" ]; then
  sleep 1
  import -window "$window" "$GC_SCREENSHOT"
fi

# The GUI's own complaints about the engine.
complaints=$(grep -iE "illegal|desync|confused" "$gui_log" || true)
[ -z "$complaints" ] || fail "GNOME Chess: $(head -n3 <<<"$complaints" | tr '\n' ' ')"

# Every move the engine's log says it played must be legal where it was played: a fresh engine
# refuses a game with an illegal move in an info string.
[ -s "$work/engine.log" ] || fail "the engine wrote no debug log"
if [ "$protocol" = uci ]; then
  played=$(awk '$2 == "<" && $3 == "bestmove" { print $4 }' "$work/engine.log")
else
  played=$(awk '$2 == "<" && $3 == "move" { print $4 }' "$work/engine.log")
fi
[ "$(wc -w <<<"$played")" -eq "$engine_moves" ] ||
  fail "the engine's log has $(wc -w <<<"$played") moves, the GUI $engine_moves"
for reply in $played; do
  grep -qw -- "$reply" <<<"$game" || fail "the engine played $reply, which is not in the game"
done
check=$(printf 'uci\nposition startpos moves %s\nisready\n' "$game" | timeout 20 "$engine")
if grep -q '^info string' <<<"$check"; then
  fail "the game is not legal: $(grep '^info string' <<<"$check" | head -n1)"
fi

# Times from the GUI's log: its clock is hours, minutes, seconds and milliseconds.
awk -v uci="$([ "$protocol" = uci ] && echo 1 || echo 0)" '
  function ms(stamp, t) {
    split(stamp, t, /[:.]/)
    return ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4]
  }
  /Writing line to engine: / {
    stamp = $0; sub(/.*DEBUG: /, "", stamp); sub(/: .*/, "", stamp)
    line = $0; sub(/.*Writing line to engine: \047/, "", line); sub(/\047$/, "", line)
    if (line ~ /^go/) go = ms(stamp)
    else if (uci ? line ~ /^position / : line ~ /^[a-h][1-8][a-h][1-8]/) user = ms(stamp)
  }
  /Engine moves / && go != "" {
    stamp = $0; sub(/.*DEBUG: /, "", stamp); sub(/: .*/, "", stamp)
    n++; think += ms(stamp) - go; wait += ms(stamp) - user
    if (ms(stamp) - go > longest) longest = ms(stamp) - go
    go = ""
  }
  END {
    if (n) printf "Varnu thinks %.2f s a move (longest %.2f s); the user waits %.2f s a move\n",
      think / n / 1000, longest / 1000, wait / n / 1000
  }
' "$gui_log"
echo "OK: GNOME Chess, $profile at $difficulty: $engine_moves moves answered, every one legal"
