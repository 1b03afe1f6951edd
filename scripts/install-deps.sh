#!/usr/bin/env bash
# install-deps.sh - installs what building and testing velmar needs on Debian 12
# (run as root, or with sudo available). Safe to run again.
set -eu

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v i686-w64-mingw32-g++ >/dev/null || need+=(g++-mingw-w64-i686-posix mingw-w64-i686-dev)
command -v i686-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64-i686)
command -v wine >/dev/null || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
command -v Xvfb >/dev/null || need+=(xvfb xauth)
dpkg -s fonts-wine >/dev/null 2>&1 || need+=(fonts-wine)
dpkg -s locales >/dev/null 2>&1 || need+=(locales)
command -v flock >/dev/null || need+=(util-linux)
command -v python3 >/dev/null || need+=(python3)
command -v xxd >/dev/null || need+=(xxd)
command -v clang >/dev/null || need+=(clang)
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null || need+=(libclang-rt-dev)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# A Russian locale gives Wine the ANSI code page 1251 the program is written for.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  $sudo sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
