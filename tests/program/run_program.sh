#!/usr/bin/env bash
# usage: run_program.sh ERR_FILE COMMAND [ARGS...]
# Runs COMMAND (the program under Wine) with standard error into ERR_FILE and
# standard output where the caller put it. Once in some hundreds of process
# starts, Wine fails to start a program at all: it ends at once with a
# nonzero status, having printed nothing. The program never fails without a
# message, and a crash has Wine's own on standard error, so a run that failed
# with nothing on standard error is tried once more; the note of it goes to
# $RUN_PROGRAM_LOG, never among the output the test compares.
set -u
err=$1
shift
for attempt in 1 2; do
  "$@" 2>"$err"
  status=$?
  if [ "$status" = 0 ] || [ -s "$err" ] || [ "$attempt" = 2 ]; then
    exit "$status"
  fi
  echo "run_program.sh: '$*' ended with status $status and no message; trying once more" \
    >>"${RUN_PROGRAM_LOG:-/dev/stderr}"
done
