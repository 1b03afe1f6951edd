# machine.sh - sourced: the one check of whether this machine runs 32-bit
# x86 programs, for install-deps.sh, test.sh, start.sh and the Wine scripts.
#
# velmar_runs_32bit succeeds when it does. It does not when
# VELMAR_NO_32BIT=1 is set (to try the 64-bit path anywhere), or when a tiny
# 32-bit x86 Linux program cannot run: a kernel without 32-bit emulation
# (built without it, or booted with ia32_emulation=0) refuses it with "Exec
# format error", and a virtual machine with no 32-bit mode kills it. Then no
# Wine can run 32-bit Windows programs either, WoW64 included. Nor does it
# when install-deps.sh could not install the 32-bit packages and left its
# decision in build/no-32bit-packages (VELMAR_32BIT_DECISION names another
# file), which holds apt's reason: deleting the file, or VELMAR_RETRY_32BIT=1
# for install-deps.sh, tries the packages again.
# VELMAR_NO_32BIT_REASON says why, in words. The answer is kept for the
# shell that sourced this file.

velmar_runs_32bit() {
  if [ "${VELMAR_NO_32BIT:-0}" = 1 ]; then
    VELMAR_NO_32BIT_REASON="VELMAR_NO_32BIT=1 asks for the 64-bit path"
    return 1
  fi
  if [ -z "${velmar_32bit_answer:-}" ]; then
    local why decision
    decision=$(velmar_32bit_decision)
    if ! why=$(velmar_probe_32bit); then
      velmar_32bit_answer=no
      velmar_32bit_why="this machine cannot run 32-bit x86 programs: its kernel or its virtual machine has no 32-bit mode ($why)"
    elif [ -f "$decision" ]; then
      velmar_32bit_answer=no
      velmar_32bit_why="the 32-bit packages could not be installed ($(head -n 1 "$decision")); delete $decision to try them again"
    else
      velmar_32bit_answer=yes
      velmar_32bit_why=""
    fi
  fi
  VELMAR_NO_32BIT_REASON=$velmar_32bit_why
  [ "$velmar_32bit_answer" = yes ]
}

# The file where install-deps.sh keeps that the 32-bit packages could not be
# installed, with apt's reason.
velmar_32bit_decision() {
  echo "${VELMAR_32BIT_DECISION:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/no-32bit-packages}"
}

# Runs a 32-bit x86 ELF program of 96 bytes that makes the exit system call
# with status 42 through int 0x80. Prints what went wrong when it fails.
velmar_probe_32bit() {
  case $(uname -m) in
    x86_64 | i?86) ;;
    *) echo "the processor is $(uname -m), not x86"; return 1 ;;
  esac
  local dir probe status out
  # Beside the build, not in /tmp, which may be mounted without exec.
  dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build
  mkdir -p "$dir" 2>/dev/null || dir=${TMPDIR:-/tmp}
  probe=$(mktemp "$dir/.probe-i386.XXXXXX") || { echo "cannot write a probe in $dir"; return 1; }
  # ELF header (52 bytes), one loadable segment (32 bytes), then the code:
  # mov eax, 1; mov ebx, 42; int 0x80.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
  printf '\000\000\000\000' >>"$probe"
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
  printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
  printf '\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
  chmod +x "$probe"
  out=$("$probe" 2>&1)
  status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ] && return 0
  case $status in
    126) echo "a 32-bit program does not start: ${out##*: }" ;;
    13[0-9]) echo "a 32-bit program is killed by signal $((status - 128))" ;;
    *) echo "a 32-bit program ends with status $status instead of 42" ;;
  esac
  return 1
}

# The 64-bit Wine loader, called by its own name: Debian's wine wrapper,
# wineboot and winepath prefer the 32-bit loader whenever it is installed.
# VELMAR_WINE64 names another one.
velmar_wine64_loader() {
  if [ -n "${VELMAR_WINE64:-}" ]; then
    echo "$VELMAR_WINE64"
  elif [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  elif command -v wine64 >/dev/null 2>&1; then
    command -v wine64
  else
    echo wine64
  fi
}

# velmar_pe_arch PROGRAM.exe: win64 for an x86-64 Windows program, win32 for
# any other (an i386 one, or a file that cannot be read as one).
velmar_pe_arch() {
  local offset machine
  # e_lfanew, the offset of "PE\0\0", is at 0x3c; the machine field follows.
  offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] && machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  if [ "${machine:-}" = 8664 ]; then echo win64; else echo win32; fi
}

# The project's prefix for VELMAR_WINE_ARCH (win32 unless it says win64):
# the two kinds cannot share one.
velmar_default_wineprefix() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ "${VELMAR_WINE_ARCH:-win32}" = win64 ]; then
    echo "$root/build/wineprefix64"
  else
    echo "$root/build/wineprefix"
  fi
}

# velmar_choose_build WHO: the Windows build this machine runs, in
# velmar_width (32 or 64) and velmar_toolchain (cmake/toolchain-*.cmake);
# for the 64-bit one VELMAR_WINE_ARCH=win64 is exported and WHO says so in
# one line.
velmar_choose_build() {
  if velmar_runs_32bit; then
    velmar_width=32 velmar_toolchain=mingw32
  else
    velmar_width=64 velmar_toolchain=mingw64
    export VELMAR_WINE_ARCH=win64
    echo "$1: $VELMAR_NO_32BIT_REASON; so the 64-bit build of velmar, under wine64"
  fi
}
