#!/usr/bin/env bash
# The Debian package end to end, on this machine as a user would meet it: CPack makes it from a
# build, lintian finds no error or warning in it, apt installs it, xboard finds the engine by
# itself and lists it (as an xboard and as a UCI engine), a game is played with the engine
# started by its registered name, and apt removes the package again with nothing left behind.
#
#   tests/e2e/package.sh [build folder]      (default ./build; run as root)
#
# Needs the Debian packages xboard, fairymax, xvfb, dpkg-dev (dpkg-shlibdeps) and lintian. Exit
# status 0 only when every step did what it should.
set -euo pipefail

build=$(realpath "${1:-build}")
work=$(mktemp -d "${TMPDIR:-/tmp}/package.XXXXXX")
xvfb_pid=""
cleanup() {
  local status=$?
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ "$status" -ne 0 ]; then echo "package: files kept in $work"; else rm -rf "$work"; fi
  exit "$status"
}
trap cleanup EXIT
fail() {
  echo "package: $*" >&2
  exit 1
}

# The package: made afresh, then its fields and files.
rm -f "$build"/varnu_*.deb
(cd "$build" && cpack -G DEB > "$work/cpack.log")
deb=$(ls "$build"/varnu_*.deb)
dpkg-deb --field "$deb" Package Version Section Depends Suggests
dpkg-deb --contents "$deb" | awk '{print $NF}' | grep -v '/$' | sed 's/^\.//' > "$work/files"
for f in /usr/games/varnu /usr/share/man/man6/varnu.6.gz /usr/share/doc/varnu/README.md \
         /usr/share/doc/varnu/LICENSE /usr/share/doc/varnu/copyright \
         /usr/share/doc/varnu/changelog.gz /usr/share/games/plugins/xboard/varnu.eng \
         /usr/share/games/plugins/uci/varnu.eng /usr/share/doc/varnu/gnome-chess-engines.conf; do
  grep -qx "$f" "$work/files" || fail "the package has no $f"
done
# Debian's conventions for a package, as lintian checks them: no error and no warning.
lintian_status=0
lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 || lintian_status=$?
grep -vx "running with root privileges is not recommended!" "$work/lintian.log" || true
[ "$lintian_status" = 0 ] || fail "lintian finds errors or warnings in $deb"
echo "lintian: no error or warning"

apt-get install -y "$deb" > "$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt could not install $deb"; }
# A user's PATH on Debian (/etc/login.defs) ends with /usr/local/games:/usr/games; root's has
# neither.
export PATH="$PATH:/usr/games"
[ "$(command -v varnu)" = /usr/games/varnu ] || fail "varnu is not on the path after installing"
printf 'selftest\nquit\n' | varnu | grep -Fx "18 tests passed, 0 tests failed, 0 tests skipped, total 18 tests run:" \
  > /dev/null || fail "the installed engine's self-test failed"
# The packaged engine may be built otherwise than the tested one (profile-guided): it must still
# search the same tree.
signature=$(varnu bench | tail -n 1 | cut -d ' ' -f 1)
[ "$signature" = "$(cat "$(dirname "$0")/../../bench/signature")" ] ||
  fail "the installed engine's bench signature is $signature"
echo "the installed engine's bench signature: $signature"

# xboard on a virtual display, with a new user's settings: its first start adds the engines whose
# plugin files it finds to its list, and saves the list when it is told to quit (SIGINT).
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")" HOME="$work"
xboard -settingsFile /etc/xboard/xboard.conf -saveSettingsFile "$work/xboardrc" \
  -saveSettingsOnExit true -popupExitMessage false -soundProgram "" -debug \
  -nameOfDebugFile "$work/first-start.debug" > "$work/first-start.out" 2>&1 &
xboard_pid=$!
for _ in $(seq 300); do
  grep -q "^Reset(" "$work/first-start.debug" 2>/dev/null && break
  sleep 0.1
done
sleep 2
kill -INT "$xboard_pid"
wait "$xboard_pid" || true
grep -qx "varnu" "$work/xboardrc" || fail "xboard did not list varnu as an xboard engine"
grep -qx "varnu -fUCI" "$work/xboardrc" || fail "xboard did not list varnu as a UCI engine"
echo "xboard lists the installed engine: varnu, and varnu -fUCI"

# Two games with the engine chosen by its registered name (xboard's -fe), against fairymax.
mkdir "$work/opponent"
timeout 300 xboard -settingsFile "$work/xboardrc" -saveSettingsOnExit false -noGUI \
  -fe varnu -scp fairymax -sd "$work/opponent" -matchGames 2 -tc 0:10 -inc 0 \
  -saveGameFile "$work/games.pgn" -popupExitMessage false -popupMoveErrors false \
  -soundProgram "" -debug -nameOfDebugFile "$work/match.debug" > "$work/match.out" 2>&1 ||
  fail "xboard's match did not end"
grep -q 'StartChildProcess (dir="[^"]*") varnu$' "$work/match.debug" ||
  fail "xboard did not start the registered engine"
results=$(grep -c '^\[Result "\(1-0\|0-1\|1/2-1/2\)"\]' "$work/games.pgn" || true)
[ "$results" = 2 ] || fail "$results of 2 games ended with a result"
grep -q '^\[White "Varnu' "$work/games.pgn" || fail "Varnu played no game"
grep -E '^\[(White|Black|Result) ' "$work/games.pgn" | paste - - -

# Removed with nothing left behind.
apt-get remove --purge -y varnu > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt could not remove varnu"; }
dpkg -s varnu > /dev/null 2>&1 && fail "varnu is still installed"
while read -r f; do
  [ -e "$f" ] && fail "$f is left after removing the package"
done < <(cat "$work/files"; echo /usr/share/doc/varnu)
echo "package: installed, listed by xboard, played two games by its registered name, removed"
