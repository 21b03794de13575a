#!/usr/bin/env bash
# Builds what users install into build/dist/: the Debian package of zandrel (CPack, from
# build/native) and the Windows installers zandrel-VERSION-x64.msi and zandrel-VERSION-x86.msi
# (wixl, from build/mingw64 and build/mingw32), all of the CMake project's version. Builds the
# folders first (scripts/build.sh) unless ZANDREL_PACKAGE_BUILT=1 says they are built;
# ZANDREL_NATIVE_ONLY=1 leaves the installers out, as it leaves out the mingw builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/build/dist
[[ ${ZANDREL_PACKAGE_BUILT:-0} == 1 ]] || "$root/scripts/build.sh"
rm -rf "$dist"
mkdir -p "$dist"
(cd "$root/build/native" && cpack -G DEB -B "$dist/cpack" >/dev/null)
mv "$dist"/cpack/*.deb "$dist/"
rm -rf "$dist/cpack"
if [[ ${ZANDREL_NATIVE_ONLY:-0} != 1 ]]; then
  for flavour in mingw64 mingw32; do
    "$root/packaging/build-msi.sh" "$root/build/$flavour" "$dist" >/dev/null
  done
fi
ls -l "$dist"
