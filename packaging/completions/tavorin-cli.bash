# bash completion for tavorin-cli

_tavorin_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        -*) ;;
        *) command=${COMP_WORDS[i]}; break ;;
        esac
    done
    COMPREPLY=()

    local auto=""
    [[ $command == decrypt* ]] && auto=auto
    case $prev in
    -c | --cipher) COMPREPLY=($(compgen -W "Blowfish DES Gost Skipjack Twofish $auto" -- "$cur")); return ;;
    -p | --passes) COMPREPLY=($(compgen -W "$auto" -- "$cur")); return ;;
    --encoding) COMPREPLY=($(compgen -W "windows-1252 utf-8" -- "$cur")); return ;;
    --key-env) COMPREPLY=($(compgen -e -- "$cur")); return ;;
    --wrap) return ;;
    -i | --input | -o | --output | --key-file)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    esac

    local options="--help"
    case $command in
    "")
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "ciphers encrypt decrypt encrypt-file decrypt-file help" -- "$cur"))
        fi
        return
        ;;
    encrypt) options+=" --cipher --passes --encoding --input --output --force --wrap --key-file --key-env" ;;
    decrypt) options+=" --cipher --passes --encoding --input --output --force --verbose --key-file --key-env" ;;
    encrypt-file) options+=" --cipher --bare --force --key-file --key-env" ;;
    decrypt-file) options+=" --cipher --bare --force --verbose --key-file --key-env" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command == *-file ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -F _tavorin_cli tavorin-cli
