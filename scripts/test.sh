#!/usr/bin/env bash
# The whole test run: install what is missing, build every flavour, run every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
status=0
(cd "$root/build/native" && ctest --output-on-failure -j 2) || status=1
if [[ "${ZANDREL_NATIVE_ONLY:-0}" != 1 ]]; then
  (cd "$root/build/mingw64" && ctest --output-on-failure) || status=1
fi
exit $status
