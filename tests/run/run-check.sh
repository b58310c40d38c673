#!/usr/bin/env bash
# Starts scripts/run as a user does on a fresh clone: no Wine prefix yet, a
# display, an empty working folder. The window must appear, "Speichern" must
# write the default settings file into that folder, and Alt+F4 must end the
# program with exit code 0.
#   run-check.sh SCRATCH_DIR     (deleted first; needs DISPLAY and xdotool)
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

scratch=${1:?usage: run-check.sh SCRATCH_DIR}
[ -n "${DISPLAY:-}" ] || { echo "run-check: needs DISPLAY" >&2; exit 2; }

rm -rf "$scratch"
mkdir -p "$scratch/work" || exit 1
scratch=$(cd "$scratch" && pwd)
state="$scratch/state"  # scripts/run makes it itself
log="$scratch/run.log"
pid=""

fail() {
  echo "run-check: $*" >&2
  echo "--- scripts/run said:" >&2
  cat "$log" >&2 2>/dev/null
  exit 1
}

# Ends what we started, however we leave: scripts/run's process, and every
# Wine process of its prefix. The prefix (over a gigabyte) goes too; the log
# and the working folder stay.
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null
  [ -d "$state/prefix" ] && WINEPREFIX="$state/prefix" wineserver -k 2>/dev/null
  rm -rf "$state"
}
trap cleanup EXIT

# The bytes a save of the untouched window writes, from the C string in
# tests/default_settings_file.h, whose size the header asserts.
printf '%b' "$(sed -n 's/^[^"]*"\(.*\)"[;]*$/\1/p' "$root/tests/default_settings_file.h" | tr -d '\n')" \
  >"$scratch/expected.ini"
grep -qF "== $(stat -c %s "$scratch/expected.ini")," "$root/tests/default_settings_file.h" || fail "misread the header"

# scripts/run must pick its own prefix, not the UI tests' session.
unset WINEPREFIX
(cd "$scratch/work" && TESSORN_RUN_DIR="$state" exec "$root/scripts/run") >"$log" 2>&1 </dev/null &
pid=$!

# First start: a build check and a new prefix; slow machines need minutes.
window=""
for _ in $(seq 1 480); do
  window=$(xdotool search --onlyvisible --name Mirabelt 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  kill -0 "$pid" 2>/dev/null || fail "scripts/run ended before the window appeared"
  sleep 0.5
done
[ -n "$window" ] || fail "no window within 4 minutes"
grep -q 'preparing Wine for the first start' "$log" || fail "the first start did not say that it prepares Wine"

# Without a window manager the X window is the client area; "Speichern"
# spans client x 20..170, y 420..440 at 96 dpi.
sleep 1  # let it take input
xdotool mousemove --window "$window" 95 430 click 1
for _ in $(seq 1 40); do
  cmp -s "$scratch/expected.ini" "$scratch/work/tessorn.ini" && break
  sleep 0.25
done
cmp "$scratch/expected.ini" "$scratch/work/tessorn.ini" ||
  fail "Speichern did not write the default file into the working folder"

# Wine must see Alt held before F4 comes.
xdotool keydown alt sleep 0.2 key F4 sleep 0.2 keyup alt
for _ in $(seq 1 80); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.25
done
kill -0 "$pid" 2>/dev/null && fail "Alt+F4 did not end the program within 20 seconds"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "scripts/run exited with $status after Alt+F4"
echo "run-check: window shown, default file saved in the working folder, Alt+F4 ended it with 0"
