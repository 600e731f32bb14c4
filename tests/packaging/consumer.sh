#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds the consumer example
# against it with find_package(hostlens), and runs it under Wine.
set -euo pipefail
build=$1
src=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$src/examples/consumer" -B "$scratch/consumer" \
  -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" \
  -DCMAKE_EXE_LINKER_FLAGS="-static" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
cp "$scratch/prefix/bin/hostlens.dll" "$scratch/consumer/"
out=$("$src/scripts/wine" "$scratch/consumer/consumer.exe")
echo "$out"
case "$out" in
  '{"memory":{"used_mb":'*) ;;
  *) echo "unexpected output" >&2; exit 1 ;;
esac
