# bash completion for tauravat(1) and kestra-emu(1). Installed under both names in
# /usr/share/bash-completion/completions, where bash-completion loads it on first use.
#
# Commands and options are read from the programs' own --help, so the completion knows
# what the installed program knows; only the values of a few options are listed here.

# The options of a --help text, one a line, a value-taking one followed by " =" (its
# help shows a value name: "--port PORT", "-p, --port PORT", "--clock \"YYYY..\"").
_tauravat_options_of() {
  "$@" 2>/dev/null | awk '
    /^ +-/ {
      n = split($0, word, /[ ,]+/)
      for (i = 1; i <= n; i++) {
        if (word[i] !~ /^--?[a-zA-Z0-9]/) continue
        valued = (i < n && word[i + 1] ~ /^[A-Z"]/)
        print word[i] (valued ? " =" : "")
      }
    }'
}

# Serial ports: device paths, and the COM numbers `tauravat ports` maps to them, plus the
# COM numbers lent to devices through TAURAVAT_COM<n>.
_tauravat_ports() {
  local program=$1 device name
  {
    for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/*; do
      [[ -e $device ]] && printf '%s\n' "$device"
    done
    "$program" ports 2>/dev/null | grep -oE '\bCOM[0-9]+\b'
    for name in $(compgen -e TAURAVAT_COM); do
      [[ $name =~ ^TAURAVAT_COM([0-9]+)$ ]] && printf 'COM%s\n' "${BASH_REMATCH[1]}"
    done
  } | sort -uV
}

# Offers the words of $1 that start with the word being completed.
_tauravat_offer() {
  local IFS=$'\n'
  mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -W "$1" -- "$cur")
}

_tauravat_files() {
  compopt -o filenames 2>/dev/null
  mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -- "$cur")
}

_tauravat() {
  local program=$1 cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  # "--port=COM3" reaches us as "--port" "=" "COM3".
  if [[ $cur == "=" ]]; then
    cur=""
  elif [[ $prev == "=" ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi

  local commands command word i
  commands=$("$program" --help 2>/dev/null |
    awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 } on && /^  [a-z]/ { print $1 }')
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word != -* && $'\n'$commands$'\n' == *$'\n'$word$'\n'* ]]; then
      command=$word
      break
    fi
  done

  local options
  if [[ -n $command ]]; then
    options=$(_tauravat_options_of "$program" "$command" --help)
  else
    options=$(_tauravat_options_of "$program" --help)
  fi

  case $prev in
    -p | --port)
      _tauravat_offer "$(_tauravat_ports "$program")"
      [[ $cur == [/.~]* ]] && _tauravat_files
      return ;;
    -b | --speed) _tauravat_offer $'9600\n19200\n28800'; return ;;
    --lang) _tauravat_offer $'pl\nen'; return ;;
    --rate) _tauravat_offer $'A\nB\nC\nD\nE\nF\nG\n+'; return ;;
  esac
  if [[ $'\n'$options$'\n' == *$'\n'"$prev"' ='$'\n'* ]]; then
    return # a value nothing here knows how to offer
  fi

  if [[ $cur == -* ]]; then
    _tauravat_offer "$(printf '%s\n' "$options" | sed 's/ =$//')"
  elif [[ -z $command ]]; then
    _tauravat_offer "$commands"
  elif [[ $command == receipt ]]; then
    _tauravat_offer "-"
    _tauravat_files
  elif [[ $command == write-rates ]]; then
    _tauravat_offer $'reserved\nexempt'
  fi
}

_kestra_emu() {
  local program=$1 cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  local help kinds
  help=$("$program" --help 2>/dev/null)
  # "KIND is nak, silence, wrong-byte, ..." in the help of --fault.
  kinds=$(printf '%s\n' "$help" |
    awk '/KIND is/ { on = 1; sub(/.*KIND is/, "") } on && /^ *--/ { exit } on' |
    grep -oE '\b[a-z]+(-[a-z]+)*\b' | grep -vx 'or')

  # --fault CMD:KIND: ":" splits words for readline, so read the argument from the line.
  local line=${COMP_LINE:0:COMP_POINT}
  local argument=${line##*[[:space:]]} before=${line%[[:space:]]*}
  before=${before##*[[:space:]]}
  if [[ $before == --fault && $argument == *:* && $argument != *:*:* ]]; then
    local IFS=$'\n' prefix=
    [[ $COMP_WORDBREAKS == *:* ]] || prefix=${argument%%:*}:
    mapfile -t COMPREPLY < <(compgen -P "$prefix" -W "$kinds" -- "${argument#*:}")
    return
  fi

  case $prev in
    --model)
      # "rx820a-4 (0), rx820a-6 (1), ..." in the help: the names and their codes.
      _tauravat_offer "$(printf '%s\n' "$help" | grep -oE '[a-z][a-z0-9-]* \([0-9]+' |
        sed -E 's/ \(/\n/')"
      return ;;
    --baud) _tauravat_offer $'9600\n19200\n28800'; return ;;
    --link | --trace | --paper | --snapshot | --control) _tauravat_files; return ;;
    --fault) _tauravat_offer $'any:\n'; return ;;
    --fault-kinds)
      local IFS=$'\n'
      mapfile -t COMPREPLY < <(compgen -P "${cur%"${cur##*,}"}" -W "$kinds" -- "${cur##*,}")
      return ;;
  esac
  local options
  options=$(printf '%s\n' "$help" | _tauravat_options_of cat)
  if [[ $'\n'$options$'\n' == *$'\n'"$prev"' ='$'\n'* ]]; then
    return
  fi
  _tauravat_offer "$(printf '%s\n' "$options" | sed 's/ =$//')"
}

complete -F _tauravat tauravat
complete -F _kestra_emu kestra-emu
