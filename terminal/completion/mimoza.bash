# bash completion for mimoza: its commands, their options, and directories after --dir.
# The words come from the program's own usage lines (`mimoza help COMMAND`), so a command or an
# option added to the program needs no change here.

# _mimoza_usage [COMMAND]: the usage lines of the program, or of one command.
_mimoza_usage() {
  local program=${COMP_WORDS[0]}
  if [ -n "$1" ]; then
    "$program" help "$1" 2>/dev/null | sed -n 's/^usage: //p'
  else
    "$program" --help 2>/dev/null | sed -n 's/^usage: //p; s/^       \(mimoza\)/\1/p'
  fi
}

_mimoza() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local command= i
  COMPREPLY=()
  # The command is the first word after the program's name that is no option.
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --dir | --seed) ((i++)) ;;
      -*) ;;
      *) command=${COMP_WORDS[i]}; break ;;
    esac
  done
  case $prev in
    --dir)
      COMPREPLY=($(compgen -d -- "$cur"))
      return
      ;;
    --seed) return ;;
  esac
  local usage
  if [ -z "$command" ]; then
    usage=$(_mimoza_usage | head -n 1)
  else
    usage=$(_mimoza_usage "$command")
  fi
  if [[ $cur == -* ]]; then
    # "--format=text|json" offers --format=text and --format=json; "[--dir DIR]" offers --dir.
    local words=() option
    for option in $(grep -o -- '--[a-z][a-z-]*\(=[a-z|]*\)\?' <<<"$usage"); do
      if [[ $option == *=* ]]; then
        local name=${option%%=*} value
        local IFS='|'
        for value in ${option#*=}; do words+=("$name=$value"); done
        unset IFS
      else
        words+=("$option")
      fi
    done
    COMPREPLY=($(compgen -W "${words[*]}" -- "$cur"))
  elif [ -z "$command" ]; then
    COMPREPLY=($(compgen -W "$(_mimoza_usage | awk '$2 !~ /^\[/ && NR > 1 {print $2}')" -- "$cur"))
  elif [ "$command" = help ]; then
    COMPREPLY=($(compgen -W "$(_mimoza_usage | awk '$2 !~ /^\[/ && NR > 1 {print $2}')" -- "$cur"))
  fi
}

complete -F _mimoza mimoza
