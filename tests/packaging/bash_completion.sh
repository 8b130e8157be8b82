# The bash completion of tavorin-cli, driven as bash drives it.
# Usage: bash_completion.sh FILE TAVORIN-CLI
set -u
source "$1"
cli=$2
cd "$(mktemp -d)" && touch report.pdf
failed=0

# expect "WORDS TYPED SO FAR" "the completions, sorted"
expect() {
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _tavorin_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
    if [[ $got != "$2" ]]; then
        echo "'$1': got '$got', expected '$2'"
        failed=1
    fi
}

expect "tavorin-cli en" "encrypt encrypt-file"
expect "tavorin-cli --v" "--version"
expect "tavorin-cli decrypt -c " "Blowfish DES Gost Skipjack Twofish auto"
expect "tavorin-cli encrypt --cipher a" ""
expect "tavorin-cli decrypt -i msg -p a" "auto"
expect "tavorin-cli encrypt --encoding u" "utf-8"
expect "tavorin-cli encrypt --w" "--wrap"
expect "tavorin-cli decrypt-file --f" "--force"
expect "tavorin-cli encrypt-file -c Twofish rep" "report.pdf"
expect "tavorin-cli encrypt --key-file rep" "report.pdf"
# Each command offers exactly the long options its --help lists.
for command in ciphers encrypt decrypt encrypt-file decrypt-file; do
    listed=$("$cli" "$command" --help | grep -E '^[[:space:]]+-' | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
    expect "tavorin-cli $command --" "$(paste -sd ' ' <<<"$listed")"
done
exit $failed
