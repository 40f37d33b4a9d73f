# Sourced by run.sh and test.sh: the Wine environment, a display, and clean-up of what was
# started. The caller's WINEPREFIX and DISPLAY win when set.

KN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Both Windows architectures build from the same sources, each in a tree of its own: x64 in
# build/ (the default), x86 in build/x86.
kn_build_dir() {
  case "$1" in
    x64) echo "$KN_ROOT/build" ;;
    x86) echo "$KN_ROOT/build/x86" ;;
  esac
}

# Makes ARCH (x64 or x86) the one that kn_build builds and KN_BUILD names.
kn_set_arch() {
  case "$1" in
    x64) kn_toolchain=mingw-w64-x86_64.cmake; kn_other_arch=x86 ;;
    x86) kn_toolchain=mingw-w64-i686.cmake; kn_other_arch=x64 ;;
    *) echo "unknown architecture: $1 (x64 or x86)" >&2; return 2 ;;
  esac
  KN_ARCH=$1
  KN_BUILD=$(kn_build_dir "$1")
}

# KN_ARCH chooses the architecture (run.sh --arch sets it); a KN_BUILD of the caller's wins.
kn_caller_build=${KN_BUILD:-}
kn_set_arch "${KN_ARCH:-x64}" || return 2
KN_BUILD=${kn_caller_build:-$KN_BUILD}

# Wine's 32-bit half: the system's where it has one (wine32:i386 on a kernel that executes 32-bit
# programs), otherwise the one scripts/setup-wine32.sh unpacked, under qemu's i386 emulation.
# Its bin/wine serves both architectures and goes first in PATH.
kn_wine32_root="$KN_ROOT/.cache/wine32-root"

# Whether 32-bit programs run on the emulated half of scripts/setup-wine32.sh.
kn_wine32_emulated() {
  [ ! -x /usr/lib/wine/wine ] && [ -x "$kn_wine32_root/bin/wine" ]
}

if kn_wine32_emulated; then
  case ":$PATH:" in
    *":$kn_wine32_root/bin:"*) ;;
    *) export PATH="$kn_wine32_root/bin:$PATH" ;;
  esac
fi

kn_own_prefix=""
[ -n "${WINEPREFIX:-}" ] || kn_own_prefix=1
# One 64-bit prefix for both architectures: Wine runs 32-bit programs in it as Windows does.
export WINEPREFIX=${WINEPREFIX:-$(kn_build_dir x64)/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# winedbg disabled: a crashing program ends at once instead of waiting in the debugger.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
export WINEARCH=win64

kn_xvfb_pid=""

# README commands may run side by side in one prefix (a station in one terminal, a list in
# another): each names itself in the prefix's user folder while it runs, and only the last one
# to end stops the prefix's server, which would end the others' programs with it. (A lock held
# open instead would be inherited by the server itself, and never let go.)
kn_users_dir="${WINEPREFIX%/}.users"
mkdir -p "$kn_users_dir"
# Under the lock of the clean-up: a command that is stopping the server has done so before this
# one's programs start (they would attach to the dying server and end at once).
( flock 9; : >"$kn_users_dir/$$" ) 9>"$kn_users_dir.lock"

# Whether a command other than this one uses the prefix now; forgets those that have ended.
kn_prefix_used_by_others() {
  local entry pid used=1
  for entry in "$kn_users_dir"/*; do
    [ -e "$entry" ] || continue
    pid=${entry##*/}
    [ "$pid" = "$$" ] && continue
    if kill -0 "$pid" 2>/dev/null; then used=0; else rm -f "$entry"; fi
  done
  return $used
}

# Start Xvfb on a free display unless a display is already given.
kn_ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    kn_xvfb_pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$kn_xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$kn_xvfb_pid" 2>/dev/null || true
    kn_xvfb_pid=""
  done
  echo "could not start Xvfb" >&2
  return 1
}

# First use of a prefix creates it; done once here rather than inside a timed test. Only the
# creation is waited for: a prefix that exists may be the caller's own, with programs of theirs
# running for as long as they like.
kn_wine_init() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ -n "$kn_own_prefix" ] && [ -f "$WINEPREFIX/system.reg" ] && kn_wine32_emulated &&
    [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    # Made before the emulated 32-bit half was here, and an update does not add it: made again,
    # unless another command runs programs in it now.
    (
      flock 9
      kn_prefix_used_by_others && exit 0
      echo "making the Wine prefix $WINEPREFIX again, with Wine's 32-bit half"
      wineserver -k >/dev/null 2>&1 || true
      wineserver -w >/dev/null 2>&1 || true
      rm -rf "$WINEPREFIX"
    ) 9>"$kn_users_dir.lock"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix $WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 || true
    # The prefix is written once its set-up programs have ended: a new prefix's server
    # serves them alone.
    wineserver -w 2>/dev/null || true
  fi
}

kn_cleanup() {
  # Only our own prefix's server is stopped: the caller's may run programs of theirs, and so
  # may another command that uses the prefix now. The look and the stop under one lock: two
  # commands that end together do not both leave the server to the other.
  (
    flock 9
    rm -f "$kn_users_dir/$$"
    [ -n "$kn_own_prefix" ] || exit 0
    kn_prefix_used_by_others && exit 0
    # Wait for the server to be gone: a Wine program started right after would otherwise
    # attach to the dying server and end at once.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
  ) 9>"$kn_users_dir.lock"
  kn_stop_display
}

kn_stop_display() {
  if [ -n "$kn_xvfb_pid" ]; then
    kill "$kn_xvfb_pid" 2>/dev/null || true
    wait "$kn_xvfb_pid" 2>/dev/null || true
  fi
}

# Configure and build the project for KN_ARCH (both README commands do this first).
# One build at a time on this machine (two cores): the lock serialises concurrent callers.
# KN_BUILD_TARGETS, when set, names the only targets to build. The tests of a library of the
# other architecture take it from that architecture's tree.
kn_build() {
  local targets=()
  [ -n "${KN_BUILD_TARGETS:-}" ] && targets=(--target $KN_BUILD_TARGETS)
  (
    flock 9
    cmake -S "$KN_ROOT" -B "$KN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$KN_ROOT/cmake/$kn_toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DKN_OTHER_ARCH_BUILD="$(kn_build_dir "$kn_other_arch")" >/dev/null
    cmake --build "$KN_BUILD" -j2 "${targets[@]}" "$@"
  ) 9>/tmp/kn-build.lock
}

# Whether Wine runs 32-bit programs here: tried with the x86 build's bench tool. Debian's Wine
# runs them with its 32-bit half only: the system's wine32:i386, or the emulated one of
# scripts/setup-wine32.sh.
kn_wine_runs_x86() {
  local scratch out
  scratch=$(mktemp -d)
  out=$(wine "$(kn_build_dir x86)/sim/knbench.exe" default "$(kn_winpath "$scratch/bench")" 2>/dev/null | tr -d '\r') || true
  rm -rf "$scratch"
  [ "$out" = "default bench written" ]
}

# A path of this machine as Wine sees it (the root file system is drive Z:).
kn_winpath() {
  local p
  p=$(realpath -m -- "$1")
  printf 'Z:%s' "${p//\//\\}"
}
