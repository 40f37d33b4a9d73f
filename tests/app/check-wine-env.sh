#!/usr/bin/env bash
# The scripts' Wine set-up in a caller's own prefix, while another program of the caller runs
# there: the set-up must neither wait for that program nor stop it at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:?the caller's prefix}"
: "${DISPLAY:?a display for the caller's program}"

wine notepad.exe >/dev/null 2>&1 &
other=$!
trap 'kill "$other" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
sleep 3
kill -0 "$other" 2>/dev/null || { echo "the caller's program did not start" >&2; exit 1; }

if ! timeout 60 bash -c "source '$root/scripts/wine-env.sh' && kn_wine_init"; then
  echo "the set-up waited for the caller's program" >&2
  exit 1
fi
bash -c "source '$root/scripts/wine-env.sh' && kn_cleanup"
sleep 2
kill -0 "$other" 2>/dev/null || { echo "the clean-up stopped the caller's program" >&2; exit 1; }
echo "the set-up neither waited for nor stopped the caller's program"
