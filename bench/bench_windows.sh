#!/usr/bin/env bash
# tavorin-cli.exe under wine against the Linux tavorin-cli on the same input: a 64 MiB message
# encrypted (into a file), and its envelope decrypted, each RUNS times (default 7).
#   bench/bench_windows.sh [LINUX_CLI [WINDOWS_CLI_EXE]]
# By default build-rel/cli/tavorin-cli (Release) and build-windows/cli/tavorin-cli.exe (as
# scripts/windows leaves it); either that is missing is built first, and the wine prefix beside
# the .exe (build-windows/wine) is made if there is none. Run under
# `flock /tmp/tavorin-bench.lock`.
#
# Each program's processor time (user and system, of every process of the run, and of wine's
# server while the run lasts) is given beside the wall time: on a loaded machine the wall time
# says more about the other programs than about this one. Wine's start-up (a server is kept
# running) is measured with --version and taken off both.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build-rel/cli/tavorin-cli} exe=${2:-build-windows/cli/tavorin-cli.exe} runs=${RUNS:-7}
export CCACHE_DIR=${CCACHE_DIR:-/tmp/ccache}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
build() {  # build FOLDER WHAT CMAKE-OPTIONS...: the program tavorin-cli of that build folder
  local folder=$1 what=$2
  shift 2
  echo "bench_windows: $what is missing: building it in $folder (cmake --build $folder --target tavorin-cli)" >&2
  [ -f "$folder/CMakeCache.txt" ] || cmake -S . -B "$folder" -G Ninja "$@" "${launcher[@]}" >/dev/null
  nice -n 10 cmake --build "$folder" --target tavorin-cli -j 2 >/dev/null
}
if [ ! -x "$linux" ]; then
  [ $# -ge 1 ] && { echo "bench_windows: no program $linux" >&2; exit 2; }
  build build-rel "$linux" -DCMAKE_BUILD_TYPE=Release -DTAVORIN_GUI=OFF -DTAVORIN_WEB=OFF -DTAVORIN_TESTS=OFF
fi
if [ ! -f "$exe" ]; then
  [ $# -ge 2 ] && { echo "bench_windows: no program $exe (scripts/windows builds it)" >&2; exit 2; }
  build build-windows "$exe" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DTAVORIN_WERROR=ON -DTAVORIN_BENCH=OFF  # as scripts/windows configures it
fi

export WINEPREFIX=${WINEPREFIX:-$(dirname "$(realpath "$exe")")/../wine} WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
# The lock is a descriptor this script inherited from flock: wine's service processes, which
# outlive the programs they serve, would hold it (and every other benchmark) until their server
# ends. Closed here, and the server ended at the end.
for fd in /proc/$$/fd/*; do
  n=${fd##*/}
  if [ "$n" -gt 2 ]; then eval "exec $n>&-" 2>/dev/null || true; fi
done
if [ ! -d "$WINEPREFIX" ]; then
  echo "bench_windows: making the wine prefix $WINEPREFIX" >&2
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
  "$wineserver" -w
fi
work=$(mktemp -d)
"$wineserver" -k 2>/dev/null || true
"$wineserver" -f -p </dev/null >/dev/null 2>&1 &
server=$!
trap 'rm -rf "$work"; "$wineserver" -k 2>/dev/null || true' EXIT
head -c $((48 << 20)) /dev/urandom | base64 -w 0 >"$work/message"  # 64 MiB of text
export K="bench key"

# measure SERVER COMMAND: of $runs runs, the best wall time and the least and median processor
# time (seconds), and the median of the page faults.
measure() {
  python3 - "$runs" "$1" "$2" <<'EOF'
import os, resource, statistics, subprocess, sys, time
runs, server, command = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def server_time():
    if not server:
        return 0.0
    with open(f'/proc/{server}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')
walls, cpus, faults = [], [], []
for _ in range(runs):
    r0, s0, t0 = resource.getrusage(resource.RUSAGE_CHILDREN), server_time(), time.perf_counter()
    subprocess.run(command, shell=True, check=True)
    t1, s1, r1 = time.perf_counter(), server_time(), resource.getrusage(resource.RUSAGE_CHILDREN)
    walls.append(t1 - t0)
    cpus.append(r1.ru_utime - r0.ru_utime + r1.ru_stime - r0.ru_stime + s1 - s0)
    faults.append(r1.ru_minflt - r0.ru_minflt)
print(min(walls), min(cpus), statistics.median(cpus), int(statistics.median(faults)))
EOF
}

"$wine" "$exe" --version </dev/null >"$work/warm-up" 2>&1
read -r s_w s_c s_cm s_f < <(measure "$server" "'$wine' '$exe' --version >/dev/null")
read -r el_w el_c el_cm el_f < <(measure 0 "'$linux' encrypt --encoding utf-8 --key-env K <'$work/message' >'$work/env.l'")
read -r ew_w ew_c ew_cm ew_f < <(measure "$server" "'$wine' '$exe' encrypt --encoding utf-8 --key-env K <'$work/message' >'$work/env.w'")
read -r dl_w dl_c dl_cm dl_f < <(measure 0 "'$linux' decrypt --encoding utf-8 --key-env K <'$work/env.w' >'$work/out.l'")
read -r dw_w dw_c dw_cm dw_f < <(measure "$server" "'$wine' '$exe' decrypt --encoding utf-8 --key-env K <'$work/env.l' >'$work/out.w'")
cmp -s "$work/message" "$work/out.l" && cmp -s "$work/message" "$work/out.w" ||
  { echo "bench_windows: the envelopes did not open to the message" >&2; exit 1; }
awk -v runs="$runs" -v load="$(cut -d' ' -f1 /proc/loadavg)" \
  -v sw="$s_w" -v sc="$s_c" -v scm="$s_cm" -v sf="$s_f" \
  -v elw="$el_w" -v elc="$el_c" -v elcm="$el_cm" -v elf="$el_f" -v eww="$ew_w" -v ewc="$ew_c" -v ewcm="$ew_cm" -v ewf="$ew_f" \
  -v dlw="$dl_w" -v dlc="$dl_c" -v dlcm="$dl_cm" -v dlf="$dl_f" -v dww="$dw_w" -v dwc="$dw_c" -v dwcm="$dw_cm" -v dwf="$dw_f" '
function row(name, lw, lc, lcm, lf, ww, wc, wcm, wf) {
  printf "%-17s Linux %6.3f s, cpu %6.3f (median %6.3f), %6d faults   Windows %6.3f s, cpu %6.3f (median %6.3f), %6d faults\n", name, lw, lc, lcm, lf, ww, wc, wcm, wf
  printf "%-17s ratio without start-up: wall %.2f, cpu %.2f (medians %.2f)\n", "", (ww - sw) / lw, (wc - sc) / lc, (wcm - scm) / lcm
}
BEGIN {
  printf "%d runs each, load %s; wine start-up %.3f s, cpu %.3f (median %.3f), %d faults\n", runs, load, sw, sc, scm, sf
  row("encrypt 64 MiB", elw, elc, elcm, elf, eww, ewc, ewcm, ewf)
  row("decrypt envelope", dlw, dlc, dlcm, dlf, dww, dwc, dwcm, dwf)
}'
