#!/usr/bin/env bash
# Times ostrel-cli against flashrom's dummy programmer on a 16 MiB chip, as
# whole processes in one run: `ostrel-cli read` and `ostrel-cli verify` of a
# W25Q128JV through the simulator, `flashrom -p dummy:emulate=W25Q128FV -r`
# and `-v` of the same size, and prints flashrom's times as multiples of ours.
# Then the start-up commands: `ostrel-cli --help` and `ostrel-cli chips`.
#
# Usage: bench/cli_vs_flashrom.sh [BUILD_DIR] [RUNS]   (defaults: build, 5)
# flashrom comes from scripts/common.sh; this script installs nothing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
ours=$build/bin/ostrel-cli
[ -x "$ours" ] || { echo "build ostrel-cli first: $ours not found" >&2; exit 1; }
command -v flashrom >/dev/null || { echo "flashrom is needed (scripts/common.sh installs it)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

head -c $((16 * 1024 * 1024)) /dev/urandom > chip.img
cat > sim.conf <<CONF
programmer bus=1
chip id=0xEF4018 size=0x1000000 class=0 image="$work/chip.img"
CONF
export OSTREL_SIM_CONFIG=$work/sim.conf
export LD_LIBRARY_PATH=$build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
# flashrom's emulated chip starts from the same content.
cp chip.img flashrom.img
emulate="dummy:emulate=W25Q128FV,image=$work/flashrom.img"

# best COMMAND...: the best wall time of $runs runs, in seconds. Output files
# are removed before each run, so nobody pays for replacing an old one.
best() {
    local result=""
    for _ in $(seq "$runs"); do
        rm -f out.bin fr.bin
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
        end=$(date +%s%N)
        local t=$((end - start))
        if [ -z "$result" ] || [ "$t" -lt "$result" ]; then result=$t; fi
    done
    echo "$result"
}
seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }

ours_read=$(best "$ours" -q -c W25Q128JV read out.bin)
"$ours" -q -f -c W25Q128JV read out.bin
cmp -s out.bin chip.img || { echo "ostrel-cli read back something else" >&2; exit 1; }
ours_verify=$(best "$ours" -q -c W25Q128JV verify chip.img)
theirs_read=$(best flashrom -p "$emulate" -r fr.bin)
flashrom -p "$emulate" -r fr.bin >/dev/null 2>&1
cmp -s fr.bin chip.img || { echo "flashrom read back something else" >&2; exit 1; }
theirs_verify=$(best flashrom -p "$emulate" -v chip.img)

printf '%-28s %10s %10s %16s\n' "16 MiB, best of $runs" ostrel-cli flashrom flashrom/ours
printf '%-28s %10s %10s %16s\n' read "$(seconds "$ours_read")" "$(seconds "$theirs_read")" \
    "$(ratio "$theirs_read" "$ours_read")"
printf '%-28s %10s %10s %16s\n' verify "$(seconds "$ours_verify")" "$(seconds "$theirs_verify")" \
    "$(ratio "$theirs_verify" "$ours_verify")"

help=$(best "$ours" --help)
chips=$(best "$ours" chips)
printf '%-28s %10s\n' "ostrel-cli --help" "$(seconds "$help")"
printf '%-28s %10s\n' "ostrel-cli chips" "$(seconds "$chips")"
