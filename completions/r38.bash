# bash completion for r38
_r38() {
  local cur prev words cword
  _init_completion || return

  local commands="build list extract import export scope help"
  if ((cword == 1)); then
    COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
    return
  fi

  local command=${words[1]} options
  case $command in
    build) options="-o --output -n --name -t --type -l --load -e --exec -p --phase --pad-blanks -h --help" ;;
    list) options="-p --phase --json --channel --hysteresis --polarity -q --quiet -h --help" ;;
    extract) options="-C --directory -n --no-clobber -p --phase --channel --hysteresis --polarity -q --quiet -h --help" ;;
    import) options="-o --output --channel --hysteresis --polarity -q --quiet -h --help" ;;
    export) options="-o --output --rate --baud --shape --bits --phase -q --quiet -h --help" ;;
    scope) options="--svg --channel --hysteresis --polarity -q --quiet -h --help" ;;
    *) return ;;
  esac

  case $prev in
    -p | --phase) COMPREPLY=($(compgen -W "auto normal reverse" -- "$cur")); return ;;
    --polarity) COMPREPLY=($(compgen -W "auto normal inverted" -- "$cur")); return ;;
    -t | --type) COMPREPLY=($(compgen -W "bas iba txt bin auto" -- "$cur")); return ;;
    --shape) COMPREPLY=($(compgen -W "square sine" -- "$cur")); return ;;
    --bits) COMPREPLY=($(compgen -W "8 16 24 32 float" -- "$cur")); return ;;
    -C | --directory) _filedir -d; return ;;
    -o | --output | --svg) _filedir; return ;;
    -n | --name | -l | --load | -e | --exec | --rate | --baud | --channel | --hysteresis) return ;;
  esac

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
    return
  fi
  case $command in
    build) _filedir ;;
    list | extract | scope) _filedir '@(r38|R38|wav|WAV|flac|FLAC|aif|aiff|AIF|AIFF)' ;;
    import) _filedir '@(wav|WAV|flac|FLAC|aif|aiff|AIF|AIFF|ogg|OGG)' ;;
    export) _filedir '@(r38|R38)' ;;
  esac
} &&
  complete -F _r38 r38
