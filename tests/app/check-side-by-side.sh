#!/usr/bin/env bash
# Two README commands at once, as two terminals run them: a station updates an instrument on
# its bench while "./run.sh knupdate list" starts and ends in the other terminal. The list's end
# must not end the station (nor its update, mid-write): each command stops only what it started.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
station=""
cleanup() {
  [ -z "$station" ] || kill "$station" 2>/dev/null || true
  exec 8>&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# Both commands as a technician starts them: the scripts' own prefix and display.
unset DISPLAY KN_BENCH WINEPREFIX
export KN_HISTORY="Z:${work//\//\\}\\history.csv"
win() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }

head -c 65536 /dev/urandom >"$work/program.bin"
head -c 16384 /dev/urandom >"$work/media.bin"
head -c 512 /dev/urandom >"$work/data.bin"
"$root/run.sh" knpack build --type "TW 3xx" --program "$work/program.bin" --media "$work/media.bin" \
  --data "$work/data.bin" -o "$work/update.kn" >/dev/null
"$root/run.sh" knupdate list >/dev/null  # builds what the station needs, before it runs

# The station's bench, paced so its update takes seconds.
source "$root/scripts/wine-env.sh" >/dev/null 2>&1 || true
mkdir -p "$work/bench"
wine "$(kn_build_dir "${KN_ARCH:-x64}")/sim/knbench.exe" default "$(win "$work/bench")" >/dev/null
kn_cleanup
unset WINEPREFIX

mkfifo "$work/input"
KN_BENCH="$work/bench" "$root/run.sh" knupdate station --package "$work/update.kn" --yes \
  <"$work/input" >"$work/station.log" 2>&1 &
station=$!
exec 8>"$work/input"  # the station's input stays open until q is typed

waitfor() {
  local i
  for i in $(seq 1 600); do
    grep -qF -- "$1" "$work/station.log" 2>/dev/null && return 0
    kill -0 "$station" 2>/dev/null || { echo "the station ended: $(tr -d '\r' <"$work/station.log")" >&2; return 1; }
    sleep 0.2
  done
  echo "the station did not show: $1" >&2
  return 1
}

waitfor "downloading!"
"$root/run.sh" knupdate list >"$work/list.log" 2>&1 || { cat "$work/list.log"; echo "the list failed" >&2; exit 1; }
kill -0 "$station" 2>/dev/null || { tr -d '\r' <"$work/station.log"; echo "the list's end ended the station" >&2; exit 1; }
waitfor "Device 0: TW 3xx (serial TW3-000123): Updated successfully!"
echo q >&8
status=0
wait "$station" || status=$?
station=""
tr -d '\r' <"$work/station.log"
[ "$status" = 0 ] || { echo "the station exited with $status" >&2; exit 1; }
grep -qF "Station ended: 1 updated, 0 failed." "$work/station.log" || { echo "no summary" >&2; exit 1; }
echo "two commands at once: the list's end left the station running"
