#!/usr/bin/env bash
# Runs COMMAND with the save obstacles that only the Linux side can make,
# since Wine running as root ignores permissions:
#   obstacles.sh DIR COMMAND...
# DIR/unwritable  a small tmpfs that the driver asks to make read-only and
#                 writable again, by creating DIR/requests/unwritable.lock or
#                 .unlock; each request is answered in REQUEST.done with "ok"
#                 or the reason it failed
# DIR/full        a 64 KiB tmpfs that the driver fills and frees itself
# DIR/requests/folder.ACTION, holding a driver's directory as a Unix path:
#                 seal (no new file in it); share-writable, share-readonly
#                 (sticky and root's, the file writable or not); restore
# COMMAND finds DIR in TESSORN_UI_OBSTACLES. When the mounts cannot be made,
# it runs without them and TESSORN_UI_OBSTACLES_MISSING says why. Everything
# mounted here is unmounted when the script ends, however it ends. COMMAND
# may run as another user: the requests folder and the mounts are open to
# every user, and each answer belongs to whoever asked.
set -uo pipefail
dir=${1:-}
if [ -z "$dir" ] || [ $# -lt 2 ]; then
  sed -n '2,17p' "$0" >&2
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

# ACTION on the working directory named in REQUEST; prints "ok" or why not.
folder_action() {
  local action=$1 request=$2 folder owner
  folder=$(cat "$request")
  owner=$(stat -c %u:%g "$request")
  # Only a driver's own scratch directory, never anything else.
  case "$folder" in */tessorn-driver-*) ;; *) echo "not a driver's directory: $folder"; return ;; esac
  [ -d "$folder" ] && [ -f "$folder/tessorn.ini" ] || { echo "no tessorn.ini in $folder"; return; }
  case "$action" in
    seal) chmod 0555 "$folder" ;;
    share-writable) chown 0:0 "$folder" "$folder/tessorn.ini" && chmod 1777 "$folder" &&
      chmod 0666 "$folder/tessorn.ini" ;;
    share-readonly) chown 0:0 "$folder" "$folder/tessorn.ini" && chmod 1777 "$folder" &&
      chmod 0644 "$folder/tessorn.ini" ;;
    restore) chown "$owner" "$folder" "$folder/tessorn.ini" && chmod 0755 "$folder" &&
      chmod 0644 "$folder/tessorn.ini" ;;
    *) echo "no such action: $action"; return ;;
  esac 2>&1 && echo ok
}

serve_requests() {
  local parent=$1 request name action answer
  # Ends with the script, also when the script is killed outright.
  while kill -0 "$parent" 2>/dev/null; do
    for request in "$dir/requests/"*; do
      # Answers, and answers being written, are the driver's to read.
      case "$request" in *.done | *.part) continue ;; esac
      [ -e "$request" ] || continue
      name=$(basename "$request")
      action=${name##*.}
      name=${name%.*}
      case "$name" in
        folder) answer=$(folder_action "$action" "$request") ;;
        unwritable)
          if [ "$action" = lock ]; then
            answer=$(mount -o remount,ro "$dir/$name" 2>&1 && echo ok)
          else
            answer=$(mount -o remount,rw "$dir/$name" 2>&1 && echo ok)
          fi
          ;;
        *) answer="no such mount: $name" ;;
      esac
      # Whole or not at all: the driver polls for this file, and removes it.
      printf '%s\n' "$answer" >"$request.done.part" &&
        chown --reference="$request" "$request.done.part" &&
        mv "$request.done.part" "$request.done"
      rm -f "$request"
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
