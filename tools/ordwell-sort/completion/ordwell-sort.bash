# Bash completion for ordwell-sort: its options, and file names for the FILE arguments and the
# output FILE.

_ordwell_sort() {
  local cur="${COMP_WORDS[COMP_CWORD]}"
  local prev="${COMP_WORDS[COMP_CWORD - 1]}"
  COMPREPLY=()

  # A separator is free text, a locale name is the user's to know: nothing to offer.
  case "$prev" in
    -t | --input-separator | -j | --output-separator) return 0 ;;
  esac
  case "$cur" in
    --input-separator=* | --output-separator=* | --locale=*) return 0 ;;
    --output=*)
      cur="${cur#--output=}"
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return 0
      ;;
  esac

  # Options, unless an earlier "--" ended them.
  local i
  local options_ended=0
  for ((i = 1; i < COMP_CWORD; ++i)); do
    [[ "${COMP_WORDS[i]}" == "--" ]] && options_ended=1
  done
  if [[ $options_ended -eq 0 && "$cur" == -* ]]; then
    local options="-o --output= -t --input-separator= -j --output-separator= -z --zero-terminated
                   -u --unique -r --reverse -s --stable -f --ignore-case --locale --locale=
                   -c --check -C --exact -h --help --version"
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    if [[ ${#COMPREPLY[@]} -eq 1 && "${COMPREPLY[0]}" == *= ]]; then
      compopt -o nospace 2>/dev/null
    fi
    return 0
  fi

  if declare -F _filedir >/dev/null; then
    _filedir
  else
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _ordwell_sort ordwell-sort
