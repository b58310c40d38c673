#!/usr/bin/env bash
# Fails unless every DLL the Windows executable imports is one that ships
# with Windows itself: the program is copied alone onto a machine and must
# start there without any runtime DLL beside it. With an allow-list, every
# imported function must also be on it (allowed_imports.txt: what Windows
# XP already has).
#   check_imports.sh EXE [ALLOWED_IMPORTS]
set -uo pipefail

exe=${1:-}
allowed=${2:-}
[ -n "$exe" ] && [ -f "$exe" ] || { echo "usage: check_imports.sh EXE [ALLOWED_IMPORTS]" >&2; exit 2; }

# Windows' own DLLs (lower case, without .dll); api-ms-win-* are taken below.
system_dlls=(
  kernel32 kernelbase ntdll user32 gdi32 advapi32 msvcrt ucrtbase
  shell32 comctl32 comdlg32 ole32 oleaut32 shlwapi version winmm ws2_32 psapi imm32 uxtheme
)

# The PE header's machine field says which objdump reads the file.
[ "$(head -c2 "$exe")" = MZ ] || { echo "$exe: not a Windows executable" >&2; exit 1; }
pe_offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe" 2>/dev/null | tr -d ' ')
case "$machine" in
  8664) objdump=x86_64-w64-mingw32-objdump ;;
  014c) objdump=i686-w64-mingw32-objdump ;;
  *) echo "$exe: not a 32- or 64-bit x86 PE file (machine '$machine')" >&2; exit 1 ;;
esac
command -v "$objdump" >/dev/null || { echo "$objdump is not installed" >&2; exit 1; }

headers=$("$objdump" -p "$exe") || { echo "$objdump cannot read $exe" >&2; exit 1; }
mapfile -t imports < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers" | tr -d '\r')
if [ "${#imports[@]}" -eq 0 ]; then
  # Every Windows program imports at least KERNEL32; none found means the
  # table was not read.
  echo "$exe: no imported DLLs found" >&2
  exit 1
fi

is_system_dll() {
  local name
  name=$(tr '[:upper:]' '[:lower:]' <<<"$1")
  name=${name%.dll}
  case "$name" in api-ms-win-*) return 0 ;; esac
  local known
  for known in "${system_dlls[@]}"; do
    [ "$name" = "$known" ] && return 0
  done
  return 1
}

foreign=0
for dll in "${imports[@]}"; do
  if is_system_dll "$dll"; then
    echo "ok      $dll"
  else
    echo "FOREIGN $dll"
    foreign=$((foreign + 1))
  fi
done

# "dll function" per import, the DLL in lower case.
functions=$(awk '/DLL Name:/ { dll = tolower($3) } /^\t[0-9a-f]+\t +[0-9]+  / { print dll, $3 }' <<<"$headers")
# An import table read is never empty: none means the pattern missed it.
[ -z "$allowed" ] || [ -n "$functions" ] || { echo "$exe: no imported functions read" >&2; exit 1; }
unlisted=0
if [ -n "$allowed" ]; then
  while read -r dll function; do
    if ! grep -qxF "$dll $function" "$allowed"; then
      echo "UNLISTED $dll $function"
      unlisted=$((unlisted + 1))
    fi
  done <<<"$functions"
  [ "$unlisted" -eq 0 ] || echo "$exe imports $unlisted function(s) not in $allowed:" \
    "look newer calls up at run time, or list them once they are known to be in Windows XP" >&2
fi

if [ "$foreign" -gt 0 ] || [ "$unlisted" -gt 0 ]; then
  [ "$foreign" -eq 0 ] || echo "$exe imports $foreign DLL(s) that Windows does not ship" >&2
  exit 1
fi
echo "$exe imports only Windows' own DLLs${allowed:+, and only functions on the list}"
