#!/usr/bin/env bash
# Installs what building, running and testing need, and fetches the minizip sources.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$here/.cache"

# Both Windows architectures: the x64 and the i686 cross compilers (libz-mingw-w64-dev holds
# zlib for both). Wine's 32-bit half (wine32:i386), which runs 32-bit programs, is not
# installed into the system: it needs a kernel that executes 32-bit Linux programs, which this
# kind of machine lacks, and once installed its loader starts every program, so all of Wine
# fails. scripts/setup-wine32.sh unpacks it and qemu into .cache and runs it under emulation
# instead.
packages=(
  cmake make
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  libz-mingw-w64-dev googletest
  wine wine64 libgnutls30
  xvfb xauth x11-utils xdotool imagemagick
  zip unzip python3 dpkg-dev tzdata bc
  clang libclang-rt-dev zlib1g-dev
  postgresql odbc-postgresql unixodbc
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests reach PostgreSQL through unixODBC (Wine's odbc32 passes its calls there) by the
# driver name a department would use; Debian's package registers it, this only mends a
# registration that is missing.
if ! odbcinst -q -d -n "PostgreSQL Unicode" >/dev/null 2>&1; then
  echo "setup: registering the ODBC driver PostgreSQL Unicode"
  printf '[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode version)\nDriver=psqlodbcw.so\nSetup=libodbcpsqlS.so\n' |
    as_root odbcinst -i -d -r >/dev/null
fi

# Wine's 32-bit half, emulated, where the system has none of its own. Without it the x86 build
# still builds and passes its checks that start no program; ./test.sh says so.
if [ ! -x /usr/lib/wine/wine ] && ! "$here/scripts/setup-wine32.sh"; then
  echo "setup: Wine's 32-bit half could not be set up; the x86 build's programs will not run" >&2
fi

# minizip comes with Debian's zlib source package. The deb-src entries are derived from the
# machine's own configured sources, so no mirror is named here.
minizip="$cache/zlib-src/contrib/minizip"
if [ ! -f "$minizip/unzip.c" ]; then
  srclist=/etc/apt/sources.list.d/knupdater-src.sources
  if ! apt-get source --print-uris zlib >/dev/null 2>&1; then
    echo "setup: adding deb-src entries derived from the configured sources"
    {
      for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && [ "$f" != "$srclist" ] || continue
        # deb822 stanzas: copy each 'Types: deb' stanza as 'Types: deb-src'.
        awk 'BEGIN{RS=""; ORS="\n\n"} /(^|\n)Types:([^\n]*[ \t])?deb([ \t\n]|$)/ {
               gsub(/(^|\n)#[^\n]*/, ""); sub(/^\n+/, ""); sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
      done
      if [ -f /etc/apt/sources.list ]; then
        # one-line entries become one deb822 stanza each
        grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list | while read -r _ rest; do
          set -- $rest
          opts=""; if [[ "$1" == \[* ]]; then opts="$1"; shift; fi
          uri=$1; suite=$2; shift 2
          printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n' "$uri" "$suite" "$*"
          [[ "$opts" == *signed-by=* ]] && printf 'Signed-By: %s\n' "$(sed -E 's/.*signed-by=([^] ]*).*/\1/' <<<"$opts")"
          echo
        done
      fi
    } | as_root tee "$srclist" >/dev/null
    as_root apt-get update -qq
  fi
  rm -rf "$cache/zlib-fetch" && mkdir -p "$cache/zlib-fetch"
  # A mirror may lack the sources of the newest version: try each known version, newest first.
  fetched=""
  for v in $(apt-cache showsrc zlib | awk '/^Version:/ {print $2}' | sort -u -r -V); do
    if (cd "$cache/zlib-fetch" && apt-get source -qq "zlib=$v" >/dev/null 2>&1); then fetched=$v; break; fi
    rm -rf "$cache/zlib-fetch"/*
  done
  [ -n "$fetched" ] || { echo "setup: could not fetch the zlib source package" >&2; exit 1; }
  src=$(find "$cache/zlib-fetch" -mindepth 1 -maxdepth 1 -type d -name 'zlib-*' | head -n 1)
  [ -n "$src" ] && [ -f "$src/contrib/minizip/unzip.c" ] || { echo "setup: zlib source not found" >&2; exit 1; }
  rm -rf "$cache/zlib-src" && mv "$src" "$cache/zlib-src" && rm -rf "$cache/zlib-fetch"
fi
