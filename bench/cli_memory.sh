#!/usr/bin/env bash
# Peak resident size of one ostrel-cli process per chip command, since a bench
# of several programmers runs one process each: read, a read of 256 bytes,
# verify, write and auto of SPI flash chips of 1, 16 and 64 MiB through the
# simulator, and verify from an Intel HEX file. Prints the peak (VmHWM, as
# /usr/bin/time -v reports it) in MiB, the same without the simulator's
# share, and the budget: the chip's size plus 48 MiB. Exits 1 when a command
# is over its budget (scripts/test runs it so).
#
# Usage: bench/cli_memory.sh [BUILD_DIR [MIB...]]   (default: build, 1 16 64)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
sizes=("${@:2}")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 16 64)
cli=$build/bin/ostrel-cli
[ -x "$cli" ] || { echo "build ostrel-cli first: $cli not found" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-cli-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
export LD_LIBRARY_PATH=$build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
printf 'programmer bus=1\n' > empty.conf

rss() {  # rss FILE: the peak in KiB that /usr/bin/time -v wrote to FILE
    awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$1"
}

over=0
printf '%-6s %-12s %9s %9s %7s\n' chip command "peak MiB" "ours MiB" budget
# bench MIB NAME ID: every command on one chip of MIB MiB.
bench() {
    local mib=$1 name=$2 id=$3
    local size=$((mib * 1048576))
    head -c $size /dev/urandom > image.bin
    cp image.bin chip.img
    printf 'programmer bus=1\nchip id=%s size=%s class=0 image="%s"\n' \
        "$id" "$size" "$work/chip.img" > sim.conf
    export OSTREL_SIM_CONFIG=$work/sim.conf
    objcopy -I binary -O ihex image.bin image.hex
    # The simulator lives in the process (it stands in for the USB library)
    # and keeps the chip, which a real programmer does not add: `info` with
    # the chip in the socket minus `info` with an empty socket is its share,
    # taken off below.
    /usr/bin/time -v -o time.txt "$cli" -q info >/dev/null 2>&1 || { echo "failed: info" >&2; exit 1; }
    local with_chip
    with_chip=$(rss time.txt)
    OSTREL_SIM_CONFIG=$work/empty.conf /usr/bin/time -v -o time.txt "$cli" -q info >/dev/null 2>&1 ||
        { echo "failed: info" >&2; exit 1; }
    local sim=$((with_chip - $(rss time.txt)))
    local budget=$((mib + 48))
    peak() {
        local what=$1
        shift
        rm -f out.bin
        /usr/bin/time -v -o time.txt "$cli" -q -c "$name" "$@" >/dev/null 2>&1 ||
            { echo "failed: $name $*" >&2; exit 1; }
        local line
        line=$(awk -v c="${mib}M" -v n="$what" -v k="$(rss time.txt)" -v s="$sim" -v b="$budget" \
            'BEGIN { o = (k - s) / 1024; printf "%-6s %-12s %9.1f %9.1f %7d%s\n", c, n, k / 1024, o, b, (o > b ? "  OVER" : "") }')
        echo "$line"
        case $line in *OVER) over=1 ;; esac
    }
    peak read read out.bin
    cmp -s out.bin image.bin || { echo "read back something else" >&2; exit 1; }
    peak read-part --start 1000 --end 10FF read out.bin
    cmp -s out.bin <(tail -c +4097 image.bin | head -c 256) || { echo "read back another part" >&2; exit 1; }
    peak verify verify image.bin
    peak write write image.bin
    peak auto auto image.bin
    peak verify-hex verify image.hex
}
for mib in "${sizes[@]}"; do
    case $mib in
    1) bench 1 W25Q80DV 0xEF4014 ;;
    16) bench 16 W25Q128JV 0xEF4018 ;;
    64) bench 64 W25Q512JV 0xEF4020 ;;
    *) echo "no chip of $mib MiB here: 1, 16 or 64" >&2; exit 2 ;;
    esac
done
exit $over
