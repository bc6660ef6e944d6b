#!/usr/bin/env bash
# The program installed to a temporary prefix, started offscreen with a home
# folder of its own, and stopped with SIGTERM as a desktop session ends it:
# which catalogue did it open, and where did it save its settings?
#   installed_program_test.sh BUILD_DIR
set -uo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME XDG_DATA_HOME
passed=0
failed=0

if ! cmake --install "$build" --prefix "$tmp/usr" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    echo "0 passed, 1 failed"
    exit 1
fi
# A portable copy: the program with its catalogue in a folder of its own.
mkdir -p "$tmp/portable"
cp "$tmp/usr/bin/ostrel" "$tmp/usr/share/ostrel/ostrel.Dat" "$tmp/portable/"

# run NAME EXECUTABLE: starts the program under strace, waits until its first
# show has read a catalogue, then ends it with SIGTERM. Leaves the files the
# program opened in $tmp/NAME.opened.
run() {
    local name=$1 exe=$2 log="$tmp/$1.strace"
    strace -f -qq -e trace=openat -o "$log" "$exe" >"$tmp/$name.out" 2>&1 &
    local tracer=$! pid="" i
    for i in $(seq 1 300); do
        grep -q 'ostrel\.Dat' "$log" 2>/dev/null && break
        sleep 0.1
    done
    pid=$(awk 'NR == 1 { print $1 }' "$log" 2>/dev/null)
    sleep 0.5
    if [ -n "$pid" ]; then kill -TERM "$pid" 2>/dev/null; fi
    wait "$tracer"
    local status=$?
    grep -o '"[^"]*ostrel\.\(Dat\|ini\)"' "$log" | tr -d '"' | sort -u >"$tmp/$name.opened"
    return "$status"
}

# check NAME CONDITION MESSAGE
check() {
    if eval "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1: $3"
        sed 's/^/    /' "$tmp/$1.out" 2>/dev/null | head -20
    fi
}

settings_complete() { grep -q '^FormHeight=' "$1" && grep -q '^LANGU=' "$1"; }

# Installed, with only HOME: ~/.config and the installed catalogue.
export HOME="$tmp/home1"
mkdir -p "$HOME"
run home "$tmp/usr/bin/ostrel"
check home "[ $? -eq 0 ]" "the program did not end cleanly on SIGTERM"
check home "grep -qx '$tmp/usr/share/ostrel/ostrel.Dat' '$tmp/home.opened'" \
    "did not read the installed catalogue: $(tr '\n' ' ' <"$tmp/home.opened")"
check home "settings_complete '$HOME/.config/ostrel/ostrel.ini'" "no settings in ~/.config/ostrel"
check home "[ ! -e '$tmp/usr/bin/ostrel.ini' ]" "settings written beside the installed program"

# Installed, with XDG folders and a catalogue of the user's own.
export HOME="$tmp/home2" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data"
mkdir -p "$HOME" "$XDG_DATA_HOME/ostrel"
cp "$tmp/usr/share/ostrel/ostrel.Dat" "$XDG_DATA_HOME/ostrel/"
run xdg "$tmp/usr/bin/ostrel"
check xdg "[ $? -eq 0 ]" "the program did not end cleanly on SIGTERM"
check xdg "grep -qx '$XDG_DATA_HOME/ostrel/ostrel.Dat' '$tmp/xdg.opened'" \
    "did not read the user's catalogue: $(tr '\n' ' ' <"$tmp/xdg.opened")"
check xdg "! grep -q '$tmp/usr/share' '$tmp/xdg.opened'" "also read the installed catalogue"
check xdg "settings_complete '$XDG_CONFIG_HOME/ostrel/ostrel.ini'" "no settings in XDG_CONFIG_HOME"
check xdg "[ ! -e '$HOME/.config' ]" "settings written to ~/.config despite XDG_CONFIG_HOME"

# The portable copy keeps both beside itself, whatever the XDG folders say.
rm -rf "$XDG_CONFIG_HOME"
run portable "$tmp/portable/ostrel"
check portable "[ $? -eq 0 ]" "the program did not end cleanly on SIGTERM"
check portable "grep -qx '$tmp/portable/ostrel.Dat' '$tmp/portable.opened'" \
    "did not read the catalogue beside it: $(tr '\n' ' ' <"$tmp/portable.opened")"
check portable "settings_complete '$tmp/portable/ostrel.ini'" "no settings beside the program"
check portable "[ ! -e '$XDG_CONFIG_HOME' ]" "settings written to XDG_CONFIG_HOME"

# Bash completion, installed where bash-completion looks for it: chip names and
# makers come from the catalogue the installed ostrel-cli reads, the user's own
# one included.
completion="$tmp/usr/share/bash-completion/completions/ostrel-cli"
completes() {  # completes WORD... : what completing the last word offers
    bash -c 'source "$1" && shift && COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) &&
        _ostrel_cli && printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" \
        "$tmp/usr/bin/ostrel-cli" "$@" 2>>"$tmp/completion.out"
}
export HOME="$tmp/home3" XDG_DATA_HOME="$tmp/data3"
mkdir -p "$HOME" "$XDG_DATA_HOME"
check completion "[ -f '$completion' ]" "not in bash-completion's folder below the prefix"
check completion "[ \"\$(completes --det)\" = --detect ]" "options: $(completes --det | tr '\n' ' ')"
# Every option and command of the tables the parser reads, as the build's
# ostrel-cli-completion prints them: each completes from its own name, and a
# file command takes files after any option, an option's value skipped.
mkdir -p "$tmp/files" && : >"$tmp/files/image.bin"
table=$("$build/bin/ostrel-cli-completion" --table)
check completion "[ \$(grep -c '^option ' <<<\"\$table\") -ge 20 ]" "the table: $table"
while read -r what name rest; do
    kind=${rest##* }
    check completion "completes '$name' | grep -qx -- '$name'" "$what $name: $(completes "$name" | tr '\n' ' ')"
    for word in $rest; do
        [ "$word" = "$kind" ] && continue
        check completion "completes '$word' | grep -qx -- '$word'" "$what $word: $(completes "$word" | tr '\n' ' ')"
    done
    [ "$what" = option ] || continue
    before=("$name")
    [ "$kind" = switch ] || before+=(X)
    for command in $(awk '$1 == "command" && $3 == "file" { print $2 }' <<<"$table"); do
        check completion "[ \"\$(cd '$tmp/files' && completes ${before[*]} $command im)\" = image.bin ]" \
            "files after $name ${before[*]:1} $command: $(cd "$tmp/files" && completes "${before[@]}" "$command" im | tr '\n' ' ')"
    done
done <<<"$table"
check completion "[ \"\$(completes --db X product l | tr '\\n' ' ')\" = 'list leases ' ]" \
    "product's words: $(completes --db X product l | tr '\n' ' ')"
check completion "[ -z \"\$(completes product add l)\" ]" "a product's name: $(completes product add l | tr '\n' ' ')"
check completion "completes -c W25Q128J | grep -qx W25Q128JV" \
    "installed chips: $(completes -c W25Q128J | tr '\n' ' ')"
# The user's catalogue: the installed one with a chip of the user's own added.
mkdir -p "$XDG_DATA_HOME/ostrel"
own="$XDG_DATA_HOME/ostrel/ostrel.Dat"
installed="$tmp/usr/share/ostrel/ostrel.Dat"
{
    head -c $(($(stat -c %s "$installed") - 68)) "$installed"
    printf 'SPI_FLASH,Own,OWN25Q1'
    head -c $((68 - 21 + 68)) /dev/zero
} >"$own"
check completion "[ \"\$(completes -c OWN)\" = OWN25Q1 ]" "own chip: $(completes -c OWN | tr '\n' ' ')"
check completion "[ \"\$(completes --maker = Ow)\" = Own ]" \
    "own maker: $(completes --maker = Ow | tr '\n' ' ')"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
