#!/usr/bin/env bash
# The main job. Installs what is missing, builds, then:
#   ./run.sh              builds a sample update package with the package tool and checks it
#   ./run.sh knpack ARGS  runs the package tool; paths of this machine are accepted as they are
#   ./run.sh updater      starts the updater as a Windows user would (no bench, no DFU library
#                         beside it); without a display it runs under Xvfb. Ends with the dialog.
#   ./run.sh bench [DIR]  starts the bench build with our kndfu.dll beside it on bench DIR
#                         (default: a bench this script creates under the build folder)
# DISPLAY and WINEPREFIX are honoured when set.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
source scripts/wine-env.sh
trap kn_cleanup EXIT

knpack() {
  local args=() a
  for a in "$@"; do
    # An absolute path of this machine becomes the same path on Wine's Z: drive.
    if [[ "$a" == /* ]]; then args+=("$(kn_winpath "$a")"); else args+=("$a"); fi
  done
  wine "$KN_BUILD/tools/knpack/knpack.exe" "${args[@]}"
}

sample_package() {
  local dir
  dir=$(mktemp -d)
  head -c 65536 /dev/urandom >"$dir/program.bin"
  head -c 262144 /dev/urandom >"$dir/media.bin"
  printf 'calibration table\n' >"$dir/data.bin"
  echo "== building a sample package for a \"TW 3xx\" instrument"
  knpack build --type "TW 3xx" --program "$dir/program.bin" --media "$dir/media.bin" \
    --data "$dir/data.bin" -o "$dir/sample.kn"
  echo "== inspecting it"
  knpack inspect "$dir/sample.kn"
  echo "== checking it as the updater does"
  knpack verify "$dir/sample.kn"
  rm -rf "$dir"
}

# A display for the dialog: the caller's, or Xvfb (named, so others can look at it).
open_display() {
  if [ -n "${DISPLAY:-}" ]; then
    echo "== the dialog opens on display $DISPLAY"
  else
    kn_ensure_display
    echo "== no display: the dialog runs on the Xvfb display $DISPLAY until it is closed"
  fi
}

# The production updater, alone in its folder as a user has it: started there, so its working
# directory is its own folder, and no DFU library lies beside it.
updater() {
  local dir="$KN_BUILD/run/updater"
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$KN_BUILD/app/QM_TWBootloader.exe" "$dir/"
  open_display
  (cd "$dir" && wine QM_TWBootloader.exe)
  echo "== the updater has ended"
}

# The bench build with our kndfu.dll and the stand-in driver installers beside it.
bench() {
  local bench_dir=${1:-"$KN_BUILD/run/default-bench"}
  local dir="$KN_BUILD/run/bench"
  # The display first: the first Wine program of a session fixes the session's display.
  open_display
  if [ -z "${1:-}" ]; then
    # A fresh default bench each time: two instruments in application mode, one in DFU mode.
    rm -rf "$bench_dir"
    wine "$KN_BUILD/sim/knbench.exe" default "$(kn_winpath "$bench_dir")" >/dev/null
  fi
  [ -d "$bench_dir" ] || { echo "no bench folder $bench_dir" >&2; exit 2; }
  rm -rf "$dir" && mkdir -p "$dir/qmdriver"
  cp "$KN_BUILD/app/bench/QM_TWBootloader_bench.exe" "$dir/"
  cp "$KN_BUILD/sim/kndfu.dll" "$dir/"
  cp "$KN_BUILD/sim/dpinst/dpinst_standin.exe" "$dir/qmdriver/DPInst_x86.exe"
  cp "$KN_BUILD/sim/dpinst/dpinst_standin.exe" "$dir/qmdriver/DPInst_x64.exe"
  export KN_BENCH
  KN_BENCH=$(kn_winpath "$bench_dir")
  echo "== bench $bench_dir"
  (cd "$dir" && wine QM_TWBootloader_bench.exe)
  echo "== the updater has ended"
  if [ -f "$dir/qmdriver/dpinst.log" ]; then
    echo "== driver installers started:"
    cat "$dir/qmdriver/dpinst.log"
  fi
}

case "${1:-}" in
  knpack)
    kn_build >/dev/null
    kn_wine_init
    shift; knpack "$@" ;;
  "")
    kn_build >/dev/null
    kn_wine_init
    sample_package ;;
  updater)
    KN_BUILD_TARGETS=${KN_BUILD_TARGETS:-QM_TWBootloader} kn_build >/dev/null
    kn_wine_init
    updater ;;
  bench)
    shift
    # kndfu.dll comes with the bench's own build; build it when the tree has it.
    KN_BUILD_TARGETS=${KN_BUILD_TARGETS:-QM_TWBootloader_bench dpinst_standin kndfu knbench_tool} kn_build >/dev/null
    kn_wine_init
    bench "$@" ;;
  *) echo "usage: ./run.sh [knpack ARGS | updater | bench [DIR]]" >&2; exit 2 ;;
esac
