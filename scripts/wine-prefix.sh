# wine-prefix.sh - sourced: the project's private 32-bit Wine prefix.
#
# Sets WINEPREFIX, WINEARCH, WINEDEBUG and a Russian locale (ANSI code page
# 1251 inside Wine), and defines velmar_prefix_ready, which creates the
# prefix once (serialised with flock, so parallel tests may call it).
# VELMAR_WINEPREFIX chooses another prefix directory.

velmar_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${VELMAR_WINEPREFIX:-$velmar_root/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
if locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
fi

velmar_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.velmar-ready" ]; then
      # No Mono or Gecko: nothing here needs them, and there is no network.
      WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || exit 1
      # A crash shows as an exit status, never as a dialog that waits.
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.velmar-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
