#!/usr/bin/env bash
# Times the whole update of a package with a 64 MiB media image on an unpaced bench, from
# "Download" to "Updated successfully!" without the fixed pauses, against our kndfu.dll
# writing and verifying the same images from memory, and prints both and their ratio; then
# the same on a bench paced at 16 MB/s.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
source scripts/wine-env.sh
work=
trap 'kn_cleanup; rm -rf "$work"' EXIT

KN_BUILD_TARGETS=update_bench kn_build >/dev/null
kn_wine_init
# On the system's drive C:, as a workstation's temporary folder is: the images of a package
# unpacked anywhere else are read whole, not mapped.
work=$(mktemp -d -p "$WINEPREFIX/drive_c" kn-bench.XXXXXX)
wine "$KN_BUILD/bench/update/update_bench.exe" "C:\\$(basename "$work")" | tr -d '\r'
echo
# The same at 16 MB/s, about what a high-speed USB loader moves: the fixed costs of the
# package check against a transfer time of the real kind.
wine "$KN_BUILD/bench/update/update_bench.exe" "C:\\$(basename "$work")" 16000000 | tr -d '\r'
