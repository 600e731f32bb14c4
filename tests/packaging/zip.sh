#!/usr/bin/env bash
# Makes the release zip from a finished build and checks what it holds: the
# DLL and the program stripped, each with its DWARF beside it and a debug
# link to it, the header, the import library, the CMake and pkg-config
# files, and a Windows quick start with Windows line ends.
set -euo pipefail
build=$1
objdump=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
cpack --config "$build/CPackConfig.cmake" -B "$scratch" >/dev/null
zip=$(ls "$scratch"/hostlens-*-win64.zip)
(cd "$scratch" && cmake -E tar xf "$zip")
top=$(ls -d "$scratch"/hostlens-*-win64)
(cd "$top" && find . -type f | sort)
for f in bin/hostlens.dll bin/hostlens.exe bin/hostlens.dll.debug bin/hostlens.exe.debug \
  include/hostlens.h lib/hostlens.lib lib/cmake/hostlens/hostlensConfig.cmake \
  lib/pkgconfig/hostlens.pc QUICKSTART.txt README.md LICENSE; do
  [ -f "$top/$f" ] || fail "$f is missing"
done
for f in hostlens.dll hostlens.exe; do
  sections=$("$objdump" -h "$top/bin/$f")
  if grep -q '\.debug_' <<<"$sections"; then fail "$f is not stripped"; fi
  grep -q '\.gnu_debuglink' <<<"$sections" || fail "$f has no debug link"
  "$objdump" -h "$top/bin/$f.debug" | grep -q '\.debug_info' || fail "$f.debug holds no DWARF"
done
# The program starts without the GUI stack (shell32 would bring user32).
imports=$("$objdump" -p "$top/bin/hostlens.exe" | sed -n 's/^.*DLL Name: //p' | tr 'A-Z\n' 'a-z ')
[ "$imports" = "kernel32.dll msvcrt.dll hostlens.dll " ] || fail "hostlens.exe imports $imports"
grep -q -i 'run bin\\hostlens.exe' "$top/QUICKSTART.txt" || fail "QUICKSTART.txt: how to run"
# Every file or folder the README links to is in the zip.
for link in $(grep -o '](\([^)#:]*\))' "$top/README.md" | sed 's/^](\(.*\))$/\1/'); do
  [ -e "$top/$link" ] || fail "README.md links to $link, which is not in the zip"
done
# The folders the quick start lists are there.
for dir in $(grep -o '^[a-z][a-z\\]*\\ ' "$top/QUICKSTART.txt" | tr '\\' '/'); do
  [ -d "$top/$dir" ] || fail "QUICKSTART.txt lists $dir, which is not in the zip"
done
if grep -q -v $'\r$' "$top/QUICKSTART.txt"; then fail "QUICKSTART.txt has bare line feeds"; fi
if grep -q -i 'apt-get' "$top/QUICKSTART.txt"; then fail "QUICKSTART.txt speaks of Debian"; fi
ls -l "$top/bin"
