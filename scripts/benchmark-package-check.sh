#!/usr/bin/env bash
# Times the updater's package check on a 64 MiB package against Info-ZIP unzip extracting
# the same package, and prints both and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
source scripts/wine-env.sh
trap 'kn_cleanup; rm -rf "$work"' EXIT
work=$(mktemp -d)

KN_BUILD_TARGETS=package_check_bench kn_build >/dev/null
kn_wine_init
out=$(wine "$KN_BUILD/bench/package_check_bench.exe" "$(kn_winpath "$work")" | tr -d '\r')
echo "$out" | grep -v '^check_seconds='
check=$(echo "$out" | sed -n 's/^check_seconds=//p')

best=""
for run in 1 2 3; do
  rm -rf "$work/unzip"
  start=$(date +%s.%N)
  unzip -q -o "$work/bench.kn" -d "$work/unzip"
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc -l)
  if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
done
printf 'Info-ZIP unzip extraction alone: %.3f s (best of 3)\n' "$best"
printf 'ratio check / unzip: %.2f (goal: at most 0.45)\n' "$(echo "$check / $best" | bc -l)"
