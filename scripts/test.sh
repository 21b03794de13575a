#!/usr/bin/env bash
# The whole test run: install what is missing, build every flavour, run every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
status=0
# The packages, built once; the suites install them as users do.
ZANDREL_PACKAGE_BUILT=1 "$root/scripts/package.sh" >/dev/null || status=1
(cd "$root/build/native" && ctest --output-on-failure -j 2) || status=1
# A few seconds of each fuzz target (without clang skipped, exit 77, or under CI failed);
# FUZZ_SECONDS=0 leaves it out.
if [[ "${FUZZ_SECONDS:-5}" != 0 ]]; then
  rc=0
  FUZZ_SECONDS=${FUZZ_SECONDS:-5} "$root/scripts/fuzz.sh" || rc=$?
  ((rc == 0 || rc == 77)) || status=1
fi
if [[ "${ZANDREL_NATIVE_ONLY:-0}" != 1 ]]; then
  (cd "$root/build/mingw64" && ctest --output-on-failure) || status=1
  (cd "$root/build/mingw32" && ctest --output-on-failure) || status=1
fi
exit $status
