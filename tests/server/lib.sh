# Shared by the Wine tests of zandrel.dll (sourced): the private prefix, Windows paths, the
# checks and the fake machine the object finds at load.
#   source lib.sh <wine-run.sh> <prefix dir> <zandrel.dll>
wine_run=$1 prefix=$2 dll=$3
"$wine_run" "$prefix" --prepare || exit 1
export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../cmake/wine-loader.sh"
wine_bits_of "$dll"

winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
dll_win=$(winpath "$dll")

failures=0
check() {  # what expected actual
  if [[ $2 == "$3" ]]; then
    echo "ok   $1"
  else
    echo "FAIL $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}
verdict() {
  if ((failures)); then echo "$failures check(s) failed"; exit 1; fi
  echo "ALL PASSED"
}

# The default text (name omitted or empty) or a named value of a key; "(missing)" when it is not
# there.
reg_value() {  # key [name]
  local out
  if [[ -z ${2:-} ]]; then out=$(wine reg query "$1" /ve 2>/dev/null) || { echo "(missing)"; return; }
  else out=$(wine reg query "$1" /v "$2" 2>/dev/null) || { echo "(missing)"; return; }; fi
  printf '%s\n' "$out" | tr -d '\r' | awk -F'    ' 'NF >= 4 { print $4; exit }'
}
reg_has_key() { wine reg query "$1" >/dev/null 2>&1 && echo yes || echo no; }

# The machine the object sees when it loads: the serial ports COM1 (Wine's own), COM3 and COM4,
# and with "modems" two modems (the second attached to COM4), without them none; a user who never
# saved settings. registered: the same, with zandrel.dll registered.
machine() {  # modems|none
  local serial='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' services='HKLM\SYSTEM\CurrentControlSet\Services\Modem'
  wine reg add "$serial" /v 'Zandrel3' /d COM3 /f >/dev/null
  wine reg add "$serial" /v 'Zandrel4' /d COM4 /f >/dev/null
  wine reg delete "$services" /f >/dev/null 2>&1
  wine reg delete 'HKCU\Software\Harbwick' /f >/dev/null 2>&1
  local class='{4D36E96D-E325-11CE-BFC1-08002BE10318}' i name=("Optima 288 V.34" "Optima 336 V.34")
  if [[ $1 == modems ]]; then
    for i in 0 1; do
      wine reg add "$services\\Enum" /v "$i" /d "ROOT\\MODEM\\000$i" /f >/dev/null
      wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\MODEM\\000$i" /v FriendlyName /d "${name[$i]}" /f >/dev/null
      wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\MODEM\\000$i" /v Driver /d "$class\\000$i" /f >/dev/null
      wine reg add "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\$class\\000$i" /v AttachedTo /d "COM$((i + 3))" /f >/dev/null
    done
    wine reg add "$services\\Enum" /v Count /t REG_DWORD /d 2 /f >/dev/null
  fi
}
registered() {  # modems|none
  machine "$1"
  wine regsvr32 /s "$dll_win" || { echo "FAIL regsvr32 exited $?"; exit 1; }
}

# Runs a script under cscript. cscript shows nothing of an unhandled error and exits 0, so a run
# passes only when its last line is "ALL PASSED" and the script host reported no script error.
run_script() {  # file [args...]
  local file=$1 out err rc last; shift
  out=$(mktemp) err=$(mktemp)
  WINEDEBUG=-all,fixme+wscript wine cscript //nologo "$(winpath "$file")" "$@" >"$out" 2>"$err"
  rc=$?
  tr -d '\r' <"$out"
  grep -v 'ignored L"nologo" switch' "$err" >&2
  last=$(tr -d '\r' <"$out" | grep -v '^$' | tail -1)
  if [[ $rc != 0 || $last != "ALL PASSED" ]] || grep -q OnScriptError "$err"; then
    echo "FAIL $(basename "$file"): exit $rc, last line '$last'$(grep -q OnScriptError "$err" && echo ', a script error')"
    failures=$((failures + 1))
  fi
  rm -f "$out" "$err"
}
