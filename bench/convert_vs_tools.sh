#!/usr/bin/env bash
# Times ostrel-convert against objcopy and srec_cat on the same conversions
# (bin->hex, hex->bin, bin->srec, srec->bin) of a 64 MiB random image and a
# mostly blank one, and prints the tools' times as multiples of ours.
#
# Usage: bench/convert_vs_tools.sh [BUILD_DIR]   (default: build)
# Scratch files go to $TMPDIR (default /tmp); about 1.5 GB are needed.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
ours=$build/bin/ostrel-convert
[ -x "$ours" ] || { echo "build ostrel-convert first: $ours not found" >&2; exit 1; }
for tool in objcopy srec_cat python3; do
    command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-convert-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

size=$((64 * 1024 * 1024))
head -c $size /dev/urandom > random.bin
# 0xFF with a random 4 KiB island every 256 KiB, and a data byte at the very end.
python3 - <<'PY'
import os
size = 64 * 1024 * 1024
image = bytearray(b"\xff" * size)
for block in range(0, size, 0x40000):
    image[block:block + 0x1000] = os.urandom(0x1000)
image[-1] = 0
open("blank.bin", "wb").write(image)
PY

# seconds COMMAND...: wall time of one run, best of three. Every run starts
# without output files, so that no tool pays for replacing an old one (ours
# renames a new file over the old, which ext4 answers with an early flush).
seconds() {
    local best=""
    for _ in 1 2 3; do
        local start end
        rm -f o.* t.* s.*
        sync
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
        end=$(date +%s.%N)
        best=$(python3 -c "import sys; a=float(sys.argv[1]); b='$best'; print(a if not b or a < float(b) else b)" \
            "$(python3 -c "print($end - $start)")")
    done
    echo "$best"
}

printf '%-22s %9s %9s %9s %12s %12s\n' conversion ours objcopy srec_cat objcopy/ours srec_cat/ours
for image in random blank; do
    # Inputs in each format for the ->bin conversions, made by our own writer.
    "$ours" --force $image.bin $image.hex >/dev/null 2>&1
    "$ours" --force $image.bin $image.src >/dev/null 2>&1
    cp $image.src $image.eep  # LoadFile reads S-records only from ".eep" files beginning with "S"
    # srec_cat and objcopy need explicit fills to give the same full image back.
    declare -a rows=(
        "bin->hex|$ours --force $image.bin o.hex|objcopy -I binary -O ihex $image.bin t.hex|srec_cat $image.bin -binary -o s.hex -intel"
        "hex->bin|$ours --force $image.hex o.bin|objcopy -I ihex -O binary --gap-fill 0xFF $image.hex t.bin|srec_cat $image.hex -intel -fill 0xFF 0 $size -o s.bin -binary"
        "bin->srec|$ours --force $image.bin o.src|objcopy -I binary -O srec $image.bin t.srec|srec_cat $image.bin -binary -o s.srec -motorola"
        "srec->bin|$ours --force $image.eep o.bin|objcopy -I srec -O binary --gap-fill 0xFF $image.src t.bin|srec_cat $image.src -motorola -fill 0xFF 0 $size -o s.bin -binary"
    )
    for row in "${rows[@]}"; do
        IFS='|' read -r name cmd_ours cmd_objcopy cmd_srec <<<"$row"
        t_ours=$(seconds $cmd_ours)
        t_obj=$(seconds $cmd_objcopy)
        t_srec=$(seconds $cmd_srec)
        python3 -c "
o, b, s = $t_ours, $t_obj, $t_srec
print('%-22s %8.2fs %8.2fs %8.2fs %11.1fx %11.1fx' % ('$name ($image)', o, b, s, b / o, s / o))"
    done
done
