#!/usr/bin/env bash
# "./run.sh MODE" (updater or bench) on a machine without a display: the updater runs under
# Xvfb, our probe (argument 2) goes through it as a person would, and the updater's process
# has to end when the dialog is closed.
set -euo pipefail
mode=$1
probe=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

unset DISPLAY
"$root/run.sh" "$mode" >"$log" 2>&1 &
runner=$!

# run.sh names the Xvfb display it started; the probe uses the same one.
display=""
for _ in $(seq 1 600); do
  display=$(sed -n 's/.*on the Xvfb display \(:[0-9]*\).*/\1/p' "$log" | head -n 1)
  [ -n "$display" ] && break
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.5
done
if [ -z "$display" ]; then
  cat "$log"; echo "run.sh $mode did not start the updater under Xvfb" >&2
  kill "$runner" 2>/dev/null || true
  exit 1
fi

status=0
DISPLAY=$display wine "$probe" || status=1

# The dialog is closed: run.sh (and the updater in it) must end by itself.
for _ in $(seq 1 120); do
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$runner" 2>/dev/null; then
  echo "the updater is still running after its dialog closed" >&2
  kill "$runner" 2>/dev/null || true
  status=1
else
  wait "$runner" || { echo "run.sh $mode failed" >&2; status=1; }
fi
cat "$log"
exit $status
