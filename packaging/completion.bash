# bash completion for zandrel, installed as /usr/share/bash-completion/completions/zandrel.
# Options are listed once below with what their value is; --port offers - (standard input and
# output) and what "zandrel ports" lists. Works with or without the bash-completion package's helpers.

_zandrel_flags='--answer --help --host --log-append --no-carrier-detect --pulse --quiet --version'
# Options that take a value, and what to offer for it: a word list, "@file", "@dir",
# "@port" or "" (nothing to offer).
declare -A _zandrel_values=(
  [--port]=@port [--baud]='9600 19200 38400 57600 115200' [--protocol]='xmodem xmodem1k ymodem zmodem acknak'
  [--flow]='none xonxoff rtscts' [--max-errors]='' [--overwrite]='1 2 3 4 5 6 7'
  [--send-timeout]='' [--recv-timeout]='' [--window]='0 1024 2048 4096'
  [--crash-recovery]='1 2 3' [--path-mode]='0 1 2' [--dir]=@dir [--log]=@file [--dial]=''
  [--modem-init]='' [--response-timeout]='' [--modem-set]=''
)

_zandrel_ports() {
  "${COMP_WORDS[0]}" ports 2>/dev/null | awk '/^Ports:/ { on = 1; next } /^[^ ]/ { on = 0 } on && $1 != "(none" { print $1 }'
}

_zandrel() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} offer
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W 'send receive ports --help --version' -- "$cur")
    return
  fi
  if [[ -v "_zandrel_values[$prev]" ]]; then
    offer=${_zandrel_values[$prev]}
    case $offer in
      @port) mapfile -t COMPREPLY < <(compgen -W "- $(_zandrel_ports)" -- "$cur") ;;
      @dir) mapfile -t COMPREPLY < <(compgen -d -- "$cur") ;;
      @file) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
      *) mapfile -t COMPREPLY < <(compgen -W "$offer" -- "$cur") ;;
    esac
    return
  fi
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$_zandrel_flags ${!_zandrel_values[*]}" -- "$cur")
  elif [[ ${COMP_WORDS[1]} != ports ]]; then
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -o filenames -F _zandrel zandrel
