#!/usr/bin/env bash
# Checks that every Wine session's prefix is a copy of the one base prefix:
# Wine's system files hard links to the base's, the registry files of its
# own (a setting written into one prefix must not reach the others).
#   prefixes-shared.sh STATE_DIR...   (the sessions' state folders)
set -u
[ $# -gt 0 ] || { sed -n '2,5p' "$0" >&2; exit 2; }
base=""
status=0
for state in "$@"; do
  prefix=$(cat "$state/prefix" 2>/dev/null) && this_base=$(cat "$state/base" 2>/dev/null) ||
    { echo "$state: no session was started there"; status=1; continue; }
  [ -n "$base" ] || base=$this_base
  [ "$this_base" = "$base" ] || { echo "$prefix: copied from $this_base, not $base"; status=1; }
  shared=0
  for file in system32/kernel32.dll syswow64/kernel32.dll winsxs/manifests; do
    [ -e "$base/drive_c/windows/$file" ] || continue
    # A folder's files: one of them stands for all.
    [ -d "$base/drive_c/windows/$file" ] &&
      file=$file/$(ls "$base/drive_c/windows/$file" | head -n 1)
    if [ "$prefix/drive_c/windows/$file" -ef "$base/drive_c/windows/$file" ]; then
      shared=$((shared + 1))
    else
      echo "$prefix does not share drive_c/windows/$file with $base"
      status=1
    fi
  done
  [ "$shared" -gt 0 ] || { echo "$prefix: no system file to compare with $base"; status=1; }
  for file in system.reg user.reg userdef.reg; do
    if [ ! -f "$prefix/$file" ] || [ "$prefix/$file" -ef "$base/$file" ]; then
      echo "$prefix has no $file of its own"
      status=1
    fi
  done
done
[ "$status" -ne 0 ] || echo "$# prefixes share the system files of $base, each with a registry of its own"
exit "$status"
