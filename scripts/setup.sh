#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a Debian 12 machine (run as root).
# Idempotent: when every package is already present it returns in about a second.
set -euo pipefail

native=(cmake ninja-build make g++ clang libclang-rt-14-dev googletest
        g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
        wine wine64 xvfb xauth x11-utils imagemagick giflib-tools libgif-dev libstb-dev
        binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 file python3)
foreign=(wine32:i386)

missing=()
for p in "${native[@]}" "${foreign[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The MinGW compilers default to the win32 thread model, which lacks std::thread/std::mutex;
# the posix variants carry them (winpthreads is linked statically, see the toolchain files).
for arch in x86_64 i686; do
  for tool in gcc g++; do
    alt=/usr/bin/$arch-w64-mingw32-$tool-posix
    [ -x "$alt" ] && update-alternatives --set $arch-w64-mingw32-$tool "$alt" >/dev/null 2>&1 || true
  done
done
echo "setup: installed ${missing[*]}"
