#!/usr/bin/env bash
# The main job. Installs what is missing, builds, then:
#   ./run.sh              the whole update on the default virtual instrument bench with the
#                         updater's bench build, driven as a technician would: a package with a
#                         bootloader for a "TW 3xx" is built and checked with the package tool,
#                         the instrument is picked, the package chosen, "Download" pressed and
#                         every message answered; the status captions and messages are printed,
#                         the instrument's memories compared with the images, screenshots saved
#                         under build/run/main/screenshots; non-zero exit when any of it fails
#   ./run.sh knpack ARGS  runs the package tool; paths of this machine are accepted as they are
#   ./run.sh knupdate ARGS  the console updater (bench build) on the bench KN_BENCH names (a path
#                         of this machine) or on a fresh default bench
#   ./run.sh updater      starts the updater as a Windows user would (no bench, no DFU library
#                         beside it); without a display it runs under Xvfb. Ends with the dialog.
#   ./run.sh dist         makes the Windows distributables of both architectures (production
#                         programs and the technicians' README):
#                         build/dist/QM_TWBootloader-<version>-win64.zip and
#                         build/x86/dist/QM_TWBootloader-<version>-win32.zip
#   ./run.sh bench [DIR]  starts the bench build with our kndfu.dll beside it on bench DIR
#                         (default: a bench this script creates under the build folder)
#   ./run.sh --arch x86 [FORM]  any of these with the 32-bit build (build/x86); x64 (build/) is
#                         the default
# DISPLAY and WINEPREFIX are honoured when set.
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = "--arch" ]; then
  [ -n "${2:-}" ] || { echo "usage: ./run.sh --arch x64|x86 [FORM]" >&2; exit 2; }
  export KN_ARCH=$2
  shift 2
fi
./scripts/setup.sh
source scripts/wine-env.sh || exit 2
# Folders of this run's own (a fresh bench), gone when it ends.
run_scratch=()
on_exit() {
  local dir
  for dir in "${run_scratch[@]}"; do rm -rf "$dir"; done
  kn_cleanup
}
trap on_exit EXIT
# Wine's own processes (its desktop among them) inherit the error stream of the first program
# and, in a prefix that outlives this script, say so there when our display goes at the end:
# only the programs' own lines are passed on (Xlib ends its line with a carriage return).
exec 2> >(grep -v --line-buffered '^X connection to .* broken (explicit kill or server shutdown)' >&2)

# The 32-bit build runs only where Wine runs 32-bit programs (its own 32-bit half, or the one
# scripts/setup-wine32.sh runs under qemu). Tried after the display is chosen: the first Wine
# program of a session fixes the session's display.
require_runnable_arch() {
  [ "$KN_ARCH" = x86 ] || return 0
  KN_BUILD_TARGETS=knbench_tool kn_build >/dev/null
  kn_wine_init
  kn_wine_runs_x86 && return 0
  echo "this machine's Wine cannot run 32-bit programs (neither a 32-bit half of its own nor the" >&2
  echo "emulated one of scripts/setup-wine32.sh runs); the x86 build is in $KN_BUILD" >&2
  exit 1
}

knpack() {
  local args=() a
  for a in "$@"; do
    # An absolute path of this machine becomes the same path on Wine's Z: drive.
    if [[ "$a" == /* ]]; then args+=("$(kn_winpath "$a")"); else args+=("$a"); fi
  done
  wine "$KN_BUILD/tools/knpack/knpack.exe" "${args[@]}"
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
  require_runnable_arch
  (cd "$dir" && wine QM_TWBootloader.exe)
  echo "== the updater has ended"
}

# The bench build with our kndfu.dll and the stand-in driver installers beside it, in its own
# folder; echoes the folder.
prepare_bench_build() {
  local dir="$KN_BUILD/run/bench"
  rm -rf "$dir" && mkdir -p "$dir/qmdriver"
  cp "$KN_BUILD/app/bench/QM_TWBootloader_bench.exe" "$KN_BUILD/sim/kndfu.dll" "$dir/"
  cp "$KN_BUILD/sim/dpinst/dpinst_standin.exe" "$dir/qmdriver/DPInst_x86.exe"
  cp "$KN_BUILD/sim/dpinst/dpinst_standin.exe" "$dir/qmdriver/DPInst_x64.exe"
  echo "$dir"
}

# A fresh default bench: two instruments in application mode, one in DFU mode.
default_bench() {
  rm -rf "$1"
  mkdir -p "$(dirname "$1")"
  wine "$KN_BUILD/sim/knbench.exe" default "$(kn_winpath "$1")" >/dev/null
}

report_installers() {
  if [ -f "$1/qmdriver/dpinst.log" ]; then
    echo "== driver installers started:"
    cat "$1/qmdriver/dpinst.log"
  fi
}

bench() {
  local bench_dir=${1:-"$KN_BUILD/run/default-bench"} dir
  # The display first: the first Wine program of a session fixes the session's display.
  open_display
  require_runnable_arch
  [ -n "${1:-}" ] || default_bench "$bench_dir"
  [ -d "$bench_dir" ] || { echo "no bench folder $bench_dir" >&2; exit 2; }
  dir=$(prepare_bench_build)
  export KN_BENCH
  KN_BENCH=$(kn_winpath "$bench_dir")
  echo "== bench $bench_dir"
  (cd "$dir" && wine QM_TWBootloader_bench.exe)
  echo "== the updater has ended"
  report_installers "$dir"
}

main_job() {
  local work="$KN_BUILD/run/main" dir status=0 updater
  open_display
  require_runnable_arch
  rm -rf "$work" && mkdir -p "$work/images" "$work/screenshots"
  head -c 196608 /dev/urandom >"$work/images/program.bin"
  head -c 262144 /dev/urandom >"$work/images/media.bin"
  head -c 4096 /dev/urandom >"$work/images/data.bin"
  head -c 16384 /dev/urandom >"$work/images/bootloader.bin"
  echo "== the package tool builds an update package with a bootloader for a \"TW 3xx\" instrument and checks it"
  knpack build --type "TW 3xx" --program "$work/images/program.bin" --media "$work/images/media.bin" \
    --data "$work/images/data.bin" --bootloader "$work/images/bootloader.bin" -o "$work/update.kn"
  knpack verify "$work/update.kn" --dir "$work/images"

  default_bench "$work/bench"
  dir=$(prepare_bench_build)
  export KN_BENCH
  KN_BENCH=$(kn_winpath "$work/bench")
  echo "== the updater starts on the default bench; a technician works with it"
  (cd "$dir" && wine QM_TWBootloader_bench.exe) &
  updater=$!
  wine "$KN_BUILD/sim/operator/bench_demo.exe" "$(kn_winpath "$work/update.kn")" "$(kn_winpath "$work/images")" \
    "$(kn_winpath "$work/screenshots")" | tr -d '\r' || status=1
  wait "$updater" || status=1
  report_installers "$dir"
  local shot
  for shot in "$work"/screenshots/*.bmp; do
    [ -f "$shot" ] && convert "$shot" "${shot%.bmp}.png" 2>/dev/null && rm -f "$shot"
  done
  echo "== screenshots: $work/screenshots"
  [ "$status" = 0 ] && echo "== the update went through" || echo "== the update did NOT go through as it should"
  return $status
}

# The console updater's bench build on the bench that KN_BENCH names (a path of this machine),
# or on a fresh default bench; paths of this machine are accepted as they are.
knupdate() {
  local bench_dir=${KN_BENCH:-} args=() a
  if [ -z "$bench_dir" ]; then
    # A bench of this command's own: another ./run.sh knupdate may be running on its own.
    mkdir -p "$KN_BUILD/run"
    bench_dir=$(mktemp -d "$KN_BUILD/run/knupdate-bench.XXXXXX")
    run_scratch+=("$bench_dir")
    default_bench "$bench_dir"
  fi
  [ -d "$bench_dir" ] || { echo "no bench folder $bench_dir" >&2; exit 2; }
  for a in "$@"; do
    if [[ "$a" == /* ]]; then args+=("$(kn_winpath "$a")"); else args+=("$a"); fi
  done
  KN_BENCH=$(kn_winpath "$bench_dir") wine "$KN_BUILD/tools/knupdate/bench/knupdate_bench.exe" "${args[@]}"
}

case "${1:-}" in
  knpack)
    kn_build >/dev/null
    require_runnable_arch
    kn_wine_init
    shift; knpack "$@" ;;
  "")
    kn_build >/dev/null
    kn_wine_init
    main_job ;;
  updater)
    KN_BUILD_TARGETS=${KN_BUILD_TARGETS:-QM_TWBootloader} kn_build >/dev/null
    kn_wine_init
    updater ;;
  dist)
    # Both architectures, whichever --arch says: a technician takes the one of the DFU library.
    for arch in x64 x86; do
      kn_set_arch "$arch"
      KN_BUILD_TARGETS=${KN_BUILD_TARGETS:-dist} kn_build >/dev/null
    done
    for zip in "$(kn_build_dir x64)"/dist/QM_TWBootloader-*-win64.zip "$(kn_build_dir x86)"/dist/QM_TWBootloader-*-win32.zip; do
      ls -l "$zip"
      unzip -l "$zip"
    done ;;
  knupdate)
    shift
    KN_BUILD_TARGETS=${KN_BUILD_TARGETS:-knupdate_bench kndfu knbench_tool} kn_build >/dev/null
    # Wine lets a program create windows only with a display, and the console updater builds
    # its device list in a list box that is never shown.
    kn_ensure_display
    require_runnable_arch
    kn_wine_init
    knupdate "$@" ;;
  bench)
    shift
    KN_BUILD_TARGETS=${KN_BUILD_TARGETS:-QM_TWBootloader_bench dpinst_standin kndfu knbench_tool} kn_build >/dev/null
    kn_wine_init
    bench "$@" ;;
  *) echo "usage: ./run.sh [--arch x64|x86] [knpack ARGS | knupdate ARGS | updater | bench [DIR] | dist]" >&2; exit 2 ;;
esac
