#!/usr/bin/env bash
# Wine's 32-bit half for the x86 build, without installing it: this kind of machine's kernel
# executes no 32-bit Linux program, and Debian's wine32:i386 installed into the system would
# start every program with its 32-bit loader. Instead:
#   - qemu-user-static (the only package installed into the system) runs i386 Linux programs;
#   - the wine32:i386 packages of exactly the installed wine64's version, and the i386 libraries
#     they need, are fetched with a private apt state (lists, status, archives under .cache;
#     dpkg's architectures and the system's lists are untouched) and unpacked into a private
#     root, .cache/wine32-root;
#   - the root's loader usr/lib/wine/wine becomes a script that runs the real loader
#     (wine-i386) under qemu-i386-static -L ROOT. Wine starts every new process by executing
#     ROOT/usr/lib/wine/wine, so each child goes through qemu too.
# Idempotent and quiet on success: a finished root carries a stamp with the wine version.
# Not yet called by setup.sh, nor scripts/wine32 by the tests: a console program runs this way
# (its line and exit code come through), but each start under emulation takes 40 s or more and
# the prefix's creation minutes, too slow for the x86 tests so far.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$here/.cache"
root="$cache/wine32-root"
state="$cache/wine32-apt"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "install ok installed"; then
  echo "setup-wine32: installing qemu-user-static"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
fi

version=$(dpkg-query -W -f='${Version}' wine64)
stamp="$root/.kn-wine32-version"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && exit 0

echo "setup-wine32: fetching Wine's 32-bit half ($version) into $root"
apt_opts=(
  -o APT::Architecture=i386 -o APT::Architectures::=i386
  -o Dir::State="$state" -o Dir::State::Lists="$state/lists" -o Dir::State::status="$state/status"
  -o Dir::Cache="$state/cache" -o Dir::Cache::archives="$state/archives"
  -o Acquire::Languages=none -o Acquire::IndexTargets::deb-src::Sources::DefaultEnabled=false
)
mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/cache"
: >"$state/status"
apt-get "${apt_opts[@]}" update -qq >/dev/null
# The X libraries Wine's X11 driver opens at run time come as recommends; only those are added.
apt-get "${apt_opts[@]}" install -y -qq --download-only --no-install-recommends \
  "wine32=$version" "libwine=$version" \
  libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3 >/dev/null

rm -rf "$root.new" && mkdir -p "$root.new"
for deb in "$state"/archives/*.deb; do dpkg-deb -x "$deb" "$root.new"; done

# What libwine's maintainer script does: zlib1.dll from libz-mingw-w64, marked as a builtin.
in="$root.new/usr/i686-w64-mingw32/lib/zlib1.dll"
out="$root.new/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
{ head -c 64 "$in"; printf 'Wine builtin DLL'; printf '\0%.0s' $(seq 16); tail -c +97 "$in"; } >"$out"

# The loader under qemu. Wine names its loader for children as the real loader's folder plus
# the base name of argv[0]: with -0 naming this script, children start through it as well.
mv "$root.new/usr/lib/wine/wine" "$root.new/usr/lib/wine/wine-i386"
cat >"$root.new/usr/lib/wine/wine" <<'WRAP'
#!/bin/sh
r=$(cd "$(dirname "$0")/../../.." && pwd)
exec /usr/bin/qemu-i386-static -L "$r" -0 "$r/usr/lib/wine/wine" "$r/usr/lib/wine/wine-i386" "$@"
WRAP
chmod +x "$root.new/usr/lib/wine/wine"
echo "$version" >"$root.new/.kn-wine32-version"

rm -rf "$root" && mv "$root.new" "$root"
rm -rf "$state/archives"/*.deb
