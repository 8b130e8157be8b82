#!/usr/bin/env bash
# tavorin-cli.exe under wine against the Linux tavorin-cli on the same input: a 64 MiB message
# encrypted (into a file), and its envelope decrypted, each the best of RUNS (default 5).
#   bench/bench_windows.sh LINUX_CLI WINDOWS_CLI_EXE
# Run under `flock /tmp/tavorin-bench.lock`. Wine's start-up (a server is kept running) is
# measured apart, with --version, and left out of the ratios.
set -euo pipefail
linux=$1 exe=$2 runs=${RUNS:-5}
export WINEPREFIX=${WINEPREFIX:-$(dirname "$(realpath "$exe")")/../wine} WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
# The lock is a descriptor this script inherited from flock: wine's service processes, which
# outlive the programs they serve, would hold it (and every other benchmark) until their server
# ends. Closed here, and the server ended at the end.
for fd in /proc/$$/fd/*; do
  n=${fd##*/}
  if [ "$n" -gt 2 ]; then eval "exec $n>&-" 2>/dev/null || true; fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"; /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1
head -c $((48 << 20)) /dev/urandom | base64 -w 0 >"$work/message"  # 64 MiB of text
export K="bench key"

best() {  # best() COMMAND...: the shortest wall time of $runs runs, in seconds
  local b=
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s.%N)
    "$@"
    t1=$(date +%s.%N)
    b=$(echo "$t0 $t1 ${b:-999}" | awk '{d = $2 - $1; print (d < $3 ? d : $3)}')
  done
  echo "$b"
}

"$wine" "$exe" --version </dev/null >"$work/warm-up" 2>&1
start=$(best sh -c "'$wine' '$exe' --version >/dev/null")
enc_l=$(best sh -c "'$linux' encrypt --encoding utf-8 --key-env K <'$work/message' >'$work/env.l'")
enc_w=$(best sh -c "'$wine' '$exe' encrypt --encoding utf-8 --key-env K <'$work/message' >'$work/env.w'")
dec_l=$(best sh -c "'$linux' decrypt --encoding utf-8 --key-env K <'$work/env.w' >'$work/out.l'")
dec_w=$(best sh -c "'$wine' '$exe' decrypt --encoding utf-8 --key-env K <'$work/env.l' >'$work/out.w'")
cmp -s "$work/message" "$work/out.l" && cmp -s "$work/message" "$work/out.w" ||
  { echo "bench_windows: the envelopes did not open to the message" >&2; exit 1; }
awk -v s="$start" -v el="$enc_l" -v ew="$enc_w" -v dl="$dec_l" -v dw="$dec_w" 'BEGIN {
  printf "wine start-up            %6.3f s\n", s
  printf "encrypt 64 MiB  Linux    %6.3f s   Windows %6.3f s   ratio %.2f (%.2f without start-up)\n", el, ew, ew / el, (ew - s) / el
  printf "decrypt envelope Linux   %6.3f s   Windows %6.3f s   ratio %.2f (%.2f without start-up)\n", dl, dw, dw / dl, (dw - s) / dl
}'
