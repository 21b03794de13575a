#!/usr/bin/env bash
# Configures and builds every flavour: native (tested here), mingw x86_64 and mingw i686 (both
# tested under Wine, the i686 one in a 64-bit prefix, as 32-bit hosts run on 64-bit Windows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
configure() {  # dir [cmake args]
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDREL_WERROR=ON "$@" >/dev/null
  cmake --build "$root/build/$dir" -j "$jobs"
}
configure native
if [[ "${ZANDREL_NATIVE_ONLY:-0}" != 1 ]]; then
  configure mingw64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
  configure mingw32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake"
fi
