#!/usr/bin/env bash
# CTest's way into Wine for the UI tests.
#   wine-fixture.sh start STATE_DIR PREFIX [NAME=VALUE...]
#       a Wine session (scripts/lib/wine.sh) that belongs to the CTest run;
#       each NAME=VALUE is set for its programs (LANG picks Wine's code
#       page); TESSORN_UI_DPI=N and TESSORN_UI_COLOURS=NAME:R G B,... set the
#       scale and colours; TESSORN_UI_USER=NAME runs the programs as that
#       user, who must read TESSORN_UI_USER_READS=FILE:FILE, and they find
#       TESSORN_UI_UNPRIVILEGED=1 (or TESSORN_UI_UNPRIVILEGED_MISSING=why)
#   wine-fixture.sh run STATE_DIR COMMAND...
#       COMMAND in that session, again where Wine could not start it or a
#       program it starts (exit 75)
#   wine-fixture.sh stop STATE_DIR   ends exactly what start started
set -uo pipefail
# Root trusts only files that no other user may have written.
umask 022
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR/../.. source=scripts/lib/wine.sh
. "$here/../../scripts/lib/wine.sh"

command=${1:-}
state=${2:-}
if [ -z "$command" ] || [ -z "$state" ]; then
  sed -n '2,13p' "$0" >&2
  exit 2
fi

# Succeeds when OUTPUT is Wine's own message that it could not start the
# program (under load now and then "ShellExecuteEx failed: Internal error",
# error 1359), alone: not a line from the program. Every translation of the
# message names ShellExecuteEx on its last line.
wine_did_not_start() {
  local lines
  lines=$(tr -d '\r' <"$1" | grep -v '^[[:space:]]*$')
  [ -n "$lines" ] && [ "$(wc -l <<<"$lines")" -le 2 ] &&
    tail -n 1 <<<"$lines" | grep -q 'ShellExecuteEx'
}

case "$command" in
  start)
    [ -n "${3:-}" ] || { echo "start needs a prefix directory" >&2; exit 2; }
    prefix=$3
    shift 3
    for assignment in "$@"; do export "${assignment?}"; done
    options=()
    [ -z "${TESSORN_UI_DPI:-}" ] || options+=(--dpi "$TESSORN_UI_DPI")
    [ -z "${TESSORN_UI_COLOURS:-}" ] || options+=(--colours "$TESSORN_UI_COLOURS")
    if [ -n "${TESSORN_UI_USER:-}" ]; then
      options+=(--user "$TESSORN_UI_USER")
      IFS=: read -ra reads <<<"${TESSORN_UI_USER_READS:-}"
      for file in "${reads[@]}"; do options+=(--user-reads "$file"); done
    fi
    # Nothing started here may hold CTest's output pipe open after we exit.
    wine_session_start "$state" "$prefix" --owner "$PPID" "${options[@]}" </dev/null || exit 1
    # What a run killed outright left behind (the session is ours now).
    rm -f "$state"/run.*
    for assignment in "$@"; do printf 'export %q\n' "$assignment" >>"$state/env"; done
    if [ -n "${TESSORN_UI_USER:-}" ] && reason=$(cat "$state/user-missing" 2>/dev/null); then
      echo "wine-fixture: the session runs as $(id -un), not $TESSORN_UI_USER: $reason" >&2
      printf 'export TESSORN_UI_UNPRIVILEGED_MISSING=%q\n' "$reason" >>"$state/env"
    elif [ -n "${TESSORN_UI_USER:-}" ]; then
      echo "wine-fixture: the session's programs run as $TESSORN_UI_USER" >&2
      echo 'export TESSORN_UI_UNPRIVILEGED=1' >>"$state/env"
    fi
    ;;
  run)
    shift 2
    # In the session's folder, so that no kill leaves it elsewhere.
    output=$(mktemp "$state/run.XXXXXX") || exit 1
    trap 'rm -f "$output"' EXIT
    for attempt in 1 2 3; do
      # Into a file, not a pipe: a Wine process that the command leaves
      # behind for a moment (the desktop's, which ends a second after the
      # last program) would hold a pipe open. Shown as it grows, so that a
      # time-out shows how far the command got, and without the control
      # characters that would reach the terminal of whoever runs the tests.
      wine_session_run "$state" "$@" >"$output" 2>&1 &
      tail -s 0.1 -n +1 -f --pid=$! "$output" | tr -d '\000-\010\013-\037\177'
      wait $!
      status=$?
      # The one place that tries again where Wine refused to start a
      # program under load: the driver, or a program the driver started (75).
      [ "$attempt" -lt 3 ] && { [ "$status" -eq 75 ] || wine_did_not_start "$output"; } || break
      echo "wine-fixture: Wine could not start a program (attempt $attempt of 3); trying again" >&2
      sleep 1
    done
    exit "$status"
    ;;
  stop)
    wine_session_stop "$state" "$PPID"
    ;;
  *)
    echo "unknown command: $command" >&2
    exit 2
    ;;
esac
