#!/usr/bin/env bash
# The Windows distributable: the zip named with the resource's version holds the production
# updater, the console updater, the package tool and the README, and each program imports only
# DLLs that every Windows has.
set -euo pipefail
zip=$1 objdump=$2 root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version=$(sed -n 's/^#define KN_VERSION_TEXT "\(.*\)"/\1/p' "$root/res/version.h")
# The text and the numbers of the resource's version are one version.
numbers=$(for part in MAJOR MINOR PATCH BUILD; do sed -n "s/^#define KN_VERSION_$part \([0-9]*\)$/\1/p" "$root/res/version.h"; done | paste -sd.)
[ "$numbers" = "$version" ] || { echo "res/version.h: numbers $numbers, text $version" >&2; exit 1; }
[ "$(basename "$zip")" = "QM_TWBootloader-$version-win64.zip" ] || { echo "zip named $(basename "$zip"), version $version" >&2; exit 1; }
unzip -q "$zip" -d "$work"
listed=$(cd "$work" && ls | sort | tr '\n' ' ')
[ "$listed" = "QM_TWBootloader.exe README.txt knpack.exe knupdate.exe " ] || { echo "the zip holds: $listed" >&2; exit 1; }

# The version resource carries the same version (UTF-16 text in the resource).
python3 - "$work/QM_TWBootloader.exe" "$version" <<'PY' || { echo "the updater's version resource is not $version" >&2; exit 1; }
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if ("FileVersion\0".encode("utf-16-le") in data and sys.argv[2].encode("utf-16-le") in data) else 1)
PY

# System DLLs only: no runtime of the compiler, nothing that has to be shipped along
# (bcrypt.dll, the package signing's cryptography, is part of Windows since Vista).
allowed=" kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll shell32.dll ole32.dll oleaut32.dll advapi32.dll shlwapi.dll msvcrt.dll version.dll uxtheme.dll bcrypt.dll "
status=0
for exe in QM_TWBootloader.exe knupdate.exe knpack.exe; do
  for dll in $("$objdump" -p "$work/$exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$allowed" in *" $dll "*) ;; *) echo "$exe imports $dll" >&2; status=1 ;; esac
  done
done

for needed in kndfu.dll 'qmdriver\' 'DPInst_x64.exe' 'knupdate update --package FILE' 'history.csv' \
              'The file is not for the selected device!' 'Please install the DFU driver at first!' \
              'trusted-keys.txt' 'The update file is not signed!' 'The update file is not signed by a trusted maker!' \
              'The update file does not match its signature!'; do
  grep -qF -- "$needed" "$work/README.txt" || { echo "README.txt does not mention $needed" >&2; status=1; }
done
grep -q $'\r$' "$work/README.txt" || { echo "README.txt has no Windows line ends" >&2; status=1; }
[ "$status" = 0 ] && echo "the distributable holds what it should"
exit $status
