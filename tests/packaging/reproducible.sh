#!/usr/bin/env bash
# What makes two builds of the packages differ, looked for in one build (scripts/package runs
# it; scripts/package --twice compares whole builds): a time in the archives other than
# SOURCE_DATE_EPOCH, or an owner but root; the source or build folder's path in a file of the
# packages or in a program before it was stripped (its build id is taken over the debug
# information); a resource file's own time in the table of Qt's resource compiler.
# Usage: reproducible.sh SOURCE BUILD DEB...
set -euo pipefail
source=$1 build=$2
shift 2
: "${SOURCE_DATE_EPOCH:?}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() { echo "reproducible.sh: $*" >&2; failed=1; }
epoch=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T')

for deb in "$@"; do
  deb=$(realpath "$deb")
  name=$(basename "$deb")
  mkdir "$scratch/ar"
  (cd "$scratch/ar" && ar x "$deb")
  for member in $(ar t "$deb"); do
    # ar prints "mode uid/gid size Mon dd hh:mm yyyy name", to the minute
    set -- $(TZ=UTC ar tv "$deb" "$member")
    [ "$2" = 0/0 ] || fail "$name: $member is owned by $2"
    [ "$(TZ=UTC date -d "$4 $5 $7 $6" +%s)" = $((SOURCE_DATE_EPOCH - SOURCE_DATE_EPOCH % 60)) ] ||
      fail "$name: $member is dated $4 $5 $6 $7"
    case $member in *.tar*)
      TZ=UTC tar -tv --full-time --numeric-owner -f "$scratch/ar/$member" |
        awk -v epoch="$epoch" -v deb="$name" -v tar="$member" '
          $2 != "0/0" { print deb ": " tar ": " $6 " is owned by " $2; bad = 1 }
          $4 " " $5 != epoch { print deb ": " tar ": " $6 " is dated " $4 " " $5; bad = 1 }
          END { exit bad }' >&2 || failed=1 ;;
    esac
  done
  rm -r "$scratch/ar"
  dpkg-deb -x "$deb" "$scratch/files"
done

# The programs as linked, debug information included, and every file packed.
for file in $(grep -rlF -e "$source" -e "$build" "$scratch/files" "$build/cli/tavorin-cli" \
  "$build/desktop/qt/tavorin" 2>/dev/null); do
  fail "${file#"$scratch/files"} holds the path of the source or build folder"
done

# Each file's entry in the resource table: 14 bytes of offsets, then its time in milliseconds,
# 8 bytes on a line of their own; folders have none (0).
for table in "$build"/desktop/qt/.rcc/qrc_*.cpp; do
  sed -n '/^static const unsigned char qt_resource_struct/,/^};/p' "$table" | grep '^0x' | tr ',' ' ' |
    while read -r -a bytes; do
      time=0
      for byte in "${bytes[@]}"; do time=$((time * 256 + byte)); done
      [ "$time" = 0 ] || [ "$time" = "$((SOURCE_DATE_EPOCH * 1000))" ] ||
        { echo "reproducible.sh: $(basename "$table") records the time $((time / 1000)), not SOURCE_DATE_EPOCH" >&2; exit 1; }
    done || failed=1
done
exit $failed
