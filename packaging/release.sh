#!/usr/bin/env bash
# The release archives, one for each platform users play on, each with the README, the licence and
# the manual page, and SHA256SUMS of them all:
#
#   packaging/release.sh [out folder]      (default release/)
#
#   varnu-<version>-linux-x86_64.tar.gz   a static engine for any x86-64 Linux distribution
#   varnu-<version>-linux-aarch64.tar.gz  static, for Android chess apps (DroidFish and others load
#                                         such a file; Android's C library is not glibc) and 64-bit
#                                         ARM Linux (a Raspberry Pi)
#   varnu-<version>-linux-armv7.tar.gz    static, for older 32-bit Android phones and 32-bit ARM
#                                         Linux
#   varnu-<version>-windows-x86_64.zip    varnu.exe, needing no DLL but Windows' own
#   varnu-<version>.tgz                   the npm package of the WebAssembly engine (browser, Node)
#
# Each engine is built, the engine target alone, in a folder of its own below build-release/.
# Where a build folder of CI's (build-arm, build-armv7, build-windows, build-wasm) is configured
# the same way (the same compiler, toolchain, flags and engine options; its tests and benchmarks
# make no difference to the engine), the engine is built there instead, which after CI's own build
# costs nothing. tests/e2e/release.sh checks the archives.
#
# Needs the Debian packages cmake, g++, g++-aarch64-linux-gnu, g++-arm-linux-gnueabihf,
# g++-mingw-w64-x86-64-posix, mingw-w64, emscripten, nodejs, npm and zip.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$(realpath -m "${1:-release}")
jobs=$(nproc)

# The version has one home, the engine's name in the code (as cmake/packaging.cmake reads it).
version=$(sed -nE 's/.*EngineName = "Varnu ([0-9]+\.[0-9]+\.[0-9]+)".*/\1/p' src/engine/engine.h)
[ -n "$version" ] || { echo "release: no version found in src/engine/engine.h" >&2; exit 1; }
npm_version=$(node -p 'require("./web/package.json").version')
if [ "$npm_version" != "$version" ]; then
  echo "release: web/package.json has version $npm_version, the engine $version" >&2
  exit 1
fi
# Windows opens a zip by itself, where a tar.gz needs a program of its own; so its archive is a
# zip, always, and the other archives (and the tests) can name it without guessing.
command -v zip > /dev/null || { echo "release: zip is needed (Debian: zip)" >&2; exit 1; }

# The archives' times are the commit's (or SOURCE_DATE_EPOCH's), their owners root and their
# members sorted, so that the same engines give the same archives.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
stage=$(mktemp -d "${TMPDIR:-/tmp}/release.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out" build-release
rm -f "$out"/varnu-*.tar.gz "$out"/varnu-*.zip "$out"/varnu-*.tgz "$out/SHA256SUMS"

# The settings that make one engine differ from another, from a build folder's cache, as
# name=value lines; the toolchain file by its full path, which the cache holds as it was given
# at first and as a full path once configured again.
engine_settings() {
  local line key value
  local names='CMAKE_HOME_DIRECTORY|CMAKE_TOOLCHAIN_FILE|CMAKE_CXX_COMPILER|CMAKE_BUILD_TYPE'
  names+='|CMAKE_CXX_FLAGS|CMAKE_CXX_FLAGS_RELEASE|CMAKE_EXE_LINKER_FLAGS'
  names+='|CMAKE_EXE_LINKER_FLAGS_RELEASE|VARNU_LTO|VARNU_NATIVE|VARNU_PGO|VARNU_STATIC'
  grep -E "^($names):" "$1/CMakeCache.txt" | sort | while IFS= read -r line; do
    key=${line%%:*}
    value=${line#*=}
    [ "$key" = CMAKE_TOOLCHAIN_FILE ] && value=$(cd "$src" && realpath -m "$value")
    echo "$key=$value"
  done
}

# engine_build <platform> <CI's folder or ""> <configure command...>: configures
# build-release/<platform> with the command, builds the engine there or, when CI's folder has the
# same engine settings, in that folder, and sets $folder to the folder built in.
engine_build() {
  local platform=$1 theirs=$2
  shift 2
  local own=build-release/$platform
  "$@" -S . -B "$own" > "build-release/$platform.configure.log" 2>&1 ||
    { cat "build-release/$platform.configure.log"; exit 1; }
  folder=$own
  if [ -n "$theirs" ] && [ -f "$theirs/CMakeCache.txt" ] &&
     [ "$(engine_settings "$theirs")" = "$(engine_settings "$own")" ]; then
    folder=$theirs
  fi
  echo "release: the $platform engine, built in $folder"
  cmake --build "$folder" -j"$jobs" --target varnu > "build-release/$platform.build.log" 2>&1 ||
    { tail -n 40 "build-release/$platform.build.log"; exit 1; }
}

# archive <platform> <engine file> <strip program>: varnu-<version>-<platform>, a folder of that
# name holding the stripped engine, the README, the licence and the manual page.
archive() {
  local platform=$1 engine=$2 strip=$3
  local name=varnu-$version-$platform
  mkdir "$stage/$name"
  cp "$engine" README.md LICENSE "$manual" "$stage/$name/"
  "$strip" "$stage/$name/$(basename "$engine")"
  touch -d "@$epoch" "$stage/$name" "$stage/$name"/*
  local file
  case $platform in
    windows-*)
      file=$name.zip
      (cd "$stage" && find "$name" | LC_ALL=C sort | zip -qX -@ "$out/$file") ;;
    *)
      file=$name.tar.gz
      tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$epoch" \
        -cf - "$name" | gzip -9n > "$out/$file" ;;
  esac
  echo "release: $out/$file"
}
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

# x86-64 Linux: CI's own build is not static, so this one is always the release's. It is
# profile-guided (an instrumented engine runs the bench first, about a minute more): the bench's
# processor time is 0.90 of the plain build's (0.84 to 0.93 over seven runs in turn), with the
# same node count. The cross-built engines have no processor here to run their profile on.
engine_build linux-x86_64 "" cmake -DCMAKE_BUILD_TYPE=Release -DVARNU_STATIC=ON -DVARNU_PGO=ON \
  -DVARNU_BUILD_TESTS=OFF -DVARNU_BUILD_BENCH=OFF
# The manual page, configured with the version (the same in every build folder).
manual=$folder/varnu.6
archive linux-x86_64 "$folder/varnu" "$(cache_value "$folder" CMAKE_STRIP)"

# ARM, 64-bit and 32-bit: the toolchain files link statically.
engine_build linux-aarch64 build-arm cmake -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DVARNU_BUILD_TESTS=OFF -DVARNU_BUILD_BENCH=OFF
archive linux-aarch64 "$folder/varnu" "$(cache_value "$folder" CMAKE_STRIP)"
engine_build linux-armv7 build-armv7 cmake -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake \
  -DVARNU_BUILD_TESTS=OFF -DVARNU_BUILD_BENCH=OFF
archive linux-armv7 "$folder/varnu" "$(cache_value "$folder" CMAKE_STRIP)"

# Windows: the MinGW-w64 toolchain file links the C, C++ and thread runtimes statically.
engine_build windows-x86_64 build-windows cmake \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVARNU_BUILD_TESTS=OFF \
  -DVARNU_BUILD_BENCH=OFF
archive windows-x86_64 "$folder/varnu.exe" "$(cache_value "$folder" CMAKE_STRIP)"

# WebAssembly, configured as CI configures it (Emscripten's optimiser finds Debian's acorn through
# NODE_PATH). The npm package is packed from a copy of web/'s package with the README, the
# licence and the manual page added to its files, so it needs none of the page's development
# packages (npm ci).
export NODE_PATH=/usr/share/nodejs
engine_build wasm build-wasm emcmake cmake -DVARNU_BUILD_TESTS=OFF -DVARNU_BUILD_BENCH=OFF \
  -DVARNU_LTO=OFF
# The threaded build goes in too, as in web/'s own package.
cmake --build "$folder" -j"$jobs" --target varnu-mt >> "build-release/wasm.build.log" 2>&1 ||
  { tail -n 40 "build-release/wasm.build.log"; exit 1; }
mkdir -p "$stage/npm/engine"
cp "$folder/varnu.js" "$folder/varnu.wasm" "$folder/varnu-mt.js" "$folder/varnu-mt.wasm" \
  "$folder/varnu-mt.worker.js" "$stage/npm/engine/"
cp README.md LICENSE "$manual" "$stage/npm/"
node -e '
  const fs = require("fs");
  const pkg = JSON.parse(fs.readFileSync(process.argv[1], "utf8"));
  pkg.files.push("README.md", "LICENSE", "varnu.6");
  fs.writeFileSync(process.argv[2], JSON.stringify(pkg, null, 2) + "\n");
' web/package.json "$stage/npm/package.json"
(cd "$stage/npm" && npm pack --silent --pack-destination "$out" > /dev/null)
if [ ! -f "$out/varnu-$version.tgz" ]; then
  echo "release: npm pack made no varnu-$version.tgz" >&2
  exit 1
fi
echo "release: $out/varnu-$version.tgz"

(cd "$out" && sha256sum -- varnu-"$version"-*.tar.gz varnu-"$version"-*.zip "varnu-$version.tgz" \
  > SHA256SUMS)
echo "release: $out/SHA256SUMS"
