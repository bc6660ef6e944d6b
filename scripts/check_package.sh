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

step "line server"
# The program, its manual page, its systemd unit reading the settings file,
# that file a conffile readable by root alone, and nothing that enables or
# starts the service when the package is installed.
for f in usr/bin/ostrel-line usr/share/man/man1/ostrel-line.1.gz \
    usr/lib/systemd/system/ostrel-line.service etc/ostrel/line.conf; do
    [ -f "$root/$f" ] || { echo "$f is missing"; fail=1; }
done
unit="$root/usr/lib/systemd/system/ostrel-line.service"
if [ -f "$unit" ]; then
    grep -q '^EnvironmentFile=/etc/ostrel/line.conf$' "$unit" || { echo "the unit reads no line.conf"; fail=1; }
    grep -q '^ExecStart=/usr/bin/ostrel-line ' "$unit" || { echo "the unit starts no /usr/bin/ostrel-line"; fail=1; }
fi
conf="$root/etc/ostrel/line.conf"
if [ -f "$conf" ]; then
    for key in OSTREL_LINE_DB OSTREL_LINE_LISTEN; do
        grep -q "^$key=" "$conf" || { echo "line.conf sets no $key"; fail=1; }
    done
    mode=$(dpkg-deb -c "$deb" | awk '$NF == "./etc/ostrel/line.conf" {print $1}')
    [ "$mode" = "-rw-------" ] || { echo "line.conf is $mode, not readable by root alone"; fail=1; }
fi
control=$(mktemp -d)
dpkg-deb -e "$deb" "$control"
grep -qx '/etc/ostrel/line.conf' "$control/conffiles" 2>/dev/null || { echo "line.conf is no conffile"; fail=1; }
if grep -qs 'ostrel-line' "$control"/postinst "$control"/preinst; then
    echo "a maintainer script enables or starts ostrel-line"; fail=1
fi
rm -rf "$control"

[ "$fail" -eq 0 ] && echo "package checks passed" || echo "package checks FAILED"
exit "$fail"
