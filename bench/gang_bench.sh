#!/usr/bin/env bash
# Four simulated programmers, a 16 MiB W25Q128JV in each, each programmed with
# an image of its own that carries its own serial number: one `ostrel-cli auto`
# per programmer as four processes at once (scripts/gang), against the same four
# run one after another. Prints both times, then checks that every chip holds
# its own image and its own serial number after each way.
#
# Usage: bench/gang_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cli=$build/bin/ostrel-cli
[ -x "$cli" ] || { echo "build ostrel-cli first: $cli not found" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-gang-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

count=4
: > sim.conf
for i in $(seq 1 $count); do
    # The image starts with its programmer's serial number, the rest is its own.
    { printf 'GANG%08d' "$i"; head -c $((16 * 1024 * 1024 - 12)) /dev/urandom; } > "image$i.bin"
    printf 'programmer bus=1 serial=GANG%08d\nchip id=0xEF4018 size=0x1000000 class=0 image="%s"\n' \
        "$i" "$work/chip$i.img" >> sim.conf
done
export OSTREL_SIM_CONFIG=$work/sim.conf
export LD_LIBRARY_PATH=$build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
export OSTREL_CLI=$cli

now() { date +%s%N; }
# Nanoseconds since $1, in seconds with two decimals.
since() { local ns=$(($(now) - $1)); printf '%d.%02d' $((ns / 1000000000)) $((ns / 10000000 % 100)); }
# Every chip must hold the image with its own serial number, and the
# programmer list must show that serial number at the same place.
check() {
    local listing i serial
    listing=$("$cli" list)
    for i in $(seq 1 $count); do
        serial=$(printf 'GANG%08d' "$i")
        cmp -s "chip$i.img" "image$i.bin" || { echo "chip $i does not hold its image ($1)" >&2; exit 1; }
        [ "$(head -c 12 "chip$i.img")" = "$serial" ] || { echo "chip $i lacks $serial ($1)" >&2; exit 1; }
        grep -q "^001/00$i	$serial	" <<<"$listing" || { echo "programmer $i is not $serial ($1)" >&2; exit 1; }
    done
}
fresh() { rm -f chip*.img; }

# Each programmer gets its own file: scripts/gang gives every run the same
# file, so the parallel runs go through the same per-device command it uses.
fresh
start=$(now)
pids=()
for i in $(seq 1 $count); do
    "$cli" -q --device "001/00$i" -c W25Q128JV auto "image$i.bin" &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done
parallel=$(since "$start")
check parallel

fresh
start=$(now)
for i in $(seq 1 $count); do
    "$cli" -q --device "001/00$i" -c W25Q128JV auto "image$i.bin"
done
serial=$(since "$start")
check "one after another"

# scripts/gang itself, with one image for all: every chip then holds it.
fresh
start=$(now)
GANG_LOGS=$work/logs "$root/scripts/gang" -q -c W25Q128JV image1.bin >/dev/null 2>&1
gang=$(since "$start")
for i in $(seq 1 $count); do cmp -s "chip$i.img" image1.bin || { echo "gang: chip $i wrong" >&2; exit 1; }; done

printf '%d programmers, 16 MiB auto each (erase, write, verify):\n' "$count"
printf '  in parallel:        %6s s\n' "$parallel"
printf '  one after another:  %6s s\n' "$serial"
printf '  scripts/gang:       %6s s\n' "$gang"
printf '  every chip holds its own image and serial number\n'
