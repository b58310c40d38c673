# shellcheck shell=bash
# Sourced by the scripts: runs Windows programs under Wine on a private,
# headless X display, with a Wine prefix of our own.
#
# Functions:
#   wine_env PREFIX
#       Exports WINEPREFIX=PREFIX and the quiet, prompt-free Wine settings
#       (WINEDEBUG=-all, WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH=win64).
#   wine_prefix_create PREFIX
#       Makes a new prefix (wineboot --init; Wine makes the prefix's last
#       folder only, so its parents are made first) and waits until the
#       Wine that made it has ended, so call it while no wineserver runs
#       for PREFIX. Then its system folders (over a gigabyte, the same in
#       every prefix of one Wine) become hard links to those of the
#       prefixes beside it, so that each further prefix costs megabytes.
#       Calls wine_env.
#   wine_prefix_prepare PREFIX
#       Shares the system folders of a prefix made before prefixes shared
#       them (see wine_prefix_create), before any program runs in it, and
#       makes sure it carries the registry values the tests rely on:
#       X11 Driver\Managed = "N" (no 2-second wait when a window closes on
#       a display without a window manager) and WineDbg\ShowCrashDialog = 0
#       (a crash ends the program instead of waiting for a click). Re-reads
#       both values and fails if they did not take. Idempotent; calls
#       wine_env.
#   wine_xvfb_start STATE_DIR
#       Starts Xvfb on a free display number (the server picks it and reports
#       it through -displayfd once it accepts connections), with a screen of
#       1600x1200 that holds the window at 200 %, exports DISPLAY
#       and writes STATE_DIR/display and STATE_DIR/xvfb.pid.
#   wine_server_start STATE_DIR
#       Starts one persistent wineserver for $WINEPREFIX, so every program
#       run after it starts warm; writes STATE_DIR/wineserver.pid.
#   wine_session_start STATE_DIR PREFIX
#       Starts Xvfb, creates the prefix where it is new, starts the
#       wineserver and prepares the prefix, then writes STATE_DIR/env, a
#       file of export lines (DISPLAY, WINEPREFIX, ...) for
#       wine_session_env. Stops a session left behind in STATE_DIR first.
#   wine_set_dpi DPI
#       Gives $WINEPREFIX the display scale DPI (96 = 100 %, 192 = 200 %),
#       as Windows' display settings would; programs started after it see it.
#   wine_set_colours NAME:R G B[,NAME:R G B...]
#       Gives $WINEPREFIX those system colours (ButtonFace, ButtonText, ...),
#       as a colour scheme such as high contrast does; programs started
#       after it see them.
#   wine_session_env STATE_DIR
#       Exports the variables of a running session (reads STATE_DIR/env).
#   wine_session_stop STATE_DIR
#       Ends what wine_session_start started, and nothing else: the
#       wineserver of the session's prefix (wineserver -k, which also ends
#       the Wine programs still running in that prefix) and the Xvfb whose
#       PID is recorded. Safe to call twice or without a session.
#
# Requires: wine (64-bit), Xvfb (scripts/lib/deps.sh installs them).

wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
}

# Prints nothing; succeeds when both registry values read back as wanted.
_wine_registry_ok() {
  wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>/dev/null |
    grep -Eq 'Managed[[:space:]]+REG_SZ[[:space:]]+N[[:space:]]*$' || return 1
  wine reg query 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog 2>/dev/null |
    grep -Eq 'ShowCrashDialog[[:space:]]+REG_DWORD[[:space:]]+0x0[[:space:]]*$'
}

# A prefix made before 32-bit Wine was installed lacks the 32-bit system
# files, and 32-bit programs cannot start in it.
_wine_prefix_lacks_32bit() {
  local prefix="$1"
  [ -f "$prefix/system.reg" ] && [ -x /usr/lib/wine/wine ] &&
    [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]
}

# Wine writes these folders only when it makes or updates a prefix, and
# then writes the same files into every prefix.
_wine_shared_folders=(system32 syswow64 winsxs)

_wine_prefix_share() {
  local prefix="$1" other folder folders=() others=0
  for other in "$(dirname "$prefix")"/*/; do
    other=${other%/}
    [ -d "$other/drive_c/windows/system32" ] || continue
    [ "$other" -ef "$prefix" ] || others=$((others + 1))
    for folder in "${_wine_shared_folders[@]}"; do
      [ -d "$other/drive_c/windows/$folder" ] && folders+=("$other/drive_c/windows/$folder")
    done
  done
  # Only a saving: without hardlink, or where it fails, the copies stay.
  [ "$others" -eq 0 ] || hardlink --quiet --ignore-time "${folders[@]}" 2>/dev/null
  return 0
}

wine_prefix_create() {
  local prefix="$1"
  wine_env "$prefix"
  mkdir -p "$prefix" || return 1
  wine wineboot --init >/dev/null 2>&1 || { echo "wine: wineboot failed" >&2; return 1; }
  # Files replaced under Wine's running services cost the next program
  # seconds (its RPC service fails to start), so share only once they end.
  wineserver -w
  _wine_prefix_share "$prefix"
}

wine_prefix_prepare() {
  local prefix="$1"
  wine_env "$prefix"
  _wine_prefix_share "$prefix"
  _wine_registry_ok && return 0
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  _wine_registry_ok || { echo "wine: registry values did not take in $prefix" >&2; return 1; }
}

wine_set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

wine_set_colours() {
  local pair IFS=,
  for pair in $1; do
    wine reg add 'HKCU\Control Panel\Colors' /v "${pair%%:*}" /t REG_SZ /d "${pair#*:}" /f \
      >/dev/null 2>&1 || return 1
  done
  # A new prefix's theme sets its colours for the running session only
  # (SetSysColors), and those would hide the scheme until the session ends.
  wine reg delete 'HKCU\Software\Wine\Temporary System Parameters\Control Panel\Colors' /f \
    >/dev/null 2>&1
  return 0
}

wine_xvfb_start() {
  local state="$1" displayfile display="" _
  mkdir -p "$state" || return 1
  rm -f "$state/display" "$state/xvfb.pid"
  # Xvfb writes the display number it bound to, once it is ready.
  displayfile="$state/displayfd"
  : >"$displayfile"
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$displayfile" >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 1 100); do
    display=$(tr -dc '0-9' <"$displayfile")
    [ -n "$display" ] && break
    kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$displayfile"
  if [ -z "$display" ]; then
    echo "wine: Xvfb did not come up (see $state/xvfb.log)" >&2
    _wine_stop_xvfb "$state"
    return 1
  fi
  echo ":$display" >"$state/display"
  export DISPLAY=":$display"
}

wine_server_start() {
  local state="$1" _
  mkdir -p "$state" || return 1
  # -f keeps it in the foreground so that $! is the server itself; -p keeps
  # it (and Wine's service processes) alive between program runs.
  wineserver -f -p >"$state/wineserver.log" 2>&1 &
  echo $! >"$state/wineserver.pid"
  # Usable once it holds its listening socket (the socket's directory has
  # a random name on Debian, so look at the server's open files instead).
  local pid
  pid=$(cat "$state/wineserver.pid")
  local fd
  for _ in $(seq 1 100); do
    for fd in /proc/"$pid"/fd/*; do
      case "$(readlink "$fd" 2>/dev/null)" in socket:*) return 0 ;; esac
    done
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "wine: wineserver did not come up (see $state/wineserver.log)" >&2
  return 1
}

wine_session_start() {
  local state="$1" prefix="$2"
  if [ -z "$state" ] || [ -z "$prefix" ]; then
    echo "usage: wine_session_start STATE_DIR PREFIX" >&2
    return 1
  fi
  mkdir -p "$state" || return 1
  state=$(cd "$state" && pwd)
  mkdir -p "$prefix" && prefix=$(cd "$prefix" && pwd) || return 1
  wine_session_stop "$state"
  if _wine_prefix_lacks_32bit "$prefix"; then
    echo "wine: $prefix predates 32-bit Wine; making it anew" >&2
    rm -rf "$prefix" && mkdir -p "$prefix" || return 1
  fi
  wine_env "$prefix"
  echo "$prefix" >"$state/prefix"
  wine_xvfb_start "$state" || return 1
  if [ ! -f "$prefix/system.reg" ] || [ ! -f "$prefix/user.reg" ]; then
    echo "wine: creating prefix $prefix" >&2
    wine_prefix_create "$prefix" || { wine_session_stop "$state"; return 1; }
  fi
  wine_server_start "$state" || { wine_session_stop "$state"; return 1; }
  wine_prefix_prepare "$prefix" || { wine_session_stop "$state"; return 1; }
  {
    printf 'export DISPLAY=%q\n' "$DISPLAY"
    printf 'export WINEPREFIX=%q\n' "$WINEPREFIX"
    printf 'export WINEDEBUG=%q\n' "$WINEDEBUG"
    printf 'export WINEDLLOVERRIDES=%q\n' "$WINEDLLOVERRIDES"
    printf 'export WINEARCH=%q\n' "$WINEARCH"
  } >"$state/env"
}

wine_session_env() {
  local state="$1"
  [ -f "$state/env" ] || { echo "wine: no session in $state (run wine_session_start)" >&2; return 1; }
  # shellcheck disable=SC1090,SC1091
  . "$state/env"
}

# Succeeds when PID is alive and its command line names PROGRAM, so that a
# recorded PID reused by an unrelated process is never signalled.
_wine_pid_is() {
  local pid="$1" program="$2"
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "$program"
}

# Gone also when only its exit status is left: a process whose parent has
# ended waits for the system's first process to collect it, which here
# takes seconds.
_wine_wait_gone() {
  local pid="$1" state _
  for _ in $(seq 1 50); do
    state=$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null) || return 0
    case "$state" in "" | Z | X) return 0 ;; esac
    sleep 0.1
  done
  return 1
}

_wine_stop_xvfb() {
  local state="$1" pid
  pid=$(cat "$state/xvfb.pid" 2>/dev/null)
  if _wine_pid_is "$pid" Xvfb; then
    kill "$pid" 2>/dev/null
    _wine_wait_gone "$pid" || kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$state/xvfb.pid" "$state/display"
}

wine_session_stop() {
  local state="$1" prefix pid
  [ -d "$state" ] || return 0
  prefix=$(cat "$state/prefix" 2>/dev/null)
  pid=$(cat "$state/wineserver.pid" 2>/dev/null)
  if [ -n "$prefix" ] && [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null
    if [ -n "$pid" ] && ! _wine_wait_gone "$pid" && _wine_pid_is "$pid" wineserver; then
      kill -9 "$pid" 2>/dev/null
    fi
  fi
  rm -f "$state/wineserver.pid" "$state/env"
  _wine_stop_xvfb "$state"
}
