#!/usr/bin/env bash
# encrypt-file and decrypt-file from pipes at the largest size a frame takes, too slow for CI and
# run by hand: for each block size, the largest source (2^31 - 20 bytes for the 8-byte ciphers,
# 2^31 - 28 for Twofish) piped in and back out exactly, with each step's time and peak memory,
# beside the same source read in place; then one byte more, 2 GiB and an endless pipe refused
# with exit 5 as soon as the limit is passed, leaving nothing.
#   bench/bench_pipe.sh TAVORIN_CLI [FOLDER]   (FOLDER, default /var/tmp, needs about 7 GiB)
# Run under `flock /tmp/tavorin-bench.lock`.
set -euo pipefail
cli=$(realpath "$1")
work=$(mktemp -d "${2:-/var/tmp}/tavorin-pipe.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
export K="Schlüssel für Grüße – bench"
max_frame=$(((1 << 31) - 1)) header=12 digest=32
fail() { echo "bench_pipe: $*" >&2; exit 1; }

# timed LABEL COMMAND...: runs it; prints its wall time and the peak memory of its largest process.
timed() {
  local label=$1 status=0
  shift
  /usr/bin/time -f "%e s, peak %M KiB" -o time.txt "$@" || status=$?
  printf '  %-34s %s\n' "$label" "$(tail -n 1 time.txt)"
  return "$status"
}

for cipher in Blowfish Twofish; do
  block=$([ "$cipher" = Twofish ] && echo 16 || echo 8)
  largest=$((max_frame / block * block - header))
  echo "$cipher: $largest bytes (2^31 - $(((1 << 31) - largest)))"
  head -c "$largest" /dev/urandom >source
  sum=$(sha256sum <source)
  timed "encrypt-file, in place" "$cli" encrypt-file -c "$cipher" --key-env K source in-place.tav
  rm in-place.tav
  timed "encrypt-file - (pipe)" sh -c 'cat source | "$1" encrypt-file -c "$2" --key-env K - piped.tav' sh "$cli" "$cipher"
  rm source
  timed "decrypt-file, in place" sh -c '"$1" decrypt-file --key-env K piped.tav - | sha256sum >back.sum' sh "$cli"
  [ "$(cat back.sum)" = "$sum" ] || fail "$cipher: decrypt-file in place gave other bytes"
  timed "decrypt-file - - (pipes)" sh -c 'cat piped.tav | "$1" decrypt-file --key-env K - - | sha256sum >back.sum' sh "$cli"
  [ "$(cat back.sum)" = "$sum" ] || fail "$cipher: decrypt-file from a pipe gave other bytes"
  rm piped.tav back.sum

  # Past the limit: refused once passed, whatever follows; nothing written, nothing left.
  for size in $((largest + 1)) $((1 << 31)) endless; do
    feed=(head -c "$size" /dev/zero)
    [ "$size" = endless ] && feed=(cat /dev/zero)
    status=0
    timed "encrypt-file - of $size" bash -c '"${@:3}" | "$1" encrypt-file -c "$2" --key-env K - refused.tav' \
      bash "$cli" "$cipher" "${feed[@]}" 2>err.txt || status=$?
    [ "$status" = 5 ] && grep -q "past the size limits" err.txt || fail "$cipher, $size bytes: exit $status, $(cat err.txt)"
    [ -z "$(ls -A | grep -vx -e time.txt -e err.txt)" ] || fail "$cipher, $size bytes: left $(ls -A)"
  done
done
# decrypt-file takes a frame and its digest: one byte more than the largest, from a pipe.
status=0
timed "decrypt-file - of $((max_frame + digest + 1))" sh -c 'head -c "$2" /dev/zero | "$1" decrypt-file --key-env K - refused' \
  sh "$cli" $((max_frame + digest + 1)) 2>err.txt || status=$?
[ "$status" = 5 ] || fail "decrypt-file past the limit: exit $status, $(cat err.txt)"
echo "bench_pipe: every pipe round trip was exact, and every input past the limit was refused"
