# Sourced after scripts/wine-env.sh: the 32-bit prefix run by scripts/wine32 (Wine's 32-bit half
# under qemu where the system's Wine runs no 32-bit programs).
KN_WINEPREFIX32=${KN_WINEPREFIX32:-$KN_ROOT/build/x86/wineprefix32}
export KN_WINEPREFIX32

kn_wine32() { "$KN_ROOT/scripts/wine32" "$@"; }

# The prefix's wineserver, for commands run in its environment.
kn_wineserver32() {
  WINEPREFIX=$KN_WINEPREFIX32 WINEARCH=win32 /usr/lib/wine/wineserver64 "$@"
}

# Creates the 32-bit prefix once (minutes under emulation), then keeps its server and the
# session's services running (wineserver -p): each program start then costs only its own
# emulation, not a new session's wineboot --init. kn_wine32_cleanup stops it.
kn_wine32_init() {
  mkdir -p "$(dirname "$KN_WINEPREFIX32")"
  if [ ! -f "$KN_WINEPREFIX32/system.reg" ] || [ ! -f "$KN_WINEPREFIX32/.update-timestamp" ]; then
    echo "creating the 32-bit Wine prefix $KN_WINEPREFIX32 (several minutes under emulation)"
    kn_wine32 wineboot -i >/dev/null 2>&1 || true
    kn_wineserver32 -w 2>/dev/null || true
  fi
  kn_wineserver32 -p >/dev/null 2>&1 || true
  # The session's boot (wineboot --init, services) once, before any timed test.
  kn_wine32 cmd /c exit >/dev/null 2>&1 || true
}

kn_wine32_cleanup() {
  kn_wineserver32 -k >/dev/null 2>&1 || true
  kn_wineserver32 -w >/dev/null 2>&1 || true
}
