# shellcheck shell=bash disable=SC2034  # the arrays are for the scripts that source this
# Sourced by the scripts: installs Debian packages that are missing, once.
# Usage: ensure_packages NAME...   (idempotent; runs apt-get update at most once)
# Says in one line what it installs and how much that downloads; apt's own
# words go to build/apt.log, whose end is shown where an install fails.

_deps_log=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/apt.log

# Runs COMMAND as root (through sudo where we are not), its output into the log.
_deps_quietly() {
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  mkdir -p "$(dirname "$_deps_log")" &&
    $sudo env DEBIAN_FRONTEND=noninteractive "$@" >>"$_deps_log" 2>&1 ||
    { tail -n 40 "$_deps_log" >&2; echo "failed: $* (the whole log: $_deps_log)" >&2; return 1; }
}

ensure_packages() {
  local missing=() pkg size
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ -z "${TESSORN_APT_UPDATED:-}" ]; then
    echo "reading Debian's package lists" >&2
    _deps_quietly apt-get update || return 1
    export TESSORN_APT_UPDATED=1
  fi
  size=$(apt-get install --print-uris -qq -y "${missing[@]}" 2>/dev/null |
    awk '{ bytes += $3 } END { printf "%.1f MB", bytes / 1e6 }')
  echo "installing ${missing[*]} ($size to download)" >&2
  _deps_quietly apt-get install -y "${missing[@]}"
}

# What every build needs: native toolchain with its test libraries, the
# Windows cross compiler, GoogleTest's sources (built for Windows too), Wine
# with a virtual display to run the result, clang-format and shellcheck for
# the style.
BUILD_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
  libbenchmark-dev g++-mingw-w64-x86-64-posix wine wine64 xvfb clang-format shellcheck)

# What scripts/run needs beyond the build: the screenshots and the desktop's
# scale.
RUN_PACKAGES=(imagemagick x11-utils x11-xserver-utils)

# The 32-bit build and 32-bit Wine: needs the i386 architecture in dpkg.
# Fails (without stopping the caller) where that cannot be had.
ensure_32bit_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    _deps_quietly dpkg --add-architecture i386 || return 1
    unset TESSORN_APT_UPDATED  # the new architecture needs a fresh package list
  fi
  ensure_packages g++-mingw-w64-i686-posix wine32:i386
}

# The locales the tests run Wine in (Wine takes its code page from them),
# and a Japanese font, without which every Japanese glyph is a box.
# Usage: ensure_locales NAME...   e.g. ru_RU.UTF-8 ja_JP.UTF-8
ensure_locales() {
  ensure_packages locales fonts-ipafont-gothic || return 1
  local missing=() name sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  for name in "$@"; do
    # locale -a writes utf8 where locale.gen writes UTF-8.
    locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" || missing+=("$name")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  for name in "${missing[@]}"; do
    grep -q "^$name UTF-8" /etc/locale.gen 2>/dev/null ||
      echo "$name UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
  done
  echo "making the locales ${missing[*]}" >&2
  _deps_quietly locale-gen
}
