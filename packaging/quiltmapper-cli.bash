# bash completion for quiltmapper-cli: commands, options and their choices, and file names
# by extension. It reads the tool's own --help, so it offers what the installed tool takes.

_quiltmapper_cli_files()
{
    local cur=$1 pattern=$2
    compopt -o filenames 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$cur"))
    COMPREPLY+=($(compgen -f -X "!*.@($pattern)" -- "$cur"))
}

_quiltmapper_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local help
    help=$("${COMP_WORDS[0]}" --help 2>/dev/null) || return
    local restore
    restore=$(shopt -p extglob)
    shopt -s extglob
    COMPREPLY=()
    local pictures='bmp|BMP|png|PNG|jpg|JPG|jpeg|JPEG|gif|GIF|webp|WEBP|ase|aseprite'

    # A command line reads "  name ARG ARG [--option VALUE]"; its description follows,
    # indented further, up to the next command.
    local commands
    commands=$(sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' <<<"$help")
    local command='' i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == --plugins ]]; then
            ((i++))
        elif [[ $word != -* ]] && grep -qx -- "$word" <<<"$commands"; then
            command=$word
            break
        fi
    done

    if [[ $prev == --plugins ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        eval "$restore"
        return
    fi
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --plugins' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        eval "$restore"
        return
    fi

    local block synopsis
    block=$(awk -v c="$command" '/^[^ ]/ { on = 0 } /^  [a-z]/ { on = ($1 == c) } on' <<<"$help")
    synopsis=$(head -n 1 <<<"$block" | sed 's/\[.*//')
    # An option followed by a word in capitals or by choices (a|b) takes a value.
    local valued choices
    valued=$(grep -o -- '--[a-z-]*[ =][A-Za-z0-9|]*' <<<"$block" | grep -v -- '[ =][a-z]*$' |
             sed 's/[ =].*//' | sort -u)
    if grep -qx -- "$prev" <<<"$valued"; then
        choices=$(grep -o -- "$prev[ =][a-z0-9]*|[a-z0-9|]*" <<<"$block" | head -n 1 | sed 's/^[^ =]*[ =]//; s/|/ /g')
        if [[ -n $choices ]]; then
            COMPREPLY=($(compgen -W "$choices" -- "$cur"))
        elif [[ $prev == --parts* ]]; then
            _quiltmapper_cli_files "$cur" "$pictures"
        fi
        eval "$restore"
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$(grep -o -- '--[a-z][a-z-]*' <<<"$block" | sort -u)" -- "$cur"))
        eval "$restore"
        return
    fi

    # Which argument this is: words after the command that are neither options nor their
    # values.
    local position=0 after=0
    for ((i = i + 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $after -eq 0 && $word == -- ]]; then
            after=1
        elif [[ $after -eq 0 && $word == -* ]]; then
            [[ $word != *=* ]] && grep -qx -- "$word" <<<"$valued" && ((i++))
        else
            ((position++))
        fi
    done
    local names
    read -r -a names <<<"$synopsis"
    case ${names[position + 1]} in
    *.tmx\|*.csv) _quiltmapper_cli_files "$cur" 'tmx|TMX|csv|CSV' ;;
    *.tmx) _quiltmapper_cli_files "$cur" 'tmx|TMX' ;;
    *PICTURE* | SHEET) _quiltmapper_cli_files "$cur" "$pictures" ;;
    OUT) [[ $command == render ]] && _quiltmapper_cli_files "$cur" "$pictures" ||
        _quiltmapper_cli_files "$cur" 'mpd|MPD' ;;
    MAP | IN | *.mpd) _quiltmapper_cli_files "$cur" 'mpd|MPD' ;;
    esac
    eval "$restore"
}
complete -F _quiltmapper_cli quiltmapper-cli
