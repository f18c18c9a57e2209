# bash completion for plughost
_plughost() {
    local cur prev command
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    command=${COMP_WORDS[1]}

    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "info render bench validate list --help --version" -- "$cur"))
        return
    fi

    case $prev in
        -o|--output|--automate) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --mode)
            if [ "$command" = bench ]; then
                COMPREPLY=($(compgen -W "replace accumulate both" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "replace accumulate" -- "$cur"))
            fi
            return ;;
        --format) COMPREPLY=($(compgen -W "float pcm16 pcm24 flac vorbis" -- "$cur")); return ;;
        --signal) COMPREPLY=($(compgen -W "noise saw impulse sine:" -- "$cur")); return ;;
        --seconds|--rate|--channel|--tail|--block|--program|--param|--timeout) return ;;
    esac

    local options
    case $command in
        info) options="--json --program --param --help" ;;
        render) options="--output --signal --seconds --rate --channel --tail --block --mode
                         --program --param --automate --format --quiet --help" ;;
        bench) options="--block --seconds --rate --mode --json --program --param --help" ;;
        validate) options="--timeout --json --help" ;;
        list) options="--json --help"
              [[ $cur != -* ]] && { COMPREPLY=($(compgen -d -- "$cur")); return; } ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _plughost plughost
