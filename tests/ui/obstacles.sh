#!/usr/bin/env bash
# Runs COMMAND with the save obstacles that only the Linux side can make,
# since Wine running as root ignores permissions:
#   obstacles.sh [--session STATE_DIR] DIR COMMAND...
# DIR/unwritable  a small tmpfs that the driver asks to make read-only and
#                 writable again, by creating DIR/requests/unwritable.lock or
#                 .unlock; each request is answered in REQUEST.done with "ok"
#                 or "refused: " and why, or the reason it failed
# DIR/full        a 64 KiB tmpfs that the driver fills and frees itself
# DIR/requests/folder.ACTION, holding a driver's folder as a Unix path: seal
#                 (no new file in it); share-writable, share-readonly (sticky
#                 and root's, the file writable or not); restore. Only a
#                 folder tessorn-driver-* right in the Windows temporary
#                 folder of the Wine session in STATE_DIR, by its real name.
# COMMAND finds DIR in TESSORN_UI_OBSTACLES. When the mounts cannot be made,
# it runs without them and TESSORN_UI_OBSTACLES_MISSING says why. Everything
# mounted here is unmounted when the script ends, however it ends. COMMAND
# may run as another user: the requests folder and the mounts are open to
# every user, and each answer belongs to whoever asked.
set -uo pipefail
session=""
[ "${1:-}" != --session ] || { session=${2:-}; shift 2; }
dir=${1:-}
if [ -z "$dir" ] || [ $# -lt 2 ]; then
  sed -n '2,20p' "$0" >&2
  exit 2
fi
shift
mounts=(unwritable full)

unmount_all() {
  local name
  for name in "${mounts[@]}"; do
    # Only this script mounts in its own directory.
    if mountpoint -q "$dir/$name" 2>/dev/null; then
      umount "$dir/$name" 2>/dev/null || umount -l "$dir/$name" 2>/dev/null
    fi
  done
}

server=""
command_pid=""
# shellcheck disable=SC2317  # run by the trap
cleanup() {
  # A command still running holds the mounts; it is ours to end.
  [ -n "$command_pid" ] && kill "$command_pid" 2>/dev/null && wait "$command_pid" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  unmount_all
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A run that was killed outright (SIGKILL at a timeout) could not unmount.
unmount_all
mkdir -p "$dir/requests" && chmod 1777 "$dir/requests" || exit 1
rm -f "$dir/requests/"*

missing=""
for name in "${mounts[@]}"; do
  mkdir -p "$dir/$name" || { missing="cannot create $dir/$name"; break; }
  size=1m
  [ "$name" = full ] && size=64k
  if ! error=$(mount -t tmpfs -o "size=$size,mode=0777" tmpfs "$dir/$name" 2>&1); then
    missing="mounting a tmpfs is not permitted here (${error:-mount failed})"
    break
  fi
done

# The session's prefix as Wine names it, its real name, the temporary folder
# its programs get (HKCU\Environment of the base prefix, root's: that of
# whoever made it) and the owner of the driver's folders.
prefix="" real="" temp="" owner=""
if [ -n "$session" ] && read -r uid gid _ <"$session/user" 2>/dev/null; then
  prefix=$(cat "$session/prefix") && real=$(realpath -e "$prefix") || exit 1
  temp=$(sed -n 's/^"TEMP"="C:\(.*\)"$/\1/p' "$(cat "$session/base")/user.reg" | sed 's|\\\\|/|g') &&
    [ -n "$temp" ] || exit 1
  temp=$real/drive_c$temp owner=$uid:$gid
fi

# ACTION on the driver's folder named in REQUEST; prints "ok", "refused: "
# and why, or what failed. The user owns everything up to that folder, so it
# is reached once (cd) and acted on as ".", which no rename can redirect.
folder_action() {
  local action=$1 request=$2 folder=""
  case "$action" in seal | share-writable | share-readonly | restore) ;;
    *) echo "refused: no such action: $action"; return ;; esac
  [ -n "$owner" ] || { echo "refused: no unprivileged session named (--session)"; return; }
  IFS= read -r folder <"$request"
  # Wine's own name of drive C: goes through the prefix's dosdevices/c: link.
  folder=${folder/#"$prefix/dosdevices/c:/"/"$real/drive_c/"}
  [ "${folder%/*}" = "$temp" ] && [[ ${folder##*/} == tessorn-driver-* ]] ||
    { echo "refused: not a folder tessorn-driver-* in $temp: $folder"; return; }
  cd "$folder" 2>/dev/null && [ "$(pwd -P)" = "$folder" ] ||
    { echo "refused: not a folder by its real name (a link or .. on the way): $folder"; return; }
  # Taken from the user before tessorn.ini is looked at, so that it cannot
  # become a link in between; given back (or opened to all) last.
  chown 0:0 . && chmod 0755 . || { echo "could not take $folder from its owner"; return; }
  if [ -L tessorn.ini ] || [ ! -f tessorn.ini ] || [ "$(stat -c %h tessorn.ini)" != 1 ]; then
    chown "$owner" .
    echo "refused: tessorn.ini in $folder is not a plain file of one name"
    return
  fi
  case "$action" in
    seal) chown "$owner" . && chmod 0555 . ;;
    share-writable) chown -h 0:0 tessorn.ini && chmod 0666 tessorn.ini && chmod 1777 . ;;
    share-readonly) chown -h 0:0 tessorn.ini && chmod 0644 tessorn.ini && chmod 1777 . ;;
    restore) chown -h "$owner" tessorn.ini && chmod 0644 tessorn.ini && chown "$owner" . ;;
  esac 2>&1 && echo ok
}

serve_requests() {
  local parent=$1 request name action answer
  # Ends with the script, also when the script is killed outright.
  while kill -0 "$parent" 2>/dev/null; do
    for request in "$dir/requests/"*; do
      # Answers, and answers being written, are the driver's to read.
      case "$request" in *.done | *.part) continue ;; esac
      # Out of the user's reach before it is looked at.
      mv -T "$request" "$dir/request" 2>/dev/null || continue
      name=$(basename "$request")
      action=${name##*.}
      name=${name%.*}
      if [ -L "$dir/request" ] || [ ! -f "$dir/request" ]; then
        answer="refused: the request is not a plain file"
      else
        case "$name" in
          folder) answer=$(folder_action "$action" "$dir/request") ;;
          unwritable)
            if [ "$action" = lock ]; then
              answer=$(mount -o remount,ro "$dir/$name" 2>&1 && echo ok)
            else
              answer=$(mount -o remount,rw "$dir/$name" 2>&1 && echo ok)
            fi
            ;;
          *) answer="refused: no such mount: $name" ;;
        esac
      fi
      # Whole or not at all (the driver polls for it, and removes it), made
      # where the user cannot lay a link for it.
      printf '%s\n' "$answer" >"$dir/answer" && chown "$(stat -c %u:%g "$dir/request")" "$dir/answer" &&
        mv -T "$dir/answer" "$request.done"
      rm -rf "$dir/request"
    done
    sleep 0.05
  done
}

if [ -z "$missing" ]; then
  export TESSORN_UI_OBSTACLES=$dir
  serve_requests $$ &
  server=$!
else
  unmount_all
  export TESSORN_UI_OBSTACLES_MISSING=$missing
fi
# In the background, so that a signal reaches the traps at once.
"$@" &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=""
exit "$status"
