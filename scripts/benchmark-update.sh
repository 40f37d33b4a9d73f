#!/usr/bin/env bash
# Times the whole update of a package with a 64 MiB media image on an unpaced bench, from
# "Download" to "Updated successfully!" without the fixed pauses, against our kndfu.dll
# writing and verifying the same images from memory, and prints both and their ratio; then
# the same on a bench paced at 16 MB/s.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
source scripts/wine-env.sh
trap 'kn_cleanup; rm -rf "$work"' EXIT
work=$(mktemp -d)

KN_BUILD_TARGETS=update_bench kn_build >/dev/null
kn_wine_init
wine "$KN_BUILD/bench/update/update_bench.exe" "$(kn_winpath "$work")" | tr -d '\r'
echo
# The same at 16 MB/s, about what a high-speed USB loader moves: the fixed costs of the
# package check against a transfer time of the real kind.
wine "$KN_BUILD/bench/update/update_bench.exe" "$(kn_winpath "$work")" 16000000 | tr -d '\r'
