# shellcheck shell=bash
# Sourced by the scripts: runs Windows programs under Wine on a private,
# headless X display, in Wine prefixes copied from one that Wine made once.
#
# Functions:
#   wine_env PREFIX
#       Exports WINEPREFIX and the quiet, prompt-free Wine settings.
#   wine_prefix_base
#       Prints the prefix that this Wine makes (wineboot --init), kept in
#       build/wine as base-KEY (KEY hashes the Wine and the code that makes
#       it); makes it where missing, one maker at a time, and removes the
#       bases of other keys. No program runs in a base; a 64-bit base runs
#       32-bit programs too (WoW64).
#   wine_prefix_copy BASE PREFIX
#       Makes PREFIX anew as a copy of BASE, Wine's system folders (over a
#       gigabyte, written only when Wine makes or updates a prefix) as hard
#       links. Call it while no wineserver runs for PREFIX.
#   wine_prefix_create PREFIX      wine_env, wine_prefix_base, wine_prefix_copy
#   wine_prefix_is_current PREFIX  PREFIX is a copy of the current base
#   wine_session_start STATE_DIR PREFIX [--owner PID] [--dpi N]
#                      [--colours NAME:R G B,...] [--user NAME [--user-reads FILE]...]
#       As root, only inside scripts/sandbox. Takes STATE_DIR's lock, makes
#       PREFIX a copy of the base, and starts a private Xvfb (1600x1200,
#       which holds the window at 200 %) and a persistent wineserver under a
#       keeper that holds the lock until the owner (default: the calling
#       script) or either of them has ended or the stop asks. Then imports,
#       before any other program starts: no 2-second wait when a window
#       closes without a window manager, no crash dialog, the scale (--dpi:
#       96 = 100 %) and system colours. Writes STATE_DIR/env. With --user
#       (root, in the sandbox) Xvfb and the programs run as that user, in a
#       prefix and a HOME the user owns, which go when the session stops;
#       where that cannot be had (or the user cannot read a FILE of
#       --user-reads) they run as the caller and STATE_DIR/user-missing
#       says why.
#   wine_session_run STATE_DIR COMMAND...   COMMAND in the session, as its user
#   wine_set_dpi DPI               the scale of $WINEPREFIX, for programs started later
#   wine_session_env STATE_DIR     exports the variables of a running session
#   wine_session_stop STATE_DIR [OWNER]
#       Ends the session that OWNER (default: the calling script) started:
#       its wineserver and Xvfb, then every process of its user, within half
#       a minute whatever state they are in; leaves another run's alone.
#       Safe to repeat. What root's sessions leave ends with the sandbox.
#   wine_account_refusal NAME      why NAME is not an account of the tests' own
#
# What root does where the session's user may write, and why that user
# cannot turn it against anything else: the prefix is handed over as
# _wine_prefix_give says, the home made anew and then given. The state
# folder is root's alone, entered by the user's group, its files made anew
# for each session, never rewritten in place; root reads nothing there that
# the user wrote but Xvfb's display number, and runs nothing of the user's.
# No process is signalled by its PID. A tree of the user's goes only by its
# top name in a root folder, with rm -rf, which never follows a link out.
#
# Requires: wine (64-bit), Xvfb (scripts/lib/deps.sh installs them).

wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
}

# Wine writes these folders only when it makes or updates a prefix, and
# then writes the same files into every prefix.
_wine_shared_folders=(system32 syswow64 winsxs)

_wine_tree=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The recipe of a base: everything that decides what it holds. No display
# and a fixed locale: a base is the same whoever asks for it (Wine brings a
# copy's locale settings in line with its programs' locale at run time).
_wine_prefix_boot() {
  local prefix="$1"
  wine_env "$prefix"
  env -u DISPLAY LANG=C.UTF-8 LC_ALL=C.UTF-8 wine wineboot --init >/dev/null 2>&1 || return 1
  # Whole once Wine's services have ended and saved the registry.
  wineserver -w
  [ -f "$prefix/system.reg" ] && [ -f "$prefix/user.reg" ] &&
    [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ] || return 1
  # With 32-bit Wine installed, 32-bit programs need its system files.
  [ ! -x /usr/lib/wine/wine ] || [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]
}

_wine_prefix_key() {
  local - loader
  set -o pipefail
  {
    wine --version 2>&1
    # 32-bit Wine installed later changes what a new prefix holds.
    for loader in /usr/lib/wine/wine /usr/lib/wine/wine64; do
      if [ -e "$loader" ]; then stat -c '%n %s %Y' "$loader"; else echo "$loader absent"; fi
    done
    declare -f wine_env _wine_prefix_boot
  } | sha256sum | cut -c1-16
}

wine_prefix_base() {
  local dir="$_wine_tree/build/wine" key base
  mkdir -p "$dir" || return 1
  key=$(_wine_prefix_key) || return 1
  base="$dir/base-$key"
  [ -f "$base/.complete" ] && { echo "$base"; return 0; }
  # Root's alone: a lock that another user may open, that user may hold.
  (umask 077 && : >>"$dir/.lock" && chmod 0600 "$dir/.lock") || return 1
  (
    # fd 9 holds the lock; Wine's processes must not inherit it. A maker
    # left by a run killed outright ends within a minute or two.
    flock -w 300 9 || { echo "wine: another run has been making $base for five minutes" \
      "and still holds $dir/.lock; end that run, then start again" >&2; exit 1; }
    [ -f "$base/.complete" ] && exit 0
    local part="$dir/.base-$key.part" other
    rm -rf "$part" "$base"
    mkdir -p "$part" || exit 1
    echo "wine: making the Wine prefix that the others are copied from ($base)" >&2
    _wine_prefix_boot "$part" 9>&- || { echo "wine: wineboot failed in $part" >&2; exit 1; }
    echo "$key" >"$part/.complete"
    mv -T "$part" "$base" || exit 1
    # Bases of another Wine or recipe: copies of them hold their own links.
    for other in "$dir"/base-* "$dir"/.base-*.part; do
      [ -d "$other" ] && [ "$other" != "$base" ] && rm -rf "$other"
    done
    exit 0
  ) 9>"$dir/.lock" || return 1
  echo "$base"
}

wine_prefix_copy() {
  local - base="$1" prefix="$2" part folder excludes=()
  set -o pipefail  # a copy that tar could not read whole is no copy
  [ -f "$base/.complete" ] || { echo "wine: $base is not a whole base prefix" >&2; return 1; }
  mkdir -p "$(dirname "$prefix")" || return 1
  part="$prefix.part"
  rm -rf "$part" "$prefix" && mkdir "$part" || return 1
  for folder in "${_wine_shared_folders[@]}"; do
    excludes+=("--exclude=./drive_c/windows/$folder")
  done
  # Not the base's own files: the marker, and the name of the socket
  # folder of the wineserver that made it, which a copy makes anew.
  tar -C "$base" -c "${excludes[@]}" --exclude=./.complete --exclude=./wineserver . |
    tar -C "$part" -x || return 1
  for folder in "${_wine_shared_folders[@]}"; do
    [ ! -d "$base/drive_c/windows/$folder" ] ||
      cp -al "$base/drive_c/windows/$folder" "$part/drive_c/windows/$folder" 2>/dev/null ||
      { rm -rf "$part/drive_c/windows/$folder" &&
        cp -a "$base/drive_c/windows/$folder" "$part/drive_c/windows/$folder"; } || return 1
  done
  cat "$base/.complete" >"$part/.base" || return 1
  mv -T "$part" "$prefix"
}

wine_prefix_create() {
  local prefix="$1" base
  wine_env "$prefix"
  base=$(wine_prefix_base) || return 1
  wine_prefix_copy "$base" "$prefix"
}

wine_prefix_is_current() {
  local prefix="$1"
  [ -f "$prefix/system.reg" ] && [ "$(cat "$prefix/.base" 2>/dev/null)" = "$(_wine_prefix_key)" ]
}

# The registry settings of a session (see wine_session_start) as a file for
# regedit. Colours that a theme kept for a running session would hide the
# scheme (Wine keeps them apart from it): they go.
_wine_settings() {
  local dpi="$1" pair pairs=()
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n\n'
  [ -z "$dpi" ] || printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n\n' "$dpi"
  printf '[-HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters\\Control Panel\\Colors]\n\n'
  printf '[HKEY_CURRENT_USER\\Control Panel\\Colors]\n'
  IFS=, read -ra pairs <<<"$2"
  for pair in "${pairs[@]}"; do printf '"%s"="%s"\n' "${pair%%:*}" "${pair#*:}"; done
}

wine_set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# Sets _wine_user to what runs a command as the session's user, interrupted
# when the shell that started it ends, however it ends: a wineserver then
# ends its programs too, where a killed one would leave them running
# without it. Another user gets only the variables named here and in
# STATE_DIR/env (PATH and LANG fixed unless the session sets LANG), a
# session of its own (no terminal to push keys into) and no new privileges.
# STATE_DIR/user holds "UID GID NAME HOME".
_wine_user_command() {
  local state="$1" uid gid name home variable kept=()
  _wine_user=(setpriv --pdeathsig INT)
  [ -f "$state/user" ] || return 0
  read -r uid gid name home <"$state/user" || return 1
  for variable in DISPLAY WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH TESSORN_UI_CASES TESSORN_UI_OBSTACLES \
    TESSORN_UI_OBSTACLES_MISSING $(sed -n 's/^export \([A-Za-z_]*\)=.*/\1/p' "$state/env" 2>/dev/null); do
    [ -z "${!variable+set}" ] || kept+=("$variable=${!variable}")
  done
  _wine_user=(env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "${kept[@]}" HOME="$home" USER="$name"
    LOGNAME="$name" setsid -w setpriv --reuid="$uid" --regid="$gid" --clear-groups --no-new-privs --pdeathsig INT)
}

# The start time of process PID, which tells it from a later one that was
# given the same PID.
_wine_started() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) && read -ra stat <<<"${stat##*) }" && echo "${stat[19]}"
}

# The keeper of a session, with its lock open (fd LOCK): starts Xvfb and the
# wineserver as its children, prints the display once both serve, and ends
# when OWNER or either of them has ended or the stop has taken
# STATE_DIR/keeper. Its end ends the prefix's programs, then by their
# parent-death signal Xvfb and the server.
_wine_keep() {
  local state="$1" owner="$2" lock="$3" started server display="" tries=100
  started=$(_wine_started "$owner") || exit 1
  trap exit TERM INT HUP
  trap 'timeout -k 1 10 "${_wine_user[@]}" wineserver -k 2>/dev/null {lock}>&-' EXIT
  echo "$owner $started" >"$state/keeper"
  _wine_user_command "$state" || exit 1
  # Xvfb picks a free display and reports it once it takes connections.
  "${_wine_user[@]}" Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp \
    3>"$state/displayfd" >"$state/xvfb.log" 2>&1 {lock}>&- &
  # -f keeps the server in the foreground, so that it is our child (setpriv
  # and env replace themselves with it); -p keeps it alive between programs.
  "${_wine_user[@]}" wineserver -f -p >"$state/wineserver.log" 2>&1 {lock}>&- &
  server=$!
  # The server serves once it holds its socket. Jobs are counted as bash
  # knows them, never by a PID that it may have reaped.
  until [ -n "$display" ] && [ -n "$(find "/proc/$server/fd" -lname 'socket:*' -print -quit 2>/dev/null)" ]; do
    [ "$(jobs -pr | wc -l)" -eq 2 ] && [ $((tries -= 1)) -gt 0 ] || exit 1
    sleep 0.1
    display=$(tr -dc '0-9' <"$state/displayfd")
  done
  echo ":$display"
  exec >/dev/null
  while [ -f "$state/keeper" ] && [ "$(_wine_started "$owner")" = "$started" ] && [ "$(jobs -pr | wc -l)" -eq 2 ]; do
    sleep 0.2
  done
}

wine_account_refusal() {
  local name="$1" entry uid gid home shell
  entry=$(getent passwd "$name") || { echo "there is no account $name"; return; }
  IFS=: read -r _ _ uid gid _ home shell <<<"$entry"
  # Its own: no other account or group shares its number or its group's,
  # and no password opens it.
  [ "$uid" -gt 0 ] && [ "$uid" -lt 1000 ] && [ "$home" = /nonexistent ] && [ "$shell" = /usr/sbin/nologin ] &&
    [ "$(getent group | awk -F: -v gid="$gid" '$3 == gid { print $1 ":" $4 }')" = "$name:" ] &&
    [ "$(getent passwd | awk -F: -v uid="$uid" -v gid="$gid" '$3 == uid || $4 == gid' | wc -l)" -eq 1 ] &&
    [ "$(passwd -S "$name" 2>/dev/null | cut -d' ' -f2)" = L ] ||
    echo "the account $name is not the tests' own (a system account with a group of its own," \
      "no other member, no other group of its number, a locked password, home /nonexistent," \
      "shell /usr/sbin/nologin): remove or rename it"
}

# Prints why NAME cannot run the session's programs, or nothing when it can.
_wine_user_missing() {
  local name="$1" refusal file
  shift
  _wine_sandboxed || { echo "not inside scripts/sandbox (${TESSORN_SANDBOX:-not started through it})"; return; }
  refusal=$(wine_account_refusal "$name")
  [ -z "$refusal" ] || { echo "$refusal"; return; }
  for file in "$@"; do
    # Also fails where a folder on the way cannot be passed.
    env -i setsid -w setpriv --reuid="$name" --regid="$name" --clear-groups --no-new-privs /usr/bin/test -r "$file" ||
      { echo "user $name cannot read $file"; return; }
  done
}

# Gives the user the prefix: its files while every folder is still root's,
# then the folders deepest first, so that no name that root hands to chown
# lies below a folder of the user's. The hard links to the base stay root's
# and read-only to the user.
_wine_prefix_give() {
  local prefix="$1" owner="$2" folder prune=()
  for folder in "${_wine_shared_folders[@]}"; do
    prune+=(-path "$prefix/drive_c/windows/$folder" -prune -o)
  done
  find "$prefix" "${prune[@]}" ! -type d -exec chown -h "$owner" {} + &&
    find "$prefix" -depth -type d -exec chown -h "$owner" {} +
}

# Inside scripts/sandbox's namespaces, where the run's end ends all it starts.
_wine_sandboxed() {
  [ "${TESSORN_SANDBOX:-}" = "$(readlink /proc/self/ns/pid)" ]
}

wine_session_start() {
  local state="$1" prefix="$2" owner=$$ dpi="" colours="" user="" reads=() missing="" base lock variable
  [ -n "$state" ] && [ -n "$prefix" ] && shift 2 || { echo "usage: wine_session_start STATE_DIR PREFIX" >&2; return 1; }
  while [ $# -gt 0 ]; do
    case "$1" in
      --owner) owner="$2"; shift 2 ;;
      --dpi) dpi="$2"; shift 2 ;;
      --colours) colours="$2"; shift 2 ;;
      --user) user="$2"; shift 2 ;;
      --user-reads) reads+=("$2"); shift 2 ;;
      *) echo "wine_session_start: unknown option $1" >&2; return 2 ;;
    esac
  done
  if [ "$(id -u)" -eq 0 ] && [ -z "${TESSORN_SANDBOX:-}" ]; then
    echo "wine: as root, Wine sessions start only inside scripts/sandbox, whose end ends them:" \
      "scripts/sandbox ctest --test-dir build/win64 -R ui.window" >&2
    return 1
  fi
  mkdir -p "$state" && chmod 0700 "$state" || return 1
  state=$(cd "$state" && pwd)
  mkdir -p "$(dirname "$prefix")" && prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")" ||
    return 1
  wine_session_stop "$state" "$owner" || return 1
  exec {lock}>"$state/lock"
  chmod 0600 "$state/lock"
  # A keeper whose owner has ended needs a second to notice.
  flock -w 5 "$lock" || { echo "wine: another run's session uses $state" >&2; exec {lock}>&-; return 1; }
  # Made anew, never rewritten: a handle kept from a session before reads nothing of this one.
  rm -f "$state"/{user,user-missing,env,base,prefix,settings.reg,displayfd,keeper,*.log}
  base=$(wine_prefix_base) && wine_prefix_copy "$base" "$prefix" &&
    _wine_settings "$dpi" "$colours" >"$state/settings.reg" || { exec {lock}>&-; return 1; }
  echo "$base" >"$state/base"
  echo "$prefix" >"$state/prefix"
  wine_env "$prefix"
  if [ -n "$user" ]; then
    missing=$(_wine_user_missing "$user" "${reads[@]}" {lock}>&-)
    if [ -z "$missing" ]; then
      # The home made anew: root hands over nothing the user wrote before.
      chgrp "$user" "$state" && chmod 0750 "$state" &&
        rm -rf "${state:?}/home" && mkdir -m 0700 "$state/home" && chown "$user:" "$state/home" &&
        chmod 0700 "$prefix" && _wine_prefix_give "$prefix" "$user:" || { exec {lock}>&-; return 1; }
      echo "$(id -u "$user") $(id -g "$user") $user $state/home" >"$state/user"
    else
      echo "$missing" >"$state/user-missing"
    fi
  fi
  DISPLAY=$(_wine_keep "$state" "$owner" "$lock" 2>"$state/keeper.log" </dev/null &)
  # Only the keeper holds the lock from here on.
  exec {lock}>&-
  [ -n "$DISPLAY" ] || { echo "wine: Xvfb or the wineserver did not come up (see $state/*.log)" >&2; return 1; }
  export DISPLAY
  # The first programs: a program reads the settings when it starts.
  _wine_user_command "$state"
  "${_wine_user[@]}" wine regedit /S "Z:$state/settings.reg" 2>/dev/null
  "${_wine_user[@]}" wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed >/dev/null 2>&1 ||
    { echo "wine: Wine did not take $state/settings.reg" >&2; wine_session_stop "$state" "$owner"; return 1; }
  for variable in DISPLAY WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH; do
    printf 'export %s=%q\n' "$variable" "${!variable}"
  done >"$state/env"
}

wine_session_env() {
  local state="$1"
  [ -f "$state/env" ] || { echo "wine: no session in $state (run wine_session_start)" >&2; return 1; }
  # shellcheck disable=SC1090,SC1091
  . "$state/env"
}

wine_session_run() {
  local state="$1"
  shift
  (wine_session_env "$state" && _wine_user_command "$state" && "${_wine_user[@]}" "$@")
}

wine_session_stop() {
  local state="$1" owner="${2:-$$}"
  # A free lock: no keeper lives.
  if [ -e "$state/lock" ] && ! flock -n "$state/lock" true; then
    [ ! -f "$state/keeper" ] || [ "$(cat "$state/keeper")" = "$owner $(_wine_started "$owner")" ] ||
      { echo "wine: the session in $state is another run's; left alone" >&2; return 1; }
    # The keeper's cue to end.
    rm -f "$state/keeper"
    flock -w 30 "$state/lock" true || { echo "wine: the session in $state did not end" >&2; return 1; }
  fi
  rm -f "$state/env"
  [ -f "$state/user" ] || return 0
  # Every process of the user's in the sandbox, then the user's trees.
  ! _wine_sandboxed || { _wine_user_command "$state" && "${_wine_user[@]}" kill -KILL -1 2>/dev/null; }
  rm -rf "$(cat "$state/prefix")" "${state:?}/home" "$state/user"
}
