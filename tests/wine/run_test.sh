#!/usr/bin/env bash
# Runs one Wine test program. Once in some hundreds of process starts, Wine
# fails to start a program at all: it ends at once, having printed nothing.
# A test program prints its first line as soon as it runs, so a run that
# failed without a word is tried once more; a run that printed anything
# stands as it is, and the log says when a second try was needed.
set -u
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2; do
  # Standard error into a file, not a pipe: Wine's services keep the one
  # they inherit open, and a reader of a pipe would wait for them.
  "$top/scripts/wine" "$@" 2>"$err" | tee "$out"
  status=${PIPESTATUS[0]}
  cat "$err" >&2
  if [ "$status" = 0 ] || [ -s "$out" ] || [ -s "$err" ] || [ "$attempt" = 2 ]; then
    exit "$status"
  fi
  echo "run_test.sh: $(basename "$1") ended with status $status and no output; trying once more"
done
