#!/usr/bin/env bash
# Wine's 32-bit half for the x86 build, on a machine whose kernel executes no 32-bit code:
# neither 32-bit Linux programs ("Exec format error") nor 32-bit code segments, so neither
# Debian's wine32:i386 nor Wine's in-process 32-bit mode runs here. Instead, without
# installing anything into the system:
#   - qemu's i386 user-mode emulator runs i386 Linux programs. It comes from the release's
#     backports (qemu 10, a static program): the release's own qemu 7.2 mixes up the Wine
#     state of threads that call the Wine server at the same moment, and programs end or hang.
#   - the wine32:i386 packages of exactly the installed wine64's version, its preloader and the
#     i386 libraries they need (ODBC and the PostgreSQL driver too) are fetched with a private
#     apt state (lists, status, archives under .cache; dpkg's architectures and the system's
#     lists are untouched) and unpacked into a private root, .cache/wine32-root;
#   - the root's usr/lib/wine becomes a Wine installation of both halves. wine64 is a copy of
#     the system's 64-bit loader: Wine takes the folder of the running loader as its own and
#     looks there for the 32-bit loader "wine" and its "wine-preloader". wine-preloader is a
#     script that runs the real preloader under the root's qemu-i386 -L ROOT; with it each
#     32-bit process starts in under a second (without it Wine probes the whole address space,
#     which takes a minute under emulation). usr/lib/x86_64-linux-gnu/wine points at the
#     system's 64-bit half, so the copied loader finds it.
#   - bin/wine runs that wine64. Put first in PATH (scripts/wine-env.sh does), it serves both
#     architectures in one 64-bit prefix, as Windows runs 32-bit programs beside 64-bit ones.
# Idempotent and quiet on success: a finished root carries a stamp with the wine version.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$here/.cache"
root="$cache/wine32-root"
state="$cache/wine32-apt"
qemu_state="$cache/qemu-apt"
layout=3

version=$(dpkg-query -W -f='${Version}' wine64)
stamp="$root/.kn-wine32-version"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version layout $layout" ] && exit 0

echo "setup-wine32: fetching Wine's 32-bit half ($version) and qemu into $root"

# qemu-user of the release's backports, from the mirror the machine's apt sources name.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(TARGET_OF)' 2>/dev/null |
  awk -v release="$codename" '$2 == release && $3 == "deb" { print $1; exit }')
[ -n "$mirror" ] || { echo "setup-wine32: no Debian mirror for $codename in the apt sources" >&2; exit 1; }
# apt with its own state in the folder DIR (lists, status, archives), not the system's.
private_apt() {
  local dir=$1
  shift
  mkdir -p "$dir/lists/partial" "$dir/archives/partial" "$dir/cache"
  [ -f "$dir/status" ] || : >"$dir/status"
  apt-get -o Dir::State="$dir" -o Dir::State::Lists="$dir/lists" -o Dir::State::status="$dir/status" \
    -o Dir::Cache="$dir/cache" -o Dir::Cache::archives="$dir/archives" -o Acquire::Languages=none \
    -o APT::Sandbox::User=root "$@"
}

mkdir -p "$qemu_state/sources"
printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: %s\n' \
  "$mirror" "$codename" /usr/share/keyrings/debian-archive-keyring.gpg >"$qemu_state/sources/backports.sources"
qemu_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$qemu_state/sources")
private_apt "$qemu_state" "${qemu_opts[@]}" update -qq >/dev/null
# Only the package itself: its programs are static.
(cd "$qemu_state/archives" && private_apt "$qemu_state" "${qemu_opts[@]}" download -qq qemu-user)
wine_opts=(
  -o APT::Architecture=i386 -o APT::Architectures::=i386
  -o Acquire::IndexTargets::deb-src::Sources::DefaultEnabled=false
)
private_apt "$state" "${wine_opts[@]}" update -qq >/dev/null
# The X libraries Wine's X11 driver opens at run time come as recommends, as does the ODBC
# manager Wine's odbc32 opens; only those are added, with the PostgreSQL driver the records
# tests use.
private_apt "$state" "${wine_opts[@]}" install -y -qq --download-only --no-install-recommends \
  "wine32=$version" "libwine=$version" "wine32-preloader=$version" \
  libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3 \
  libodbc2 odbc-postgresql >/dev/null

rm -rf "$root.new" && mkdir -p "$root.new"
for deb in "$state"/archives/*.deb; do dpkg-deb -x "$deb" "$root.new"; done
qemu_unpacked="$qemu_state/unpacked"
rm -rf "$qemu_unpacked" && dpkg-deb -x "$(ls "$qemu_state"/archives/qemu-user_*.deb)" "$qemu_unpacked"
mkdir -p "$root.new/qemu" && cp "$qemu_unpacked/usr/bin/qemu-i386" "$root.new/qemu/qemu-i386"
rm -rf "$qemu_unpacked"

# What libwine's maintainer script does: zlib1.dll from libz-mingw-w64, marked as a builtin.
in="$root.new/usr/i686-w64-mingw32/lib/zlib1.dll"
out="$root.new/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
{ head -c 64 "$in"; printf 'Wine builtin DLL'; printf '\0%.0s' $(seq 16); tail -c +97 "$in"; } >"$out"

# Under qemu -L, the root's own files shadow the system's: the ODBC drivers stay the system's
# registrations (a driver named without a path is looked for in the i386 driver folder).
rm -f "$root.new/etc/odbcinst.ini" "$root.new/etc/odbc.ini"

# The root's own library cache: i386 programs under qemu would otherwise read the system's, and
# the dynamic loader's directory checks (run on the system's folders, not the root's) drop
# /lib/i386-linux-gnu from its search, so FreeType would miss its zlib.
echo 'include /etc/ld.so.conf.d/*.conf' >"$root.new/etc/ld.so.conf"
ldconfig -r "$root.new"

wine_dir="$root.new/usr/lib/wine"
# The package's wine-preloader is a link to wine-preloader.static; the script takes its place.
mv "$wine_dir/wine-preloader.static" "$wine_dir/wine-preloader-i386"
rm -f "$wine_dir/wine-preloader"
cat >"$wine_dir/wine-preloader" <<'WRAP'
#!/bin/sh
# Wine starts each 32-bit process as "wine-preloader LOADER ARGS...": here, under qemu.
r=$(cd "$(dirname "$0")/../../.." && pwd)
exec "$r/qemu/qemu-i386" -L "$r" "$r/usr/lib/wine/wine-preloader-i386" "$@"
WRAP
chmod +x "$wine_dir/wine-preloader"
cp /usr/lib/wine/wine64 "$wine_dir/wine64"
mkdir -p "$root.new/usr/lib/x86_64-linux-gnu"
ln -s /usr/lib/x86_64-linux-gnu/wine "$root.new/usr/lib/x86_64-linux-gnu/wine"

mkdir -p "$root.new/bin"
cat >"$root.new/bin/wine" <<'WRAP'
#!/bin/sh
# Both halves of Wine: the 64-bit loader of this root, which starts 32-bit programs with the
# root's 32-bit loader; the 32-bit builtin DLLs are found through WINEDLLPATH.
r=$(cd "$(dirname "$0")/.." && pwd)
case ":${WINEDLLPATH:-}:" in
  *":$r/usr/lib/i386-linux-gnu/wine:"*) ;;
  *) export WINEDLLPATH="$r/usr/lib/i386-linux-gnu/wine${WINEDLLPATH:+:$WINEDLLPATH}" ;;
esac
exec "$r/usr/lib/wine/wine64" "$@"
WRAP
chmod +x "$root.new/bin/wine"
echo "$version layout $layout" >"$root.new/.kn-wine32-version"

rm -rf "$root" && mv "$root.new" "$root"
rm -rf "$state/archives"/*.deb "$qemu_state/archives"/*.deb
