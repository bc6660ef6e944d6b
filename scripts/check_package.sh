#!/usr/bin/env bash
# check_package.sh DEB: the checks a Debian package of ours must pass.
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
fail=0
step() { echo "-- $*"; }

step "lintian"
# Errors and warnings fail; notes for information do not. CI runs as root,
# so lintian's remark about that is left out.
status=0
out=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$out" || true
[ "$status" -eq 0 ] || { echo "lintian found errors or warnings"; fail=1; }

step "desktop-file-validate"
for f in "$root"/usr/share/applications/*.desktop; do
    desktop-file-validate "$f" || fail=1
done

step "appstreamcli validate"
for f in "$root"/usr/share/metainfo/*.metainfo.xml; do
    appstreamcli validate --no-net "$f" || fail=1
done

step "udev rule"
rule="$root/usr/lib/udev/rules.d/60-ostrel.rules"
# Exactly the programmer and its boot loader, each granted to the user at the desk.
ids=$(grep -v '^\s*#' "$rule" | grep -o 'idVendor}=="[0-9a-f]*", ATTRS\?{idProduct}=="[0-9a-f]*"' |
    sed -E 's/idVendor}=="([0-9a-f]+)", ATTRS?\{idProduct}=="([0-9a-f]+)"/\1:\2/' | sort -u | tr '\n' ' ')
if [ "$ids" != "1fc8:300b 28e9:028b " ]; then echo "the rule names $ids"; fail=1; fi
if grep -v '^\s*#' "$rule" | grep -v '^\s*$' | grep -qv 'TAG+="uaccess"'; then
    echo "a rule line grants no uaccess"; fail=1
fi
if grep -Eq 'MODE=|GROUP=|OWNER=' "$rule"; then echo "the rule widens access beyond the seat"; fail=1; fi

step "icons"
for size in 16 32 48 128 256; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/ostrel.png"
    got=$(file -b "$png" | grep -o '[0-9]* x [0-9]*' || true)
    [ "$got" = "$size x $size" ] || { echo "$png is $got"; fail=1; }
done

[ "$fail" -eq 0 ] && echo "package checks passed" || echo "package checks FAILED"
exit "$fail"
