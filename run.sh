#!/usr/bin/env bash
# The main job. Installs what is missing, builds, then:
#   ./run.sh              builds a sample update package with the package tool and checks it
#   ./run.sh knpack ARGS  runs the package tool; paths of this machine are accepted as they are
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
source scripts/wine-env.sh
trap kn_cleanup EXIT

kn_build >/dev/null
kn_wine_init

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

case "${1:-}" in
  knpack) shift; knpack "$@" ;;
  "") sample_package ;;
  *) echo "usage: ./run.sh [knpack ARGS]" >&2; exit 2 ;;
esac
