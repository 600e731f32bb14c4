#!/usr/bin/env bash
# The hostlens program run whole under Wine, as a user runs it from a shell.
# usage: wine_cases.sh CASE BUILD_DIR, where CASE is
#   console        the summary in a terminal (tmux gives Wine one) and
#                  through a pipe, with a product name holding "ü"
#   prometheus     --format prometheus and --output through promtool
#   write_failure  output that cannot be written: a full device, a closed
#                  pipe, a folder that does not exist
#   first_run      scripts/run --version in a fresh clone of the committed tree
#   watch_json     --watch into a pipe: one JSON document per line, and a
#                  reader that goes away ends it quietly
#   watch_console  --watch's live view in a terminal, ended with Ctrl+C
set -euo pipefail
case_name=$1
build=$(cd "$2" && pwd)
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$src/build/wineprefix}"
export LC_ALL=C.UTF-8
wine="$src/scripts/wine"
exe="$build/bin/hostlens.exe"
run="$src/tests/program/run_program.sh"
tmp=$(mktemp -d)
export RUN_PROGRAM_LOG="$tmp/retries"
cleanup=(rm -rf "$tmp")
finish() {
  if [ -s "$RUN_PROGRAM_LOG" ]; then cat "$RUN_PROGRAM_LOG"; fi
  "${cleanup[@]}"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The values that move between two runs: compared by label only.
label_of() { sed -E 's/^(Uptime|CPU|Memory|Commit|Disk \([^)]*\)): .*/\1: .../'; }

console_case() {
  local key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
  local product='Windows 10 Pro Für Tests'
  "$wine" reg export "$key" "$tmp/saved.reg" /y >/dev/null
  local sock="hostlens-console-$$"
  cleanup=(bash -c 'tmux -L "$1" kill-server 2>/dev/null; "$2" reg import "$3" >/dev/null 2>&1;
                    rm -rf "$4"' _ "$sock" "$wine" "$tmp/saved.reg" "$tmp")
  "$wine" reg add "$key" /v ProductName /t REG_SZ /d "$product" /f >/dev/null

  # In the terminal, then through a pipe. A piped run that printed nothing
  # at all is tried once more (a start Wine failed), and the log says so.
  cat >"$tmp/console.sh" <<EOF
export RUN_PROGRAM_LOG='$RUN_PROGRAM_LOG'
'$run' '$tmp/err' '$wine' '$exe'; echo \$? >'$tmp/status'
for attempt in 1 2; do
  { '$wine' '$exe' 2>'$tmp/piped_err'; echo \$? >'$tmp/piped_status'; } | cat >'$tmp/piped'
  [ -s '$tmp/piped' ] && break
  echo "wine_cases.sh: the piped summary was empty (status \$(cat '$tmp/piped_status')); trying once more" \
    >>'$RUN_PROGRAM_LOG'
done
tmux -L '$sock' wait-for -S done
sleep 600
EOF
  tmux -u -L "$sock" new-session -d -x 200 -y 60 -s t "sh '$tmp/console.sh'"
  timeout 240 tmux -L "$sock" wait-for done || fail "the program did not finish in the terminal"
  tmux -u -L "$sock" capture-pane -p -J -t t -S - | sed -e 's/ *$//' -e '/^$/d' >"$tmp/screen"

  [ "$(cat "$tmp/status")" = 0 ] || fail "exit status $(cat "$tmp/status"): $(cat "$tmp/err")"
  if grep -a -n -E $'\x1b|\\[[0-9;]*m' "$tmp/screen"; then fail "escape-code residue on the screen"; fi
  grep -a -q "^ *|__| *|__| *" "$tmp/screen" || fail "no logo on the console: $(cat "$tmp/screen")"
  grep -a -q "OS: $product Service Pack 1 (build " "$tmp/screen" ||
    fail "product name not shown whole: $(cat "$tmp/screen")"
  if grep -a -q "Read access denied" "$tmp/screen" "$tmp/err" "$tmp/piped_err"; then
    fail "Wine's volume message was not filtered"
  fi

  # Through a pipe: the same lines, no logo, no colour.
  [ "$(cat "$tmp/piped_status")" = 0 ] ||
    fail "exit status $(cat "$tmp/piped_status") through a pipe: $(cat "$tmp/piped_err")"
  if grep -a -q -E $'\x1b|__' "$tmp/piped"; then fail "colour or logo in the piped summary"; fi
  cut -c21- "$tmp/screen" | sed '/^$/d' | label_of >"$tmp/screen_lines"
  label_of <"$tmp/piped" >"$tmp/piped_lines"
  diff "$tmp/screen_lines" "$tmp/piped_lines" || fail "the piped summary differs from the screen"
}

prometheus_case() {
  "$run" "$tmp/err" "$wine" "$exe" --format prometheus >"$tmp/stdout.prom" ||
    fail "exit status $?: $(cat "$tmp/err")"
  promtool check metrics <"$tmp/stdout.prom" || fail "promtool refused the output"
  local dup
  dup=$(sed -n 's/^# TYPE \([^ ]*\) .*/\1/p' "$tmp/stdout.prom" | sort | uniq -d)
  [ -z "$dup" ] || fail "metric families written twice: $dup"
  if grep -q -i 'nan' "$tmp/stdout.prom"; then fail "NaN in the output"; fi

  # Against independent sources: the processors Linux has online, and the
  # library's own memory document.
  grep -q "^hostlens_cpu_logical_processor $(nproc)\$" "$tmp/stdout.prom" || fail "logical cores"
  local total_mb
  total_mb=$("$run" "$tmp/err" "$wine" "$exe" memory | sed -n 's/.*"total_mb":\([0-9]*\).*/\1/p')
  grep -q "^hostlens_memory_physical_total_bytes $((total_mb * 1048576))\$" "$tmp/stdout.prom" ||
    fail "memory total is not the memory document's $total_mb MiB"
  # C: is the prefix's folder: its size is its file system's, exactly.
  local frsize blocks
  read -r frsize blocks < <(stat -f -c '%S %b' "$WINEPREFIX/drive_c")
  grep -q "^hostlens_logical_disk_size_bytes{volume=\"C:\"} $((frsize * blocks))\$" "$tmp/stdout.prom" ||
    fail "volume C: is not the $((frsize * blocks)) bytes of $WINEPREFIX/drive_c"
  # Wine refuses the disk counters: they are left out, never written as 0.
  if grep -q '^hostlens_physical_disk_' "$tmp/stdout.prom"; then fail "disk counters under Wine"; fi
  # Named alone, they give an empty text, and a note says why.
  "$run" "$tmp/err" "$wine" "$exe" --format prometheus disk_io >"$tmp/empty.prom" ||
    fail "disk_io alone exited $?: $(cat "$tmp/err")"
  [ ! -s "$tmp/empty.prom" ] && grep -q '^hostlens: the Prometheus text is empty: ' "$tmp/err" ||
    fail "disk_io alone: $(cat "$tmp/empty.prom" "$tmp/err")"

  # --output replaces the file whole and leaves nothing else beside it.
  mkdir "$tmp/textfile"
  echo "stale" >"$tmp/textfile/hostlens.prom"
  (cd "$tmp/textfile" && "$run" "$tmp/err" "$wine" "$exe" --format prometheus --output hostlens.prom) ||
    fail "--output failed: $(cat "$tmp/err")"
  [ "$(ls "$tmp/textfile")" = hostlens.prom ] || fail "left beside the file: $(ls "$tmp/textfile")"
  promtool check metrics <"$tmp/textfile/hostlens.prom" || fail "promtool refused the file"
  grep -q '^hostlens_os_info{' "$tmp/textfile/hostlens.prom" || fail "the file was not replaced"
}

write_failure_case() {
  local status=0
  "$run" "$tmp/err" "$wine" "$exe" --json >/dev/full || status=$?
  [ "$status" = 1 ] || fail "--json > /dev/full exited $status"
  grep -q "^hostlens: cannot write the output: " "$tmp/err" || fail "no message: $(cat "$tmp/err")"

  # A reader that is gone before the program writes.
  set +e
  "$run" "$tmp/err" "$wine" "$exe" --json | true
  status=${PIPESTATUS[0]}
  set -e
  [ "$status" = 1 ] || fail "--json into a closed pipe exited $status"
  grep -q "^hostlens: cannot write the output: " "$tmp/err" || fail "no message: $(cat "$tmp/err")"

  status=0
  "$run" "$tmp/err" "$wine" "$exe" --list --output 'C:\no\such\folder\list.txt' || status=$?
  [ "$status" = 1 ] || fail "--output into a missing folder exited $status"
  grep -q '^hostlens: cannot write C:\\no\\such\\folder\\list.txt: ' "$tmp/err" ||
    fail "no message: $(cat "$tmp/err")"
}

first_run_case() {
  git clone -q "$src" "$tmp/clone"
  SECONDS=0
  (cd "$tmp/clone" && scripts/run --version) >"$tmp/out" 2>"$tmp/progress" ||
    fail "scripts/run failed: $(tail -20 "$tmp/progress")"
  echo "first run of a fresh clone: ${SECONDS} s"
  grep -q -E '^hostlens [0-9.]+ \(library [0-9.]+\)$' "$tmp/out" || fail "output: $(cat "$tmp/out")"
  grep -q '^\[ *[0-9]*%\] Building CXX object' "$tmp/progress" || fail "no build progress shown"
  # What was compiled, by target; and what was linked.
  local targets built
  targets=$(cd "$tmp/clone/build/mingw" && find . -name '*.obj' |
    sed -n 's|.*/CMakeFiles/\([^/]*\)\.dir/.*|\1|p' | sort -u | tr '\n' ' ')
  [ "$targets" = "hostlens hostlens_cli hostlens_objects " ] || fail "compiled more than the DLL and the program: $targets"
  built=$(cd "$tmp/clone/build/mingw/bin" && ls | tr '\n' ' ')
  [ "$built" = "hostlens.dll hostlens.exe hostlens.lib " ] || fail "linked: $built"
  if find "$tmp/clone/build/mingw" -name 'libgtest*' | grep -q .; then fail "GoogleTest was built"; fi
  # A program that cannot start says why.
  mkdir "$tmp/solo"
  cp "$tmp/clone/build/mingw/bin/hostlens.exe" "$tmp/solo/"
  if "$tmp/clone/scripts/wine" "$tmp/solo/hostlens.exe" --version 2>"$tmp/err"; then
    fail "started without its DLL"
  fi
  grep -q 'hostlens.dll' "$tmp/err" || fail "no word of the missing DLL: $(cat "$tmp/err")"
}

watch_json_case() {
  "$run" "$tmp/err" "$wine" "$exe" --watch 0.2 --count 3 --json >"$tmp/lines" || fail "exit $?: $(cat "$tmp/err")"
  [ "$(wc -l <"$tmp/lines")" = 3 ] || fail "not three lines: $(cat "$tmp/lines")"
  [ ! -s "$tmp/err" ] || fail "stderr: $(cat "$tmp/err")"
  # Each line is one whole document with the interval and the default
  # modules.
  python3 - "$tmp/lines" <<'PY' || fail "a line is not the sampler's document: $(cat "$tmp/lines")"
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    doc = json.loads(line)
    assert 0.15 < doc["interval_s"] < 5, doc["interval_s"]
    assert sorted(doc) == ["cpu", "disk_io", "interval_s", "memory", "net_io"], list(doc)
PY
  # Through a pipe to jq, a line at a time.
  "$run" "$tmp/err" "$wine" "$exe" --watch 0.2 --count 2 cpu net_io | jq -c '.net_io | length' >"$tmp/jq" ||
    fail "jq refused the lines"
  [ "$(wc -l <"$tmp/jq")" = 2 ] || fail "jq saw: $(cat "$tmp/jq")"

  # A reader that goes away: the program ends at its next line, quietly.
  local status
  set +e
  "$run" "$tmp/err" "$wine" "$exe" --watch 0.1 | head -c 1 >/dev/null
  status=${PIPESTATUS[0]}
  set -e
  [ "$status" = 0 ] || fail "a closed pipe ended it with $status"
  [ ! -s "$tmp/err" ] || fail "a closed pipe printed: $(cat "$tmp/err")"
}

watch_console_case() {
  local sock="hostlens-watch-$$"
  cleanup=(bash -c 'tmux -L "$1" kill-server 2>/dev/null; rm -rf "$2"' _ "$sock" "$tmp")
  tmux -u -L "$sock" new-session -d -x 120 -y 40 -s t "bash --norc --noprofile"
  tmux -L "$sock" send-keys -t t "echo BEFORE; '$wine' '$exe' --watch 0.2 cpu memory net_io; \
    echo \"AFTER \$?\"" Enter
  # Frames for a while, then Ctrl+C as a user ends it.
  local i
  for ((i = 0; i < 200; i++)); do
    tmux -L "$sock" capture-pane -p -t t | grep -q '^Network ' && break
    sleep 0.1
  done
  sleep 1
  tmux -L "$sock" send-keys -t t C-c
  for ((i = 0; i < 100; i++)); do
    tmux -L "$sock" capture-pane -p -t t | grep -q '^AFTER ' && break
    sleep 0.1
  done
  tmux -u -L "$sock" capture-pane -p -t t | sed -e 's/ *$//' -e '/^$/d' >"$tmp/screen"
  tmux -u -L "$sock" capture-pane -p -e -t t >"$tmp/raw"
  [ "$(tmux -L "$sock" display -p -t t '#{cursor_flag}')" = 1 ] || fail "the cursor stayed hidden"

  grep -q '^AFTER 0$' "$tmp/screen" || fail "Ctrl+C did not end it with 0: $(cat "$tmp/screen")"
  if grep -a -n -E $'\x1b|\\[[0-9;]*m' "$tmp/screen"; then fail "escape-code residue on the screen"; fi
  # The last frame stays whole, the prompt below it; the terminal's own
  # echo of ^C may sit between them.
  sed -e '/^\^C$/d' "$tmp/screen" >"$tmp/frame"
  grep -q '^hostlens --watch   over 0\.[0-9][0-9] s' "$tmp/frame" || fail "no frame: $(cat "$tmp/frame")"
  [ "$(grep -c '^CPU ' "$tmp/frame")" = 1 ] || fail "not one CPU row: $(cat "$tmp/frame")"
  grep -q '^BEFORE' "$tmp/frame" && fail "the view did not take the window: $(cat "$tmp/frame")"
  # (The shell's prompt may not be drawn yet: the line the shell echoes
  # stands for it.)
  local after
  after=$(grep -n '^AFTER 0$' "$tmp/frame" | cut -d: -f1)
  [ "$(sed -n "$((after - 1))p" "$tmp/frame" | cut -c1-2)" = "  " ] ||
    fail "not the last frame, then the prompt: $(cat "$tmp/frame")"
  # Colours end where the frame ends: the prompt's row has none.
  grep 'AFTER 0' "$tmp/raw" | grep -q $'\x1b\[[0-9;]*[1-9][0-9]*m' && fail "colour left on: $(cat -v "$tmp/raw")"
  true
}

"${case_name}_case"
echo "ok: $case_name"
