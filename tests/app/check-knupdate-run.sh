#!/usr/bin/env bash
# "./run.sh knupdate ..." as the README gives it: the console updater lists the default bench
# and updates its "TW 3xx" with a package built by "./run.sh knpack".
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY KN_BENCH
# The records go into a history of this test's own, not the prefix user's.
export KN_HISTORY="Z:${work//\//\\}\\history.csv"
head -c 65536 /dev/urandom >"$work/program.bin"
head -c 16384 /dev/urandom >"$work/media.bin"
head -c 512 /dev/urandom >"$work/data.bin"
"$root/run.sh" knpack build --type "TW 3xx" --program "$work/program.bin" --media "$work/media.bin" \
  --data "$work/data.bin" -o "$work/update.kn" >/dev/null

list=$("$root/run.sh" knupdate list 2>"$work/stderr" | tr -d '\r')
echo "$list"
# Only the program's own lines: nothing of Wine's or of the display's on the error stream.
[ ! -s "$work/stderr" ] || { cat "$work/stderr"; echo "knupdate list printed stray lines" >&2; exit 1; }
[ "$list" = $'Device 0: TW 3xx\tapplication\tTW3-000123\nDevice 1: QM 5xx\tapplication\tQM5-004711\nDevice 2: VX 5xx\tDFU\t' ] ||
  { echo "knupdate list showed something else" >&2; exit 1; }

status=0
out=$("$root/run.sh" knupdate update --package "$work/update.kn" --device "TW 3xx" | tr -d '\r') || status=$?
echo "$out"
[ "$status" = 0 ] || { echo "knupdate update exited with $status" >&2; exit 1; }
[ "$(echo "$out" | tail -n 1)" = "Updated successfully!" ] || { echo "no success reported" >&2; exit 1; }
"$root/run.sh" knupdate history | tr -d '\r' | tail -n 1 | grep -qF ',Device 0: TW 3xx,' ||
  { echo "the history does not have the update" >&2; exit 1; }
