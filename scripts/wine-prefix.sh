# wine-prefix.sh - sourced: the project's private Wine prefix.
#
# Sets WINEPREFIX, WINEDEBUG and a Russian locale (ANSI code page 1251 inside
# Wine), and defines velmar_prefix_ready, which creates the prefix once
# (serialised with flock, so parallel tests may call it).
#
# The prefix is 32-bit. A Wine that cannot make one (built only for the new
# WoW64 mode) gets a 64-bit prefix instead, which still runs the 32-bit
# programs; velmar_prefix_ready says so when it makes it, and
# velmar_prefix_describe tells which kind there is.
#
# VELMAR_WINE_ARCH=win64 is for the 64-bit build: a 64-bit prefix of its own
# (build/wineprefix64), run by the 64-bit loader. Debian's wine wrapper, and
# wineboot and winepath through it, prefer the 32-bit loader whenever it is
# installed, so then WINELOADER names the 64-bit one and a folder put first
# on PATH makes wine, wine64, wineboot and winepath start it.
# VELMAR_WINEPREFIX chooses another prefix directory.

velmar_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$velmar_root/scripts/machine.sh"
export WINEPREFIX="${VELMAR_WINEPREFIX:-$(velmar_default_wineprefix)}"
if [ "${VELMAR_WINE_ARCH:-win32}" = win64 ]; then
  velmar_wine_arch=win64
  WINELOADER=$(velmar_wine64_loader)
  case $WINELOADER in
    */*) ;;
    *) WINELOADER=$(command -v "$WINELOADER" || echo "$WINELOADER") ;;
  esac
  export WINELOADER
  velmar_wine_bin=$velmar_root/build/wine64-bin
  if [ ! -x "$velmar_wine_bin/winepath" ] || ! grep -qF "$WINELOADER" "$velmar_wine_bin/wine" 2>/dev/null; then
    mkdir -p "$velmar_wine_bin"
    for velmar_tool in wine wine64 wine-stable wineboot winepath; do
      case $velmar_tool in
        wineboot | winepath) velmar_line="exec \"\$WINELOADER\" $velmar_tool.exe \"\$@\"" ;;
        *) velmar_line="exec \"\$WINELOADER\" \"\$@\"" ;;
      esac
      # Written aside and moved: tests running side by side may get here.
      printf '#!/bin/sh\n# made by scripts/wine-prefix.sh: the 64-bit Wine loader\n: "${WINELOADER:=%s}"\nexport WINELOADER\n%s\n' \
        "$WINELOADER" "$velmar_line" >"$velmar_wine_bin/.$velmar_tool.$$"
      chmod +x "$velmar_wine_bin/.$velmar_tool.$$"
      mv -f "$velmar_wine_bin/.$velmar_tool.$$" "$velmar_wine_bin/$velmar_tool"
    done
    unset velmar_tool velmar_line
  fi
  case ":$PATH:" in
    *":$velmar_wine_bin:"*) ;;
    *) export PATH="$velmar_wine_bin:$PATH" ;;
  esac
else
  velmar_wine_arch=win32
fi
# The kind of prefix is fixed when it is made; an inherited WINEARCH would
# only make Wine refuse a prefix of the other kind.
unset WINEARCH
export WINEDEBUG=-all
# The locale is for Wine and the other programs started from here, which
# take it up afresh. The shell that sources this file may have started
# before install-deps.sh made the locale, and glibc then keeps failing to
# load it in that process: bash would warn at the assignment although every
# program it starts can use the locale. So the check asks a new process, and
# the shell's own complaint is not shown.
if [ "$(LC_ALL=ru_RU.UTF-8 locale charmap 2>/dev/null)" = UTF-8 ]; then
  { export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8; } 2>/dev/null
fi

velmar_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$WINEPREFIX/.velmar-ready" ] && exit 0
    local log=$WINEPREFIX.boot.log made_here=0 arch=win32
    [ -e "$WINEPREFIX" ] || made_here=1
    # No Mono or Gecko: nothing here needs them, and there is no network.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ "$velmar_wine_arch" = win64 ]; then
      arch=win64-native
      if ! WINEARCH=win64 wineboot -i >"$log" 2>&1; then
        echo "wine-prefix: $("$WINELOADER" --version 2>/dev/null || echo "$WINELOADER") cannot make a" \
             "64-bit prefix in $WINEPREFIX. Its log, $log:" >&2
        tail -n 15 "$log" >&2
        wineserver -k 2>/dev/null
        [ "$made_here" = 0 ] || rm -rf -- "$WINEPREFIX"
        exit 1
      fi
    elif ! WINEARCH=win32 wineboot -i >"$log" 2>&1; then
      wineserver -k 2>/dev/null
      # Only a prefix this call began is removed; never one found here.
      [ "$made_here" = 0 ] || rm -rf -- "$WINEPREFIX"
      arch=win64
      # A 64-bit prefix is only as good as its 32-bit side: cmd.exe from
      # syswow64 must run and hand back its exit code.
      if ! WINEARCH=win64 wineboot -i >>"$log" 2>&1 ||
          { wine 'C:\windows\syswow64\cmd.exe' /c exit 7 >>"$log" 2>&1; [ $? -ne 7 ]; }; then
        echo "wine-prefix: $(wine --version 2>/dev/null || echo wine) cannot run 32-bit programs:" \
             "neither a 32-bit nor a 64-bit (WoW64) prefix works in $WINEPREFIX. Its log, $log:" >&2
        tail -n 15 "$log" >&2
        wineserver -k 2>/dev/null
        [ "$made_here" = 0 ] || rm -rf -- "$WINEPREFIX"
        exit 1
      fi
      echo "wine-prefix: a 32-bit prefix cannot be made with $(wine --version) (WINEARCH=win32 wineboot" \
           "failed); using a 64-bit (WoW64) prefix in $WINEPREFIX, where the programs still run as 32-bit" >&2
    fi
    # A crash shows as an exit status, never as a dialog that waits.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    echo "$arch" >"$WINEPREFIX/.velmar-ready"
  ) 9>"$WINEPREFIX.lock"
}

# One line: the Wine in use and the kind of prefix.
velmar_prefix_describe() {
  local arch
  arch=$(cat "$WINEPREFIX/.velmar-ready" 2>/dev/null)
  case $arch in
    win64) arch="64-bit (WoW64: the programs run as 32-bit)" ;;
    win64-native) arch="64-bit, for the 64-bit build, loader $WINELOADER" ;;
    *) arch="32-bit" ;;
  esac
  echo "$(wine --version 2>/dev/null), prefix $WINEPREFIX, $arch"
}
