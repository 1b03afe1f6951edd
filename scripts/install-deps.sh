#!/usr/bin/env bash
# install-deps.sh - makes sure the tools that build and test velmar are here.
#
# Each tool is checked by what it can do, not by the name of a package, so a
# machine that has it from elsewhere (WineHQ's Wine under /opt, a system that
# is not Debian) is left alone. What is missing is installed with apt-get when
# that is allowed: as root, or through sudo without a password. Otherwise the
# script lists the missing tools with their Debian packages and fails.
# Safe to run again; installs nothing when every check passes.
#
# The packages go in with as few calls as work, so that one package apt
# refuses never keeps the rest out: the whole set; else the whole set with
# every package from the release's own suite (-t CODENAME), which keeps a
# package's two architectures on one version when a security update or a
# mirror has reached only one (apt-get upgrade brings the fixes later); else
# the set without the 32-bit packages, the same two ways. When only that
# works, or apt knows no 32-bit package, 32-bit is out: the reason is kept
# in build/no-32bit-packages, which scripts/machine.sh reads, and no run
# asks for those packages again until the file is deleted.
#
# VELMAR_NO_INSTALL=1 only checks and lists. VELMAR_RETRY_32BIT=1 deletes
# the decision and tries the 32-bit packages again. VELMAR_32BIT_DECISION
# names another decision file, VELMAR_APT_RETRY_WAIT the seconds before a
# failed apt-get update is tried again (10), VELMAR_OS_RELEASE another
# /etc/os-release.
#
# Sourced, the file only defines its functions; install_deps_main runs it.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/machine.sh"

# need CHECK PACKAGE... - when the shell command CHECK fails, PACKAGE... are
# needed. "a|b" takes the first of the names that apt can install: releases
# name some packages differently.
need() {
  local check=$1
  shift
  (eval "$check") >/dev/null 2>&1 && return 0
  missing_checks+=("$check  (${*//|/ or })")
  missing_packages+=("$@")
}

# ---- checks that are more than one command

# The sanitizer build needs the compiler's ASan and UBSan runtimes.
sanitizers_link() {
  local out
  out=$(mktemp) || return 1
  echo 'int main() { return 0; }' | g++ -x c++ -fsanitize=address,undefined - -o "$out"
  local rc=$?
  rm -f "$out"
  return $rc
}

# The fuzz targets need clang with libFuzzer and its sanitizer runtimes.
fuzzer_links() {
  local out
  out=$(mktemp) || return 1
  echo 'extern "C" int LLVMFuzzerTestOneInput(const char *, unsigned long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$out"
  local rc=$?
  rm -f "$out"
  return $rc
}

# The source (where CMakeLists.txt looks for it), not an installed library:
# the Windows test programs build GoogleTest with MinGW.
gtest_source() {
  [ -f /usr/src/googletest/CMakeLists.txt ]
}

# Succeeds when the wine on PATH is Debian's or Ubuntu's package, which runs
# 32-bit programs only with wine32 and takes its fonts from fonts-wine. Any
# other Wine (WineHQ's under /opt, one built at home, the new WoW64 mode) is
# left as it is: making the prefix (wine-prefix.sh) shows what it can run.
debian_wine() {
  local wine pkg
  wine=$(command -v wine) && command -v dpkg-query &&
    pkg=$(dpkg-query -S "$(readlink -f "$wine")") || return 1
  case ${pkg%%:*} in
    wine | wine64) return 0 ;;
  esac
  return 1
}

installed() {
  dpkg-query -W -f='${Status}' "$1" | grep -q ' installed$'
}

debian_wine_runs_32bit() {
  ! debian_wine || installed wine32:i386
}

debian_wine_has_fonts() {
  ! debian_wine || ls /usr/share/wine/fonts/*.ttf
}

ru_locale() {
  locale -a | grep -qi '^ru_RU\.utf-\?8$'
}

# ---- one line per need: what must work, and the Debian packages that bring it

check_all() {
  missing_checks=()
  missing_packages=()
  check_tools
  [ "$runs_32bit" = 1 ] && check_32bit
  return 0
}

# The 32-bit checks: the three that only a machine running the 32-bit build
# needs, and the only ones that ask for 32-bit packages.
check_32bit() {
  need 'wine --version'                      wine wine32:i386 fonts-wine
  need debian_wine_runs_32bit                wine32:i386
  # 32-bit Wine loads libcups.so.2 itself and lists every queue as a printer.
  need 'ls /usr/lib/i386-linux-gnu/libcups.so.2' 'libcups2:i386|libcups2t64:i386'
}

check_tools() {
  need 'cmake --version'                     cmake
  need 'make --version'                      make
  need 'g++ --version && gcc --version'      g++
  need sanitizers_link                       g++
  need gtest_source                          googletest
  need fuzzer_links                          clang libclang-rt-dev
  need 'i686-w64-mingw32-g++ --version'      'g++-mingw-w64-i686-posix|g++-mingw-w64-i686' mingw-w64-i686-dev
  need 'i686-w64-mingw32-windres --version'  binutils-mingw-w64-i686
  # The 64-bit build of the same sources is tested on every machine.
  need 'x86_64-w64-mingw32-g++ --version'    'g++-mingw-w64-x86-64-posix|g++-mingw-w64-x86-64' mingw-w64-x86-64-dev
  need 'x86_64-w64-mingw32-windres --version' binutils-mingw-w64-x86-64
  need '"$(velmar_wine64_loader)" --version' wine64 wine fonts-wine
  need 'ls /usr/lib/x86_64-linux-gnu/libcups.so.2' 'libcups2|libcups2t64'
  need debian_wine_has_fonts                 fonts-wine
  need 'Xvfb -help'                          xvfb
  need 'command -v xvfb-run && command -v xauth' xvfb xauth
  need ru_locale                             locales
  need 'command -v flock'                    util-linux
  need 'timeout --version && od --version'   coreutils
  need 'cmp --version'                       diffutils
  need "printf 'я' | iconv -f UTF-8 -t CP1251" libc-bin
  need 'xxd -v'                              'xxd|vim-common'
  need 'python3 --version'                   python3
  # CUPS: the tests start a server of their own.
  need 'test -x /usr/sbin/cupsd'             cups-daemon
  need 'command -v lpadmin && command -v lpstat && command -v cupsreject' cups-client
  need 'command -v lpr'                      cups-bsd
  # The help file is compiled with Free Pascal's chmcmd; a test unpacks it.
  need 'command -v chmcmd'                   'fp-utils-3.2.2|fp-utils'
  need 'command -v extract_chmLib'           libchm-bin
  # Drawn jobs: Ghostscript reads the PostScript of Wine's printer driver
  # back as text, and Wine needs a fixed-pitch font with Cyrillic letters.
  need 'command -v gs'                       ghostscript
  need 'ls /usr/share/fonts/truetype/liberation*/LiberationMono-Regular.ttf /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf 2>/dev/null | grep -q .' 'fonts-liberation|fonts-dejavu-core'
}

# ---- who may install

may_install_here() {
  as_root=()
  may_install=1
  if [ "${VELMAR_NO_INSTALL:-0}" = 1 ]; then
    may_install=0
  elif [ "$(id -u)" -eq 0 ]; then
    :
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
  else
    may_install=0
  fi
  command -v apt-get >/dev/null 2>&1 || may_install=0
}

# Prints the missing tools and how to get them, then fails.
give_up() {
  echo "install-deps: these tools are missing or do not work:" >&2
  printf '  - %s\n' "$@" >&2
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: this system has no apt-get; install the equivalents of the Debian packages named above." >&2
  elif [ "$may_install" = 0 ]; then
    local choices first=()
    for choices in "${missing_packages[@]}"; do
      [[ " ${first[*]} " == *" ${choices%%|*} "* ]] || first+=("${choices%%|*}")
    done
    echo "install-deps: installing needs root (or sudo without a password). As root:" >&2
    echo "  apt-get install ${first[*]}" >&2
  fi
  if [[ " $* " == *" ru_locale "* ]]; then
    echo "install-deps: for the locale, put 'ru_RU.UTF-8 UTF-8' in /etc/locale.gen and run locale-gen" >&2
  fi
  echo "install-deps: then run this again." >&2
  exit 1
}

# ---- apt

# Another apt (a fresh machine updating itself) may hold the lock a while.
apt_options=(-q -o DPkg::Lock::Timeout=120)

# A mirror in the middle of a sync fails one list; a few seconds later it is
# often whole again. After a second failure the lists there are will do.
apt_update() {
  "${as_root[@]}" apt-get update "${apt_options[@]}" && return 0
  echo "install-deps: apt-get update failed; trying again in ${VELMAR_APT_RETRY_WAIT:-10} s" >&2
  sleep "${VELMAR_APT_RETRY_WAIT:-10}"
  "${as_root[@]}" apt-get update "${apt_options[@]}" && return 0
  echo "install-deps: apt-get update failed again; trying with the lists there are" >&2
}

# The release's own suite (bookworm, trixie), empty when os-release has none.
release_suite() {
  (. "${VELMAR_OS_RELEASE:-/etc/os-release}" 2>/dev/null && echo "${VERSION_CODENAME:-}")
}

# apt_install [-t SUITE] PACKAGE...: one call, its output shown; when it
# fails, apt_reason is apt's last error line.
apt_install() {
  local log rc
  log=$(mktemp) || return 1
  echo "install-deps: installing $*"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${apt_options[@]}" "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -ne 0 ]; then
    apt_reason=$(grep '^E: ' "$log" | tail -n 1)
    : "${apt_reason:=apt-get install ended with status $rc}"
  fi
  rm -f "$log"
  return "$rc"
}

# apt_install_set PACKAGE...: the set as it is, then from the release's suite.
apt_install_set() {
  apt_install "$@" && return 0
  local suite
  suite=$(release_suite)
  [ -n "$suite" ] || return 1
  echo "install-deps: trying again with every package from $suite itself (apt-get upgrade brings their security fixes later)"
  apt_install -t "$suite" "$@"
}

# The packages the 32-bit checks ask for.
is_32bit_package() {
  case $1 in
    wine32 | wine32:* | *:i386) return 0 ;;
  esac
  return 1
}

# install_packages PACKAGE...: installs them all, or, where the 32-bit ones
# keep the rest out, the rest alone. Then refused_32bit holds apt's reason.
install_packages() {
  apt_install_set "$@" && return 0
  local name rest=() has_32bit=0
  for name in "$@"; do
    if is_32bit_package "$name"; then has_32bit=1; else rest+=("$name"); fi
  done
  [ "$has_32bit" = 1 ] || return 1
  local reason=$apt_reason
  if [ ${#rest[@]} -gt 0 ]; then
    echo "install-deps: trying without the 32-bit packages"
    apt_install_set "${rest[@]}" || return 1
  fi
  refused_32bit=$reason
}

# Keeps that the 32-bit packages cannot be had, says so once, and goes on as
# on a machine that runs no 32-bit program.
leave_32bit_out() {
  local decision
  decision=$(velmar_32bit_decision)
  mkdir -p "$(dirname "$decision")" && echo "$1" >"$decision" ||
    echo "install-deps: cannot write $decision; the next run asks for the 32-bit packages again" >&2
  echo "install-deps: the 32-bit packages cannot be installed ($1); so 32-bit is out: the 32-bit build is checked but not run, and velmar runs as its 64-bit build under wine64"
  echo "install-deps: $decision keeps this; delete it, or set VELMAR_RETRY_32BIT=1, to try them again"
  unset velmar_32bit_answer
  velmar_runs_32bit || runs_32bit=0
}

install_deps_main() {
  may_install_here
  [ "${VELMAR_RETRY_32BIT:-0}" = 1 ] && rm -f "$(velmar_32bit_decision)"

  # Where no 32-bit program can run, or its packages could not be installed
  # before, asking for them again would never help: the 32-bit tree is then
  # built and checked but not run, and velmar runs as its 64-bit build under
  # wine64.
  # It is said when there is something to install, so that a machine with
  # every tool hears it from test.sh and start.sh alone.
  runs_32bit=1
  velmar_runs_32bit || runs_32bit=0

  check_all
  if [ ${#missing_packages[@]} -gt 0 ]; then
    [ "$runs_32bit" = 1 ] ||
      echo "install-deps: $VELMAR_NO_32BIT_REASON; so no wine32: the 32-bit build is checked but not run, and velmar runs as its 64-bit build under wine64"
    [ "$may_install" = 1 ] || give_up "${missing_checks[@]}"

    # Debian's wine32 is an i386 package; dpkg has to know that architecture.
    if [[ " ${missing_packages[*]} " == *:i386* ]] && command -v dpkg >/dev/null 2>&1 &&
        [ "$(dpkg --print-architecture)" != i386 ] &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
      "${as_root[@]}" dpkg --add-architecture i386
    fi
    apt_update

    local choices chosen name names packages=() unknown=() unknown_32bit=()
    for choices in "${missing_packages[@]}"; do
      chosen=""
      IFS='|' read -r -a names <<<"$choices"
      for name in "${names[@]}"; do
        if apt-cache policy "$name" 2>/dev/null | grep -q 'Candidate: [^(]'; then
          chosen=$name
          break
        fi
      done
      if [ -n "$chosen" ]; then
        [[ " ${packages[*]} " == *" $chosen "* ]] || packages+=("$chosen")
      elif is_32bit_package "${names[0]}"; then
        unknown_32bit+=("${choices//|/ or }")
      else
        unknown+=("${choices//|/ or }")
      fi
    done
    [ ${#unknown[@]} -eq 0 ] || echo "install-deps: apt knows no package ${unknown[*]}" >&2

    # Without one of them the others are no use.
    refused_32bit=""
    if [ ${#unknown_32bit[@]} -gt 0 ]; then
      refused_32bit="apt knows no package ${unknown_32bit[*]}"
      local rest=()
      for name in "${packages[@]}"; do
        is_32bit_package "$name" || rest+=("$name")
      done
      packages=("${rest[@]}")
    fi

    local installed=1
    if [ ${#packages[@]} -gt 0 ]; then
      install_packages "${packages[@]}" || { installed=0; echo "install-deps: apt-get install failed" >&2; }
    fi
    # Only when the rest is in place is it the 32-bit packages that failed.
    if [ -n "$refused_32bit" ] && [ "$installed" = 1 ] && [ ${#unknown[@]} -eq 0 ]; then
      leave_32bit_out "$refused_32bit"
    fi
  fi

  # A Russian locale gives Wine the ANSI code page 1251 the program is written for.
  if ! ru_locale >/dev/null 2>&1 && [ "$may_install" = 1 ]; then
    if [ -f /etc/locale.gen ]; then
      "${as_root[@]}" sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
      grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen ||
        echo 'ru_RU.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
      "${as_root[@]}" locale-gen >/dev/null
    fi
    # Ubuntu's locale-gen takes the name; localedef works everywhere.
    ru_locale || "${as_root[@]}" locale-gen ru_RU.UTF-8 >/dev/null 2>&1
    ru_locale || "${as_root[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
  fi

  # Everything is checked again: a package can be installed and still not work.
  check_all
  [ ${#missing_checks[@]} -eq 0 ] || give_up "${missing_checks[@]}"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  install_deps_main
fi
