#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs the tests under Wine (windows
# under Xvfb): the whole suite of the x64 build; of the x86 build every subsystem's unit tests,
# the dialog and the update end to end, a library of the other architecture and the main job
# (under qemu's i386 emulation where the system's Wine has no 32-bit half), or, where Wine
# cannot run 32-bit programs at all, only its checks that run none.
# Arguments go to both CTest runs.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
source scripts/wine-env.sh
trap kn_cleanup EXIT

# The time of each step, for the log.
step_start=$SECONDS
step_done() { echo "== $1: $((SECONDS - step_start)) s"; step_start=$SECONDS; }

# Both trees first: each tree's tests take a library of the other architecture from the other.
kn_set_arch x64
kn_build
step_done "x64 built"
kn_set_arch x86
kn_build
step_done "x86 built"
kn_ensure_display
kn_wine_init

status=0
echo "== x64: the whole suite"
ctest --test-dir "$(kn_build_dir x64)" --output-on-failure "$@" || status=1
step_done "x64 tested"
if kn_wine_runs_x86; then
  emulated=""
  kn_wine32_emulated && emulated=" (under qemu's i386 emulation)"
  echo "== x86$emulated: all but the tests of the other README commands"
  ctest --test-dir "$(kn_build_dir x86)" --output-on-failure -LE commands "$@" || status=1
else
  echo "== x86: this machine's Wine cannot run 32-bit programs (neither a 32-bit half of its own"
  echo "   nor the emulated one runs); only the checks of the x86 build that run none"
  ctest --test-dir "$(kn_build_dir x86)" --output-on-failure -L static "$@" || status=1
fi
step_done "x86 tested"
exit $status
