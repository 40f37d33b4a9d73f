#!/usr/bin/env bash
# Fuzzes the plain rules natively: clang, libFuzzer, AddressSanitizer and UBSan, no recovery.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]   every target (or TARGET), SECONDS each (60), one core;
#                                        prints the executions per target, keeps what it finds
#                                        under build/fuzz/findings, exits non-zero on a finding
#   scripts/fuzz.sh --replay TARGET      the target over its seeds and a short fixed run (what
#                                        ./test.sh runs, after its build has built the targets)
#
# Targets: entry_name_fuzzer entry_metadata_fuzzer manifest_fuzzer crc32_fuzzer frame_fuzzer
#          string_descriptor_fuzzer flash_layout_fuzzer device_match_fuzzer error_text_fuzzer
#          signing_text_fuzzer
# A finding is kept as a seed by adding it to fuzz/seeds.py.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KN_BUILD:-$root/build}/fuzz
targets=(entry_name_fuzzer entry_metadata_fuzzer manifest_fuzzer crc32_fuzzer frame_fuzzer
         string_descriptor_fuzzer flash_layout_fuzzer device_match_fuzzer error_text_fuzzer signing_text_fuzzer)
replay_runs=20000

build_targets() {
  (
    flock 9
    cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 >/dev/null
  ) 9>/tmp/kn-build.lock
}

# The target's options: its dictionary when it has one, findings written where we keep them.
run_target() {
  local target=$1 findings=$2; shift 2
  local dict=()
  [ -f "$root/fuzz/dictionaries/$target.dict" ] && dict=(-dict="$root/fuzz/dictionaries/$target.dict")
  "$build/$target" "${dict[@]}" -artifact_prefix="$findings/$target-" "$@"
}

if [ "${1:-}" = "--replay" ]; then
  target=${2:?usage: fuzz.sh --replay TARGET}
  [ -x "$build/$target" ] || { echo "$build/$target is not built" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  python3 "$root/fuzz/seeds.py" "$work/seeds"
  mkdir -p "$work/corpus" "$build/findings"
  # New inputs go to the scratch corpus; the seeds stay as the script makes them. A finding
  # is kept where scripts/fuzz.sh keeps its own.
  status=0
  run_target "$target" "$build/findings" -runs=$replay_runs -seed=1 "$work/corpus" "$work/seeds/$target" \
    >"$work/log" 2>&1 || status=$?
  grep -E 'INFO: seed corpus|Done [0-9]+ runs|ERROR|promise broken|SUMMARY|runtime error|Test unit written|Base64' \
    "$work/log" || true
  [ "$status" = 0 ] || { echo "$target: a finding (exit $status)" >&2; exit 1; }
  exit 0
fi

"$root/scripts/setup.sh"
selected=("${targets[@]}")
if [ -n "${1:-}" ]; then selected=("$1"); fi
seconds=${2:-60}
build_targets
python3 "$root/fuzz/seeds.py" "$build/seeds"
mkdir -p "$build/findings"
failed=0
for target in "${selected[@]}"; do
  mkdir -p "$build/corpus/$target"
  log="$build/$target.log"
  if run_target "$target" "$build/findings" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       "$build/corpus/$target" "$build/seeds/$target" >"$log" 2>&1; then
    result="no finding"
  else
    result="FINDING (see $log and $build/findings)"
    failed=1
  fi
  runs=$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 executions in \2 s/p' "$log" | tail -n 1)
  printf '%-26s %-32s %s\n' "$target" "${runs:-?}" "$result"
done
exit $failed
