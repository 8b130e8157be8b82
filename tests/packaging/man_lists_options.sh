#!/bin/sh
# Every option that PROGRAM --help (and PROGRAM COMMAND --help) lists appears in its man page,
# and --version prints VERSION. Usage: man_lists_options.sh PROGRAM PAGE VERSION
set -eu
program=$1 page=$2 version=$3

help=$("$program" --help)
commands=$(printf '%s\n' "$help" | sed -n '/^Commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p')
for command in $commands; do
    help="$help
$("$program" "$command" --help)"
done
options=$(printf '%s\n' "$help" | grep -E '^[[:space:]]+-' | grep -oE '(^|[ ,])--?[A-Za-z][A-Za-z0-9-]*' |
    tr -d ' ,' | sort -u)
[ -n "$options" ] || { echo "no options found in $program --help"; exit 1; }

text=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page")
missing=""
for option in $options; do
    printf '%s\n' "$text" | grep -qFw -e "$option" || missing="$missing $option"
done
[ -z "$missing" ] || { echo "$page lacks:$missing"; exit 1; }

"$program" --version | grep -qx "[a-z-]* $version" || { echo "$program --version is not $version"; exit 1; }
