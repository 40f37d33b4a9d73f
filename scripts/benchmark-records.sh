#!/usr/bin/env bash
# Times what a department's database that is away costs the dialog: the bench build of the
# updater, with central-records.txt beside it, updates the default bench's "TW 3xx"; the
# operator answers the final message and measures until the dialog is ready again, and how
# long the dialog takes to answer while the record's send waits. First without
# central-records.txt (the time the procedure itself takes), then with a server that refuses at
# once (a closed port), and one that never answers (the login time-out).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
source scripts/wine-env.sh
work=
trap 'kn_cleanup; rm -rf "$work"' EXIT

KN_BUILD_TARGETS="QM_TWBootloader_bench records_send_bench knbench_tool knpack kndfu" kn_build >/dev/null
kn_ensure_display
kn_wine_init
work=$(mktemp -d -p "$KN_BUILD" records-bench.XXXXXX)
head -c 65536 /dev/urandom >"$work/program.bin"
head -c 65536 /dev/urandom >"$work/media.bin"
head -c 4096 /dev/urandom >"$work/data.bin"
wine "$KN_BUILD/tools/knpack/knpack.exe" build --type "TW 3xx" --program "$(kn_winpath "$work/program.bin")" \
  --media "$(kn_winpath "$work/media.bin")" --data "$(kn_winpath "$work/data.bin")" \
  -o "$(kn_winpath "$work/update.kn")" >/dev/null

baseline=
for server in "" "Server=127.0.0.1;Port=9" "Server=10.255.255.1;Port=5432"; do
  rm -rf "$work/bench" "$work/program" "$work"/history.csv "$work"/outbox* && mkdir -p "$work/program"
  cp "$KN_BUILD/app/bench/QM_TWBootloader_bench.exe" "$KN_BUILD/sim/kndfu.dll" "$work/program/"
  if [ -z "$server" ]; then
    echo "== without central-records.txt"
  else
    echo "== the department's database away: $server"
    printf '# benchmark: a server that is away\r\nDriver={PostgreSQL Unicode};%s;Database=kn;Uid=kn;Pwd=kn;\r\n' \
      "$server" >"$work/program/central-records.txt"
  fi
  wine "$KN_BUILD/sim/knbench.exe" default "$(kn_winpath "$work/bench")" >/dev/null
  export KN_BENCH KN_HISTORY
  KN_BENCH=$(kn_winpath "$work/bench")
  KN_HISTORY=$(kn_winpath "$work/history.csv")
  (cd "$work/program" && wine QM_TWBootloader_bench.exe) &
  updater=$!
  out=$(wine "$KN_BUILD/bench/records_send_bench.exe" "$(kn_winpath "$work/update.kn")" $baseline | tr -d '\r') || true
  echo "$out"
  wait "$updater" || true
  [ -n "$baseline" ] || baseline=$(sed -n 's/^from the final message answered to the dialog ready again: \([0-9.]*\) s$/\1/p' <<<"$out")
done
