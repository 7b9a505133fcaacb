# Bash completion for velmorctl. Commands and options are read from the program's own --help, so the
# completion always knows exactly the commands and options of the velmorctl it completes for.

# Prints the option lines of a help text as "OPTION VALUE" (VALUE empty for a flag).
_velmorctl_options() {
  local line option value
  while IFS= read -r line; do
    [[ $line =~ ^\ +(--[a-z][a-z-]*)(\ ([A-ZÄÖÜ][A-ZÄÖÜ]*))? ]] || continue
    option=${BASH_REMATCH[1]}
    value=${BASH_REMATCH[3]}
    printf '%s %s\n' "$option" "$value"
  done
}

_velmorctl() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} program=${COMP_WORDS[0]}
  local command="" word i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ $word != -* ]]; then
      command=$word
      break
    fi
  done
  COMPREPLY=()

  if [[ -z $command ]]; then
    local help
    help=$("$program" --help 2>/dev/null) || return 0
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$(_velmorctl_options <<<"$help" | cut -d' ' -f1)" -- "$cur"))
    else
      # The command list: the indented lines under "Befehle:" up to the next blank line.
      local commands
      commands=$(sed -n '/^Befehle:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$help")
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return 0
  fi

  local help options
  help=$("$program" "$command" --help 2>/dev/null) || return 0
  options=$(_velmorctl_options <<<"$help")
  # The word after an option that takes a value: folders for a folder or path, nothing to offer for a
  # text or a number.
  local option value
  while read -r option value; do
    [[ $option == "$prev" && -n $value ]] || continue
    case $value in
      ORDNER | PFAD | VERZEICHNIS) COMPREPLY=($(compgen -d -- "$cur")) ;;
    esac
    return 0
  done <<<"$options"

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$(cut -d' ' -f1 <<<"$options") --help" -- "$cur"))
  elif [[ $help =~ velmorctl\ $command\ \[?(ORDNER|VERZEICHNIS|PFAD) ]]; then
    # A command whose arguments are folders ("velmorctl symbols ORDNER", "velmorctl size ORDNER..."):
    # folders of this machine.
    COMPREPLY=($(compgen -d -- "$cur"))
  elif [[ $help =~ velmorctl\ $command\ \[?ID ]]; then
    # A transfer of the journal ("velmorctl undo ID"): the ids that "velmorctl journal" lists first.
    COMPREPLY=($(compgen -W "$("$program" journal 2>/dev/null | awk '/^[0-9]/ {print $1}')" -- "$cur"))
  fi
  return 0
}
complete -o filenames -F _velmorctl velmorctl
