#!/usr/bin/env bash
# "./run.sh" as the README gives it, on a machine without a display: the technician's walk
# through the dialog on the default bench must go through, with the package accepted.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
unset DISPLAY
status=0
"$root/run.sh" >"$log" 2>&1 || status=$?
cat "$log"
[ "$status" = 0 ] || { echo "./run.sh exited with $status" >&2; exit 1; }
for seen in 'Device 0: TW 3xx' 'Device 2: VX 5xx' 'choose the package' 'no message box: the package passed its check' \
            'Esc: the dialog closes'; do
  grep -qF -- "$seen" "$log" || { echo "./run.sh did not show: $seen" >&2; exit 1; }
done
ls "$root/build/run/main/screenshots/"*.png >/dev/null || { echo "no screenshots" >&2; exit 1; }
