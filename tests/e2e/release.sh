#!/usr/bin/env bash
# The release archives of packaging/release.sh as a user meets them: the checksums verify, and
# each archive unpacks into a folder of its name with the README, the licence and the manual page
# beside the engine. The x86-64 engine runs here, the ARM ones under qemu's user-mode emulation
# WITHOUT the ARM system's libraries (no -L), so that only a truly static file runs, each with the
# self-test and the bench, whose signature must be bench/signature's; `file` must call each Linux
# engine statically linked. varnu.exe may name no DLL but Windows' own and runs the self-test and
# the bench under Wine; the npm package's module runs the bench under Node.
#
#   tests/e2e/release.sh <out folder>
#
# Wine's prefix is $WINEPREFIX when it is set (CI gives it build-windows's, made already), else a
# new one of its own. Needs the Debian packages file, qemu-user, binutils-mingw-w64-x86-64
# (objdump), wine, nodejs and unzip.
set -euo pipefail
cd "$(dirname "$0")/../.."
[ $# = 1 ] || { echo "usage: tests/e2e/release.sh <out folder>" >&2; exit 2; }
out=$(realpath "$1")
version=$(sed -nE 's/.*EngineName = "Varnu ([0-9]+\.[0-9]+\.[0-9]+)".*/\1/p' src/engine/engine.h)
signature=$(cat bench/signature)
selftest_passed="18 tests passed, 0 tests failed, 0 tests skipped, total 18 tests run:"
work=$(mktemp -d "${TMPDIR:-/tmp}/release-check.XXXXXX")
cleanup() {
  local status=$?
  # Wine's server ends by itself a few seconds after the last program: wait for it, so that
  # nothing of ours runs on and a prefix of our own can go.
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -w 2> /dev/null || true; fi
  if [ "$status" -ne 0 ]; then echo "release check: files kept in $work"; else rm -rf "$work"; fi
  exit "$status"
}
trap cleanup EXIT
fail() {
  echo "release check: $*" >&2
  exit 1
}

# Every archive is there and listed in SHA256SUMS, and every checksum verifies.
archives=("varnu-$version-linux-x86_64.tar.gz" "varnu-$version-linux-aarch64.tar.gz"
          "varnu-$version-linux-armv7.tar.gz" "varnu-$version-windows-x86_64.zip"
          "varnu-$version.tgz")
[ -f "$out/SHA256SUMS" ] || fail "no SHA256SUMS in $out"
for archive in "${archives[@]}"; do
  [ -f "$out/$archive" ] || fail "no $archive in $out"
  awk '{ print $2 }' "$out/SHA256SUMS" | grep -qx "$archive" ||
    fail "SHA256SUMS does not list $archive"
done
(cd "$out" && sha256sum --check --strict --quiet SHA256SUMS) || fail "a checksum does not verify"
echo "release check: ${#archives[@]} archives, their checksums verify"

# unpack <archive> <platform>: unpacks it and checks the folder it makes; sets $folder.
unpack() {
  local archive=$1 platform=$2
  mkdir "$work/$platform"
  case $archive in
    *.zip) unzip -q "$out/$archive" -d "$work/$platform" ;;
    *) tar -xzf "$out/$archive" -C "$work/$platform" ;;
  esac
  folder=$work/$platform/varnu-$version-$platform
  [ -d "$folder" ] || fail "$archive does not unpack into varnu-$version-$platform/"
  for f in README.md LICENSE varnu.6; do
    [ -s "$folder/$f" ] || fail "$archive has no $f"
  done
}

# run_engine <name> <selftest|bench-only> <command...>: the self-test (unless bench-only) and the
# bench of the engine the command starts, in the background, its report in $work/<name>.run.
# The engines run side by side, each searching on one thread, so that the machine's processors
# share the emulated ones' long runs.
runs=()
run_engine() {
  local name=$1 tests=$2
  shift 2
  (
    if [ "$tests" = selftest ]; then
      printf 'selftest\nquit\n' | "$@" > "$work/$name.selftest" 2>&1 || true
      tr -d '\r' < "$work/$name.selftest" | grep -Fxq "$selftest_passed" ||
        { tail -n 20 "$work/$name.selftest"; fail "the $name engine's self-test failed"; }
    fi
    nodes=$("$@" bench 2> /dev/null | tr -d '\r' | tail -n 1 | cut -d ' ' -f 1)
    [ "$nodes" = "$signature" ] ||
      fail "the $name engine's bench signature is $nodes, not $signature"
    [ "$tests" = selftest ] && echo -n "self-test passed, "
    echo "bench signature $nodes"
  ) > "$work/$name.run" 2>&1 &
  runs+=("$name:$!")
}

# First every archive's files, then every engine run.
# The Linux engines: the processor and static linking as `file` sees them.
for entry in "linux-x86_64|x86-64" "linux-aarch64|ARM aarch64" "linux-armv7|ARM, EABI5"; do
  IFS='|' read -r platform machine <<< "$entry"
  unpack "varnu-$version-$platform.tar.gz" "$platform"
  description=$(file -b "$folder/varnu")
  [[ $description == *"$machine"* ]] || fail "$platform's engine is not for $machine: $description"
  [[ $description == *"statically linked"* ]] ||
    fail "$platform's engine is not static: $description"
  echo "release check: $platform: a static engine for $machine"
done

# Windows: only DLLs every Windows has.
platform=windows-x86_64
unpack "varnu-$version-$platform.zip" "$platform"
exe=$folder/varnu.exe
file -b "$exe" | grep -q "PE32+ executable (console) x86-64" ||
  fail "varnu.exe is not a 64-bit console program"
x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' > "$work/dlls"
system_dlls='kernel32|msvcrt|user32|advapi32|ws2_32|shell32|bcrypt|api-ms-win-[a-z0-9-]+'
non_system=$(grep -vixE "($system_dlls)\.dll" "$work/dlls" || true)
[ -z "$non_system" ] || fail "varnu.exe needs DLLs Windows does not have: $non_system"
echo "release check: $platform: varnu.exe needs only Windows' DLLs: $(paste -sd ' ' "$work/dlls")"

# The npm package's files.
mkdir "$work/npm"
tar -xzf "$out/varnu-$version.tgz" -C "$work/npm"
for f in package.json engine/varnu.js engine/varnu.wasm engine/varnu-mt.js engine/varnu-mt.wasm \
  engine/varnu-mt.worker.js README.md LICENSE varnu.6; do
  [ -s "$work/npm/package/$f" ] || fail "varnu-$version.tgz has no package/$f"
done
[ "$(node -p "require('$work/npm/package/package.json').version")" = "$version" ] ||
  fail "varnu-$version.tgz's package.json does not have version $version"
echo "release check: varnu-$version.tgz: package.json of version $version and every file"

# The engines, side by side.
engine() { echo "$work/$1/varnu-$version-$1/$2"; }
run_engine linux-x86_64 selftest "$(engine linux-x86_64 varnu)"
run_engine linux-aarch64 selftest qemu-aarch64 "$(engine linux-aarch64 varnu)"
run_engine linux-armv7 selftest qemu-arm "$(engine linux-armv7 varnu)"
# Wine starts its server here with nothing open, so that the server holds no pipe of ours open
# after the engine ends.
export WINEPREFIX=${WINEPREFIX:-$work/wine}
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
mkdir -p "$WINEPREFIX"
if wineserver -p5 < /dev/null > /dev/null 2>&1; then
  wine wineboot < /dev/null > /dev/null 2>&1
fi
run_engine windows-x86_64 selftest wine "$(engine windows-x86_64 varnu.exe)"
# The npm package's module speaks UCI alone, which has no self-test: its bench under Node.
run_engine npm bench-only node --no-experimental-fetch "$work/npm/package/engine/varnu.js"

failed=0
for run in "${runs[@]}"; do
  name=${run%%:*}
  status=0
  wait "${run#*:}" || status=$?
  echo "release check: $name: $(cat "$work/$name.run")"
  [ "$status" = 0 ] || failed=1
done
[ "$failed" = 0 ] || fail "an engine failed"
echo "release check: every archive passed"
