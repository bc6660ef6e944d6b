#!/usr/bin/env bash
# Peak resident size of one ostrel-cli process per chip command, since a bench
# of several programmers runs one process each: read, verify, write and auto
# of a 16 MiB SPI flash through the simulator, and verify from an Intel HEX
# file. Prints the peak (VmHWM, as /usr/bin/time -v reports it) in MiB, the
# same without the simulator's share, and the budget: the chip's size plus
# 48 MiB.
#
# Usage: bench/cli_memory.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cli=$build/bin/ostrel-cli
[ -x "$cli" ] || { echo "build ostrel-cli first: $cli not found" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-cli-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

size=$((16 * 1024 * 1024))
head -c $size /dev/urandom > image.bin
cp image.bin chip.img
cat > sim.conf <<CONF
programmer bus=1
chip id=0xEF4018 size=0x1000000 class=0 image="$work/chip.img"
CONF
export OSTREL_SIM_CONFIG=$work/sim.conf
export LD_LIBRARY_PATH=$build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
objcopy -I binary -O ihex image.bin image.hex

rss() {  # rss FILE: the peak in KiB that /usr/bin/time -v wrote to FILE
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$1"
}
# The simulator lives in the process (it stands in for the USB library) and
# keeps the chip's 16 MiB, which a real programmer does not add: `info` with
# the chip in the socket minus `info` with an empty socket is its share, taken
# off below.
printf 'programmer bus=1\n' > empty.conf
/usr/bin/time -v -o time.txt "$cli" -q info >/dev/null 2>&1 || { echo "failed: info" >&2; exit 1; }
with_chip=$(rss time.txt)
OSTREL_SIM_CONFIG=$work/empty.conf /usr/bin/time -v -o time.txt "$cli" -q info >/dev/null 2>&1 ||
    { echo "failed: info" >&2; exit 1; }
sim=$((with_chip - $(rss time.txt)))

budget=$((size / 1048576 + 48))
printf '%-12s %9s %9s %7s\n' command "peak MiB" "ours MiB" budget
peak() {
    local name=$1
    shift
    rm -f out.bin
    /usr/bin/time -v -o time.txt "$cli" -q -c W25Q128JV "$@" >/dev/null 2>&1 ||
        { echo "failed: $*" >&2; exit 1; }
    awk -v n="$name" -v k="$(rss time.txt)" -v s="$sim" -v b="$budget" \
        'BEGIN { o = (k - s) / 1024; printf "%-12s %9.1f %9.1f %7d%s\n", n, k / 1024, o, b, (o > b ? "  OVER" : "") }'
}
peak read read out.bin
cmp -s out.bin image.bin || { echo "read back something else" >&2; exit 1; }
peak verify verify image.bin
peak write write image.bin
peak auto auto image.bin
peak verify-hex verify image.hex
