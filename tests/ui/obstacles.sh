#!/usr/bin/env bash
# Runs COMMAND with the save obstacles that only the Linux side can make,
# since Wine running as root ignores permissions:
#   obstacles.sh [--session STATE_DIR] DIR COMMAND...
# DIR/unwritable  a small tmpfs that the driver asks to make read-only (lock)
#                 and writable again (unlock)
# DIR/full        a 64 KiB tmpfs that the driver fills and frees itself
# DIR/sealed, DIR/shared-writable, DIR/shared-readonly, DIR/linked
#                 empty folders, made anew, of the user of the Wine session
#                 in STATE_DIR, that the driver asks to seal (no new file in
#                 it), share-writable or share-readonly (sticky and root's,
#                 tessorn.ini writable or not) and restore
# A request is an empty file DIR/requests/FOLDER.ACTION; it is answered in
# DIR/answers/FOLDER.ACTION, where only root writes, with "ok", "refused: "
# and why, or what failed. COMMAND finds DIR in TESSORN_UI_OBSTACLES; DIR,
# the requests folder (sticky) and the mounts are open to the session's
# user's group alone. All goes when the script ends. Outside scripts/sandbox
# COMMAND runs without them and TESSORN_UI_OBSTACLES_MISSING says why.
set -uo pipefail
umask 022
session=""
[ "${1:-}" != --session ] || { session=${2:-}; shift 2; }
dir=${1:-}
if [ -z "$dir" ] || [ $# -lt 2 ]; then
  sed -n '2,18p' "$0" >&2
  exit 2
fi
shift
if [ "${TESSORN_SANDBOX:-}" != "$(readlink /proc/self/ns/pid)" ]; then
  export TESSORN_UI_OBSTACLES_MISSING="the mounts are made only as root inside scripts/sandbox (${TESSORN_SANDBOX:-not started through it})"
  exec "$@"
fi
mounts=(unwritable full)
folders=(sealed shared-writable shared-readonly linked)

# Nothing of the run stays: the mounts (at once, though a program may still
# hold a file there), and the trees of the session's user.
take_down() {
  for name in "${mounts[@]}"; do ! mountpoint -q "$dir/$name" || umount -l "$dir/$name"; done
  for name in "${folders[@]}" requests answers; do rm -rf "${dir:?}/$name"; done
}

# shellcheck disable=SC2317  # run by the trap
cleanup() {
  # The server's cue to end; it holds the file's lock until it has.
  { rm -f "$dir/serving" && flock -w 10 "$serving"; } {serving}<"$dir/serving" 2>/dev/null
  take_down
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# The folders are the session's user's, and their names root's: DIR is
# root's alone, and a request names a folder of these, never a path.
owner=0:0
if [ -n "$session" ] && read -r uid gid _ <"$session/user" 2>/dev/null; then owner=$uid:$gid; fi
mkdir -p "$dir" && chown "0:${owner#*:}" "$dir" && chmod 00750 "$dir" || exit 1
for name in "${mounts[@]}"; do
  size=1m
  [ "$name" = full ] && size=64k
  mkdir -p "$dir/$name" &&
    mount -t tmpfs -o "size=$size,mode=0700,uid=${owner%:*},gid=${owner#*:}" tmpfs "$dir/$name" || exit 1
done

requests=(unwritable.lock unwritable.unlock)
for name in "${folders[@]}"; do
  rm -rf "${dir:?}/$name" && mkdir "$dir/$name" && chown "$owner" "$dir/$name" || exit 1
  requests+=("$name".{seal,share-writable,share-readonly,restore})
done
rm -rf "$dir/requests" "$dir/answers" && mkdir -m 01770 "$dir/requests" &&
  mkdir -m 00750 "$dir/answers" && chgrp "${owner#*:}" "$dir/requests" "$dir/answers" || exit 1

# ACTION on tessorn.ini in the folder; prints "ok", "refused: " and why, or
# what failed. The folder is taken from its user first: from then on no
# name in it changes, so tessorn.ini is looked at and acted on as it is.
folder_action() {
  local folder=$dir/$1 action=$2 ini=$dir/$1/tessorn.ini
  chown 0:0 "$folder" && chmod 00755 "$folder" || { echo "could not take $folder"; return; }
  # chmod follows a link, and a second name would hand over a file elsewhere.
  if [[ $(stat -c '%h %F' "$ini" 2>&1) != "1 regular"* ]]; then
    chown "$owner" "$folder"
    echo "refused: tessorn.ini in $folder is not a plain file of one name"
    return
  fi
  case "$action" in
    seal) chown "$owner" "$folder" && chmod 00555 "$folder" ;;
    share-writable) chown -h 0:0 "$ini" && chmod 00666 "$ini" && chmod 01777 "$folder" ;;
    share-readonly) chown -h 0:0 "$ini" && chmod 00644 "$ini" && chmod 01777 "$folder" ;;
    restore) chmod 00644 "$ini" && chown -h "$owner" "$ini" && chown "$owner" "$folder" ;;
  esac 2>&1 && echo ok
}

# Only the names of the requests count, as the folder lists them: none is
# opened, looked at or followed, and none but these is touched. An old
# answer goes before its request, so that once the request is gone any
# answer is the new one.
serve_requests() {
  local parent=$1 request answer
  trap 'exit' TERM INT HUP
  trap take_down EXIT
  # Ends when told, or with the script, also when that is killed outright.
  while [ -f "$dir/serving" ] && kill -0 "$parent" 2>/dev/null; do
    for request in "$dir"/requests/*; do
      request=${request##*/}
      [[ " ${requests[*]} " == *" $request "* ]] || continue
      rm -f "$dir/answers/$request"
      unlink "$dir/requests/$request" 2>/dev/null || continue
      case "$request" in
        unwritable.lock) answer=$(mount -o remount,ro "$dir/unwritable" 2>&1 && echo ok) ;;
        unwritable.unlock) answer=$(mount -o remount,rw "$dir/unwritable" 2>&1 && echo ok) ;;
        *) answer=$(folder_action "${request%.*}" "${request##*.}") ;;
      esac
      # Whole or not at all: the driver polls for it.
      printf '%s\n' "$answer" >"$dir/answers/.new" && mv -T "$dir/answers/.new" "$dir/answers/$request"
    done
    sleep 0.05
  done
}

export TESSORN_UI_OBSTACLES=$dir
# Not a child of ours: a kill of the whole tree at its time-out misses it,
# and it then takes the mounts and folders down.
(umask 077 && : >"$dir/serving") && exec {held}<"$dir/serving" && flock "$held" || exit 1
(serve_requests $$ </dev/null >/dev/null 2>&1 &)
exec {held}<&-
# In the background, so that a signal reaches the traps at once.
"$@" &
wait $!
