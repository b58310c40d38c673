#!/usr/bin/env bash
# Checks that "wine-fixture.sh run" starts a program again when Wine could
# not start it at all (Wine's message alone, as under load now and then),
# and never when the program itself ran and failed.
#   start-retry-check.sh FIXTURE STATE_DIR SCRATCH_DIR
set -u
fixture=${1:?usage: start-retry-check.sh FIXTURE STATE_DIR SCRATCH_DIR}
state=${2:?usage: start-retry-check.sh FIXTURE STATE_DIR SCRATCH_DIR}
scratch=${3:?usage: start-retry-check.sh FIXTURE STATE_DIR SCRATCH_DIR}
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
status=0

# A stand-in for a program: each call counts itself in COUNTER, and the
# first FAILURES calls write Wine's message as Wine does when a start fails
# (with an output line of the program's own where ALSO_OUTPUT is 1).
cat >"$scratch/program.sh" <<'PROGRAM'
counter=$1 failures=$2 also_output=$3
calls=$(( $(cat "$counter" 2>/dev/null || echo 0) + 1 ))
echo "$calls" >"$counter"
if [ "$calls" -le "$failures" ]; then
  [ "$also_output" = 0 ] || echo "[==========] Running 3 tests from 1 test suite."
  printf 'Application could not be started, or no application associated with the specified file.\r\n'
  printf 'ShellExecuteEx failed: Internal error.\r\n\r\n'
  exit 1
fi
echo "the program ran"
PROGRAM

# expect NAME FAILURES ALSO_OUTPUT STATUS CALLS: runs the stand-in through
# the fixture and compares its exit status and the number of starts.
expect() {
  local name=$1 counter="$scratch/$1.count" output="$scratch/$1.log" got calls
  bash "$fixture" run "$state" bash "$scratch/program.sh" "$counter" "$2" "$3" >"$output" 2>&1
  got=$?
  calls=$(cat "$counter")
  if [ "$got" -ne "$4" ] || [ "$calls" -ne "$5" ]; then
    echo "$name: exit status $got after $calls starts, expected $4 after $5:"
    cat "$output"
    status=1
  elif [ "$calls" -gt 1 ] && ! grep -q 'trying again' "$output"; then
    echo "$name: started again without saying so"
    status=1
  else
    echo "$name: exit status $got after $calls starts"
  fi
}

expect once-not-started 1 0 0 2
expect never-started 5 0 1 3
expect started-and-failed 1 1 1 1
expect started 0 0 0 1
exit "$status"
