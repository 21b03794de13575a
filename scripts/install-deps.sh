#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, only what is missing (the
# X packages serve the screenshots and the keyboard tests, fp-utils compiles the help file,
# wine32 from the i386 architecture runs the x86 build, wixl and msitools make and read the
# Windows installers, dpkg-dev, lintian and man-db make, check and read the Debian package,
# ser2net serves the network port's tests, picocom and tmux run zandrel as a terminal program's
# file-transfer command).
set -euo pipefail
packages=(cmake make g++ googletest libgtest-dev socat lrzsz ser2net picocom tmux clang libclang-rt-14-dev
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 wine libwine-dev
          xvfb x11-utils imagemagick xdotool fp-utils wine32:i386 wixl msitools dpkg-dev lintian man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
