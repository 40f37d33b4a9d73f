#!/usr/bin/env bash
# "./run.sh" as the README gives it (with KN_ARCH=x86: "./run.sh --arch x86"), on a machine
# without a display: the technician's walk through the dialog on the default bench must update
# the "TW 3xx" and show it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1  # the build tree of the architecture run.sh runs (KN_ARCH)
log=$(mktemp)
history=$(mktemp -d)
trap 'rm -rf "$log" "$history"' EXIT
unset DISPLAY
# The update's record goes into a history of this test's own, not the prefix user's.
export KN_HISTORY="Z:${history//\//\\}\\history.csv"
status=0
"$root/run.sh" >"$log" 2>&1 || status=$?
cat "$log"
[ "$status" = 0 ] || { echo "./run.sh exited with $status" >&2; exit 1; }
# The captions of the short passes may flash by too quickly to be seen; these stay long enough.
for seen in 'Device 0: TW 3xx' 'Device 2: VX 5xx' 'choose the package' 'status: Check device status' \
            'status: Wait DFU driver ready!' 'status: Media file downloading!' 'status: Program file downloading!' \
            'status: Program file verifying!' 'message box "QM_TWBootloader_bench": Updated successfully!' \
            "the program image's last sector - matches" 'the bootloader image - matches' \
            'NAND at 0x0, 262144 bytes: the media image - matches' 'QM 5xx: untouched' 'VX 5xx: untouched' \
            'is back in application mode' 'Esc: the dialog closes' 'the update went through'; do
  grep -qF -- "$seen" "$log" || { echo "./run.sh did not show: $seen" >&2; exit 1; }
done
if grep -qF -- 'DIFFERS' "$log"; then echo "a memory differs from its image" >&2; exit 1; fi
ls "$build/run/main/screenshots/"*progress.png >/dev/null || { echo "no screenshot of the progress" >&2; exit 1; }
