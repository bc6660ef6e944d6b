#!/usr/bin/env bash
# One line server (ostrel-line on SQLite) and three stations programming one
# product's chips at the same time, each on its own simulated programmer: two
# Linux ostrel-cli and one ostrel-cli.exe under Wine, all with --line. Every
# chip gets a serial number no other chip got, the database holds a finished
# row for every chip, and each chip holds the number its row says.
# Usage: tests/wine/line_stations.sh LINUX_BUILD WINDOWS_BUILD [CHIPS]
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
chips=${3:-6}
for program in "$linux/bin/ostrel-line" "$linux/bin/ostrel-cli" "$windows/bin/ostrel-cli.exe"; do
    [ -e "$program" ] || { echo "FAILED: $program is missing: build it first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-line-stations.XXXXXX")
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

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
linux_cli() { LD_LIBRARY_PATH=$linux/sim "$linux/bin/ostrel-cli" "$@"; }

# The product: a W25X10 (128 KiB) with a 4 KiB image, numbers at 0x100 in
# leases of four.
head -c 4096 /dev/urandom > board.bin
db=sqlite:$work/line.db
OSTREL_SIM_CONFIG=/nonexistent linux_cli --db "$db" product add board -c W25X10 \
    --image board.bin --serial 0x100:4:1 --lease 4 || { echo "FAILED: product add" >&2; exit 1; }
for station in linux1 linux2 windows1; do
    "$linux/bin/ostrel-line" --db "$db" station add "$station" > "$station.token" 2>/dev/null
    check "station add $station prints a token" grep -qE '^[0-9a-f]{64}$' "$station.token"
done
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$linux/bin/ostrel-line" --db "$db" --listen "127.0.0.1:$port" 2> line.log &
server=$!
url=http://127.0.0.1:$port
for _ in $(seq 100); do
    python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' \
        "$port" 2>/dev/null && break
    sleep 0.1
done

# station NAME RUNNER...: CHIPS chips one after the other on the station's own
# programmer and chip, the exit status of each in NAME.status.
station() {
    local name=$1
    shift
    printf 'programmer bus=1 serial=OST%s\nchip id=0xEF3011 size=0x20000 class=0 image="%s"\n' \
        "$name" "$work/$name.img" > "$name.conf"
    : > "$name.status"
    for _ in $(seq "$chips"); do
        OSTREL_SIM_CONFIG=$work/$name.conf OSTREL_STATION=$name XDG_STATE_HOME=$work/state-$name \
            OSTREL_LINE_TOKEN=$(cat "$name.token") \
            "$@" --line "$url" -q --json auto --product board board.bin >> "$name.out" 2>> "$name.err"
        echo $? >> "$name.status"
    done
}
export WINEPATH="Z:${windows//\//\\}\\sim"
station linux1 linux_cli &
first=$!
station linux2 linux_cli &
second=$!
station windows1 "$root/scripts/wine-run" "$windows/bin/ostrel-cli.exe" &
third=$!
wait "$first" "$second" "$third"

for name in linux1 linux2 windows1; do
    check "$name: every chip passed (exit 0)" \
        test "$(grep -c '^0$' "$name.status")" -eq "$chips"
    [ "$(grep -c '^0$' "$name.status")" -eq "$chips" ] || sed 's/^/  /' "$name.err" >&2
    check "$name shows its token nowhere" \
        test -z "$(grep -lF "$(cat "$name.token")" "$name.out" "$name.err" line.log)"
done

# Tab-separated: row, time, station, programmer, chip, ID, command, result,
# cause, serial number, ...
OSTREL_SIM_CONFIG=/nonexistent linux_cli --db "$db" records > records.tsv
rows=$(tail -n +2 records.tsv)
check "a row for every chip" test "$(printf '%s\n' "$rows" | grep -c .)" -eq $((3 * chips))
check "every row finished as done" test "$(printf '%s\n' "$rows" | cut -f8 | sort -u)" = done
serials=$(printf '%s\n' "$rows" | cut -f10)
check "no serial number twice" test "$(printf '%s\n' "$serials" | sort -u | grep -c .)" -eq $((3 * chips))
for name in linux1 linux2 windows1; do
    check "$name has its chips' rows" \
        test "$(printf '%s\n' "$rows" | cut -f3 | grep -cx "$name")" -eq "$chips"
    # The last chip in the socket holds the last number its station's rows name.
    last=$(printf '%s\n' "$rows" | awk -F'\t' -v s="$name" '$3 == s { n = $10 } END { print n }')
    held=$(od -An -tu4 -j256 -N4 "$name.img" | tr -d ' ')
    check "$name's chip holds its row's number" test "$held" = "$last"
done

echo "line stations: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
