#!/usr/bin/env bash
# ostrel-cli.exe under Wine against the simulator (libusb0.dll): the chip
# commands a bench runs, a file name in Chinese characters, the production log
# with serial numbers, and a Ctrl+C during a read.
# Usage: tests/wine/cli_commands.sh BUILD_DIR   (a build-windows folder)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "$1" && pwd)
wine_run=$root/scripts/wine-run
cli_exe=$build/bin/ostrel-cli.exe

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-wine-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# The simulator is found on the search path before the system's folders.
export WINEPATH="Z:${build//\//\\}\\sim"
export OSTREL_SIM_CONFIG=$work/sim.conf

passed=0
failed=0
check() {  # check NAME CONDITION...: counts a result and names a failure
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name" >&2
    fi
}
cli() { "$wine_run" "$cli_exe" "$@"; }
crc32() { python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$1"; }

# A chip of 4 MiB (W25Q32JV) with a known image.
size=$((4 * 1048576))
head -c $size /dev/urandom > image.bin
cp image.bin chip.img
printf 'programmer bus=1 serial=OST000000042\nchip id=0xEF4016 size=%s class=0 image="%s"\n' \
    "$size" "$work/chip.img" > sim.conf

out=$(cli list)
check "list names the programmer" test "$(printf '%s' "$out" | cut -f1,2)" = $'001/001\tOST000000042'
out=$(cli detect)
check "detect: exit 0" test $? -eq 0
check "detect names the chip" test "$out" = "SPI_FLASH,Winbond,W25Q32JV"

cli -q --detect read read.bin
check "read .bin: exit 0" test $? -eq 0
check "read .bin holds the chip" cmp -s read.bin image.bin
cli -q --detect read read.hex
check "read .hex: exit 0" test $? -eq 0
check "read .hex is Intel HEX" grep -q '^:00000001FF' read.hex
cli -q -c W25Q32JV verify read.hex
check "verify the .hex read: exit 0" test $? -eq 0

# A different image: auto writes it, a later process reads it back.
head -c $size /dev/urandom > other.bin
cli -q -c W25Q32JV auto other.bin
check "auto: exit 0" test $? -eq 0
cli -q -c W25Q32JV verify other.bin
check "verify after auto: exit 0" test $? -eq 0
cli -q -c W25Q32JV verify image.bin 2>verify.txt
check "verify a different file: exit 1" test $? -eq 1
# Two ranges made to differ: verify --all lists each.
cp other.bin two.bin
printf '\x00' | dd of=two.bin bs=1 seek=16 conv=notrunc status=none
printf '\x00\x00' | dd of=two.bin bs=1 seek=$((size - 2)) conv=notrunc status=none
out=$(cli -q -c W25Q32JV --all verify two.bin 2>/dev/null)
check "verify --all: exit 1" test $? -eq 1
check "verify --all lists the first range" grep -qx '10-10 1' <<<"$out"
check "verify --all lists the last range" grep -qix '3FFFFE-3FFFFF 2' <<<"$out"

out=$(cli -c W25Q32JV checksum other.bin)
check "checksum: exit 0" test $? -eq 0
check "checksum: CRC-32 as zlib gives it" grep -qi "$(crc32 other.bin)" <<<"$out"
check "checksum: SHA-256 as sha256sum gives it" \
    grep -qi "$(sha256sum other.bin | cut -d' ' -f1)" <<<"$out"

name="芯片备份-读出.bin"
cli -q -c W25Q32JV read "$name"
check "read to a Chinese file name: exit 0" test $? -eq 0
check "the Chinese file name holds the chip" cmp -s "$name" other.bin
cli -q -c W25Q32JV verify "$name"
check "verify from a Chinese file name: exit 0" test $? -eq 0

# The production log with serial numbers: two chips, numbers 7 and 8 written
# at 0x100 as 4 bytes, little-endian, the counter beside the log.
for n in 7 8; do
    cli -q -c W25Q32JV --log prod.jsonl --serial 0x100:4:7:1:le auto image.bin
    check "auto --serial (chip $n): exit 0" test $? -eq 0
    cli -q -f -c W25Q32JV read serial.bin
    check "chip $n holds serial number $n" \
        test "$(od -An -tx1 -j256 -N4 serial.bin | tr -d ' ')" = "$(printf '%02x000000' "$n")"
done
check "the log holds one line per chip" test "$(wc -l < prod.jsonl)" -eq 2
check "the log's last line names serial 8" grep -q '"serial":8}' <(tail -n1 prod.jsonl)
check "the log names the programmer" grep -q '"programmer":"OST000000042"' prod.jsonl

# doctor: the library, the programmer, its claim, its answer and the chip
# pass; without libusb0.dll it says so and where the driver comes from, with
# no udev or group advice.
out=$(cli doctor 2>&1)
check "doctor: exit 0" test $? -eq 0
check "doctor names libusb0.dll" grep -q 'libusb0.dll' <<<"$out"
out=$(WINEPATH= cli doctor 2>&1)
check "doctor without libusb0.dll: exit 3" test $? -eq 3
check "doctor without libusb0.dll: says so" grep -q 'libusb0.dll could not be loaded' <<<"$out"
check "doctor without libusb0.dll: the driver's advice" grep -q 'libusb-win32 driver' <<<"$out"
check "doctor gives no udev advice" test -z "$(grep -i 'udev\|plugdev\|apt' <<<"$out")"
# Every command says the library is missing, not that no programmer is there.
for args in "list" "detect" "info" "-c W25Q32JV read nolib.bin" "-d 001/001 detect"; do
    # shellcheck disable=SC2086
    out=$(WINEPATH= cli $args 2>&1)
    check "$args without libusb0.dll: exit 3" test $? -eq 3
    check "$args without libusb0.dll: says so" \
        grep -q 'USB library libusb0.dll could not be loaded' <<<"$out"
done
# No programmer on the bus: Windows' own device list (SetupAPI) holds none
# either, so doctor says none is attached.
: > empty.conf
out=$(OSTREL_SIM_CONFIG=$work/empty.conf cli doctor 2>&1)
check "doctor without a programmer: exit 3" test $? -eq 3
check "doctor without a programmer: says none is on the bus" \
    grep -q 'USB bus: no programmer (1FC8:300B)' <<<"$out"

# --help says what this build has: no database, the simulator on PATH.
out=$(cli --help)
check "--help: exit 0" test $? -eq 0
check "--help offers no --db, PostgreSQL or LD_LIBRARY_PATH" \
    test -z "$(grep -i -- '--db URL\|--db sqlite\|postgres\|LD_LIBRARY_PATH' <<<"$out")"
check "--help names the simulator as libusb0.dll on PATH" grep -q 'set PATH=' <<<"$out"

# --db is not available in this build: refused with exit 2.
cli -q --db sqlite:line.db -c W25Q32JV auto image.bin 2>db.txt
check "--db: exit 2" test $? -eq 2
check "--db says it is not available" grep -q 'not available in this build' db.txt

# Ctrl+C during a read of 64 MiB: Wine hands the SIGINT
# to the console's Ctrl+C handlers, as Windows does a Ctrl+C in the console.
# The job ends, the command says it stopped, and no file is left behind.
big=$((64 * 1048576))
head -c $big /dev/urandom > chip.img
# The simulator answers each bulk read 10 ms later, so that the read lasts
# many seconds however fast the simulator and the machine are.
printf 'programmer bus=1 read_delay_us=10000\nchip id=0xEF4020 size=%s class=0 image="%s"\n' \
    "$big" "$work/chip.img" > sim.conf
OSTREL_SIM_LOG=$work/stopped.log "$wine_run" "$cli_exe" -c W25Q512JV read stopped.bin \
    2>stopped.txt &
reader=$!
sleep 2
kill -INT "$reader"
wait "$reader"
status=$?
check "Ctrl+C: the read stops with exit 130" test "$status" -eq 130
check "Ctrl+C: the command says it stopped" grep -q 'stopped on request' stopped.txt
check "Ctrl+C: the programmer's job was ended" grep -q '^state dev 0 in_job=0 open_handles=0' \
    stopped.log
check "Ctrl+C: no partial file" test ! -e stopped.bin
check "Ctrl+C: no temporary file left" test -z "$(ls -A | grep -F 'stopped.bin')"

echo "wine ostrel-cli: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
