#!/usr/bin/env bash
# The dialog at 100%, 150% and 200% display scaling: Windows' scaling is set in the test prefix
# (the user's LogPixels), the dialog test checks the layout at each and saves a screenshot, and
# the dialog's size must grow with the scaling. The prefix's own setting is put back at the end.
set -euo pipefail
test_exe=$1 shots=$2
mkdir -p "$shots"
report="$shots/sizes.txt"
rm -f "$report"
key='HKCU\Control Panel\Desktop'
winpath() { echo "Z:${1//\//\\}"; }
before=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '/LogPixels/ {print $3}') || true
restore() {
  if [ -n "$before" ]; then wine reg add "$key" /v LogPixels /t REG_DWORD /d "$before" /f >/dev/null 2>&1 || true
  else wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true; fi
  wineserver -w 2>/dev/null || true
}
trap restore EXIT
for dpi in 96 144 192; do
  wine reg add "$key" /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null
  # A new session reads the setting: the programs of the last one must be gone.
  wineserver -w
  wine "$test_exe" --dpi=$dpi --report="$(winpath "$report")" --screenshot="$(winpath "$shots/dialog-$dpi.bmp")"
done
cat "$report"
# The dialog grows with the scaling (its font does, and its layout is in dialog units).
awk 'NR == 1 {w = $2; h = $3; next}
     { want = $1 / 96; gw = $2 / w; gh = $3 / h
       if (gw < want * 0.85 || gw > want * 1.15 || gh < want * 0.85 || gh > want * 1.15) {
         printf "at %d dpi the dialog is %.2f x %.2f times its size at 96 dpi, not about %.2f\n", $1, gw, gh, want; bad = 1 } }
     END { exit bad }' "$report"
for dpi in 96 144 192; do
  convert "$shots/dialog-$dpi.bmp" "$shots/dialog-$dpi.png" 2>/dev/null && rm -f "$shots/dialog-$dpi.bmp" || true
done
echo "the dialog lays out at every scaling; screenshots in $shots"
