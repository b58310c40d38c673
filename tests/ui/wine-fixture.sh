#!/usr/bin/env bash
# CTest's way into Wine for the UI tests.
#   wine-fixture.sh start STATE_DIR PREFIX [NAME=VALUE...]
#                                            private Xvfb, warm wineserver, prepared prefix;
#                                            each NAME=VALUE is set for the session's
#                                            programs (LANG picks Wine's code page), and
#                                            TESSORN_UI_DPI=N gives the prefix that scale,
#                                            TESSORN_UI_COLOURS=NAME:R G B,... those colours
#   wine-fixture.sh run STATE_DIR COMMAND... runs COMMAND inside that session
#   wine-fixture.sh stop STATE_DIR           ends exactly what start started
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR/../.. source=scripts/lib/wine.sh
. "$here/../../scripts/lib/wine.sh"

command=${1:-}
state=${2:-}
if [ -z "$command" ] || [ -z "$state" ]; then
  sed -n '2,8p' "$0" >&2
  exit 2
fi

case "$command" in
  start)
    [ -n "${3:-}" ] || { echo "start needs a prefix directory" >&2; exit 2; }
    prefix=$3
    shift 3
    for assignment in "$@"; do export "${assignment?}"; done
    # Nothing started here may hold CTest's output pipe open after we exit.
    wine_session_start "$state" "$prefix" </dev/null || exit 1
    for assignment in "$@"; do printf 'export %q\n' "$assignment" >>"$state/env"; done
    [ -z "${TESSORN_UI_DPI:-}" ] || wine_set_dpi "$TESSORN_UI_DPI"
    [ -z "${TESSORN_UI_COLOURS:-}" ] || wine_set_colours "$TESSORN_UI_COLOURS"
    ;;
  run)
    shift 2
    wine_session_env "$state" || exit 1
    exec "$@"
    ;;
  stop)
    wine_session_stop "$state"
    ;;
  *)
    echo "unknown command: $command" >&2
    exit 2
    ;;
esac
