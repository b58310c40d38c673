#!/usr/bin/env bash
# Prints the figures a user feels of the Windows program: start-up against
# two plain reference windows, save time and peak memory (measured under a
# private Wine session of our own), and the program's size and imports.
# Arguments go to the driver: [--rounds N] [--saves N] [--samples].
# Not set -e: scripts/lib/wine.sh's functions expect commands to fail now
# and then (reading a state file that is not there yet).
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
root=$(pwd)

build=build/win64
bench=$build/bench/window
state=$root/build/bench-wine/state
prefix=$root/build/bench-wine/prefix
targets=(tessorn-config reference_empty reference_controls window_bench)

if [ ! -f "$build/build.ninja" ]; then
  cmake --preset win64 >/dev/null || exit 1
fi
if ! cmake --build --preset win64 --target "${targets[@]}" >"$root/build/bench-window-build.log" 2>&1; then
  cat "$root/build/bench-window-build.log" >&2
  if grep -q 'unknown target' "$root/build/bench-window-build.log"; then
    echo "bench/window is not in the win64 build: the top-level CMakeLists.txt needs" \
         "add_subdirectory(bench/window) in its WIN32 branch" >&2
  fi
  exit 1
fi

[ -n "${TESSORN_SANDBOX:-}" ] || exec scripts/sandbox bench/window/run.sh "$@"
# shellcheck source=../../scripts/lib/wine.sh
. scripts/lib/wine.sh
# Nothing started here may hold our output pipe open after we exit; the
# session ends with this script.
wine_session_start "$state" "$prefix" </dev/null >/dev/null || exit 1

# Wine maps drive Z: to the Unix root.
windows_path() { echo "Z:$root/$1"; }
wine "$bench/window_bench.exe" "$@" \
  "$(windows_path "$build/tessorn-config.exe")" \
  "$(windows_path "$bench/reference_empty.exe")" \
  "$(windows_path "$bench/reference_controls.exe")" </dev/null
status=$?

exe=$build/tessorn-config.exe
bytes=$(stat -c %s "$exe")
awk -v b="$bytes" 'BEGIN { printf "size of tessorn-config.exe: %d bytes, %.1f KiB\n", b, b / 1024 }'
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr '\n' ' ')
echo "imported DLLs: $imports"
if [ "$bytes" -le 65536 ] && bash bench/window/check_imports.sh "$exe" >/dev/null 2>&1; then
  verdict=met
else
  verdict="NOT met"
fi
echo "goal size <= 64 KiB importing only Windows' own DLLs: $verdict"
exit "$status"
