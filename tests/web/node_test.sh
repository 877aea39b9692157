#!/bin/sh
# The WebAssembly engine under Node, on standard input and output: the UCI transcripts, and the
# bench's node count against the native build's.
# Usage: tests/web/node_test.sh <transcript_check> <native varnu> [web/engine/varnu.js]
# Two UCI transcripts do not apply to the single-threaded module: syzygy_uci reads table files,
# and the module sees only its own empty file system; uci_levels sets two threads, and that
# module has one (the threaded module, varnu-mt.js, runs it).
set -u
checker=$1
native=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
module=$(realpath "${3:-$root/web/engine/varnu.js}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
engine=$work/varnu_under_node
printf '#!/bin/sh\nexec node --no-experimental-fetch "%s" "$@"\n' "$module" > "$engine"
chmod +x "$engine"

passed=0
failed=0
check() {
  if [ "$1" = 0 ]; then
    passed=$((passed + 1))
    echo "ok   $2"
  else
    failed=$((failed + 1))
    echo "FAIL $2"
  fi
}

for input in "$root"/tests/transcripts/*uci*.in; do
  name=$(basename "$input" .in)
  case $name in
    syzygy_uci) continue ;;
    uci_levels) [ "$(basename "$module")" = varnu-mt.js ] || continue ;;
  esac
  "$checker" "$engine" "$input" "${input%.in}.out" > "$work/$name.log" 2>&1
  status=$?
  [ $status = 0 ] || head -20 "$work/$name.log"
  check $status "transcript $name"
done

expected=$("$native" bench | awk '/ nodes .* nps$/ { print $1 }')
"$engine" bench > "$work/bench.log" 2>&1
nodes=$(awk '/ nodes .* nps$/ { print $1 }' "$work/bench.log")
[ -n "$expected" ] && [ "$nodes" = "$expected" ]
check $? "bench under Node: $(tail -1 "$work/bench.log") (native: $expected nodes)"

echo "$passed passed, $failed failed"
[ $failed = 0 ]
