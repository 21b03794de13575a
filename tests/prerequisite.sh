# Sourced by the test scripts: require <program>... ends the script unless each is on PATH. Under
# CI (CI=true) a missing one is a failure; elsewhere the script exits 77, which ctest shows as
# skipped (SKIP_RETURN_CODE 77), never as passed.
require() {
  local p missing=()
  for p in "$@"; do command -v "$p" >/dev/null || missing+=("$p"); done
  ((${#missing[@]} == 0)) && return 0
  [[ ${CI:-} == true ]] && { echo "FAIL: ${missing[*]} not installed (under CI a missing prerequisite is a failure)"; exit 1; }
  echo "skipped: ${missing[*]} not installed"
  exit 77
}
