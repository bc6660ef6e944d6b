#!/usr/bin/env bash
# The Windows build's ostrel-cli.exe under Wine beside the Linux build's
# ostrel-cli, on the same machine and the same simulated 16 MiB chip (W25Q128JV):
# read to a file and verify against it. Prints the wall time and the peak
# resident size (/usr/bin/time -v) of each run, the best of three. Under Wine the
# figure is the Windows process's own; Wine's server process is not counted.
#
# Usage: bench/cli_wine.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default: build build-windows)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
linux=$(cd "${1:-$root/build}" && pwd)
windows=$(cd "${2:-$root/build-windows}" && pwd)
[ -x "$linux/bin/ostrel-cli" ] || { echo "build ostrel-cli first: $linux/bin/ostrel-cli" >&2; exit 1; }
[ -f "$windows/bin/ostrel-cli.exe" ] || { echo "run scripts/build-windows --test first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-cli-wine.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
size=$((16 * 1048576))
head -c $size /dev/urandom > chip.img
printf 'programmer bus=1\nchip id=0xEF4018 size=%s class=0 image="%s"\n' "$size" \
    "$work/chip.img" > sim.conf
export OSTREL_SIM_CONFIG=$work/sim.conf
export LD_LIBRARY_PATH=$linux/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export WINEPATH="Z:${windows//\//\\}\\sim"
# The Wine prefix is made (and its server started) before the first figure.
"$root/scripts/wine-run" "$windows/bin/ostrel-cli.exe" --version >/dev/null

# measure LABEL COMMAND...: the best wall time and peak of three runs
measure() {
    local label=$1
    shift
    local best_s="" best_kib=""
    for _ in 1 2 3; do
        /usr/bin/time -v -o time.txt "$@" >/dev/null 2>&1 || { echo "failed: $label" >&2; exit 1; }
        local s kib
        s=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); t = 0;
                for (i = 1; i <= n; i++) t = t * 60 + p[i]; print t }' time.txt)
        kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' time.txt)
        if [ -z "$best_s" ] || awk -v a="$s" -v b="$best_s" 'BEGIN { exit !(a < b) }'; then
            best_s=$s
            best_kib=$kib
        fi
    done
    awk -v l="$label" -v s="$best_s" -v k="$best_kib" 'BEGIN { printf "%-28s %8.2f s %9.1f MiB\n", l, s, k / 1024 }'
}

printf '%-28s %10s %13s\n' "16 MiB chip" "time" "peak"
measure "Linux  read"  "$linux/bin/ostrel-cli" -q -f -c W25Q128JV read linux.bin
measure "Linux  verify" "$linux/bin/ostrel-cli" -q -c W25Q128JV verify linux.bin
measure "Windows read (Wine)" "$root/scripts/wine-run" "$windows/bin/ostrel-cli.exe" -q -f \
    -c W25Q128JV read windows.bin
measure "Windows verify (Wine)" "$root/scripts/wine-run" "$windows/bin/ostrel-cli.exe" -q \
    -c W25Q128JV verify windows.bin
cmp -s linux.bin windows.bin || { echo "the two reads differ" >&2; exit 1; }
