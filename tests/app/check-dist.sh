#!/usr/bin/env bash
# The Windows distributable of one architecture (x64 or x86): the zip named with the resource's
# version and the architecture's platform holds the production updater, the console updater,
# the package tool and the README; each program is built for that architecture, carries the
# version resource and imports only DLLs that every Windows has.
set -euo pipefail
zip=$1 objdump=$2 arch=$3 root=$(cd "$(dirname "$0")/../.." && pwd)
case "$arch" in
  x64) platform=win64 machine=0x8664 ;;
  x86) platform=win32 machine=0x14c ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

version=$(sed -n 's/^#define KN_VERSION_TEXT "\(.*\)"/\1/p' "$root/res/version.h")
# The text and the numbers of the resource's version are one version.
numbers=$(for part in MAJOR MINOR PATCH BUILD; do sed -n "s/^#define KN_VERSION_$part \([0-9]*\)$/\1/p" "$root/res/version.h"; done | paste -sd.)
[ "$numbers" = "$version" ] || { echo "res/version.h: numbers $numbers, text $version" >&2; exit 1; }
[ "$(basename "$zip")" = "QM_TWBootloader-$version-$platform.zip" ] || { echo "zip named $(basename "$zip"), version $version, $arch" >&2; exit 1; }
unzip -q "$zip" -d "$work"
listed=$(cd "$work" && ls | sort | tr '\n' ' ')
[ "$listed" = "QM_TWBootloader.exe README.txt knpack.exe knupdate.exe " ] || { echo "the zip holds: $listed" >&2; exit 1; }

# Every program carries the version resource with the same version (UTF-16 text in the
# resource) and a manifest of its own.
for exe in QM_TWBootloader.exe knupdate.exe knpack.exe; do
  python3 - "$work/$exe" "$version" <<'PY' || { echo "$exe: no version resource of $version, or no manifest" >&2; exit 1; }
import sys
data = open(sys.argv[1], "rb").read()
has_version = "FileVersion\0".encode("utf-16-le") in data and sys.argv[2].encode("utf-16-le") in data
has_manifest = b'<requestedExecutionLevel level="asInvoker"' in data and b"8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a" in data
sys.exit(0 if has_version and has_manifest else 1)
PY
done
# The updater's dialog is drawn for the monitor it is on.
grep -q "PerMonitorV2" "$work/QM_TWBootloader.exe" || { echo "the updater does not declare per-monitor DPI awareness" >&2; exit 1; }

# Each program's PE header names the architecture's machine type.
for exe in QM_TWBootloader.exe knupdate.exe knpack.exe; do
  found=$(python3 - "$work/$exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
print("0x%x" % struct.unpack_from("<H", data, pe + 4)[0] if data[pe:pe + 4] == b"PE\0\0" else "none")
PY
)
  [ "$found" = "$machine" ] || { echo "$exe: machine $found, expected $machine ($arch)" >&2; exit 1; }
done

# System DLLs only: no runtime of the compiler, nothing that has to be shipped along
# (bcrypt.dll, the package signing's cryptography, is part of Windows since Vista; odbc32.dll, the
# department's database, is part of every Windows).
allowed=" kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll shell32.dll ole32.dll oleaut32.dll advapi32.dll shlwapi.dll msvcrt.dll version.dll uxtheme.dll bcrypt.dll odbc32.dll "
status=0
for exe in QM_TWBootloader.exe knupdate.exe knpack.exe; do
  for dll in $("$objdump" -p "$work/$exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$allowed" in *" $dll "*) ;; *) echo "$exe imports $dll" >&2; status=1 ;; esac
  done
done

for needed in kndfu.dll 'qmdriver\' 'DPInst_x64.exe' 'knupdate update --package FILE' 'history.csv' \
              'The file is not for the selected device!' 'Please install the DFU driver at first!' \
              '-win32.zip' '-win64.zip' 'Please use the 32-bit updater.' \
              'Please use the 64-bit updater.' \
              'trusted-keys.txt' 'The update file is not signed!' 'The update file is not signed by a trusted maker!' \
              'The update file does not match its signature!'; do
  grep -qF -- "$needed" "$work/README.txt" || { echo "README.txt does not mention $needed" >&2; status=1; }
done
grep -q $'\r$' "$work/README.txt" || { echo "README.txt has no Windows line ends" >&2; status=1; }
[ "$status" = 0 ] && echo "the distributable holds what it should"
exit $status
