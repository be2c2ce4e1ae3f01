#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# readme_unattended_test.sh BUILD: the documented commands, run on the
# programs built in BUILD against simulated calculators.
#   - the script of README.md's "Unattended use", taken from between its
#     markers: what it prints and its exit code for a set with a failure
#     tried again (0, or 1 when it fails again),
#     a set all updated beside a port with nothing connected (0), no
#     calculator at all (3) and a folder without images (4); it runs as from a desktop's terminal: with a
#     display that can be reached (when Xvfb is installed) and no ZENTRIX_UI;
#   - every example of the manual page's EXAMPLES, in order, in a scratch
#     home holding the images as ~/os-1.05, /dev/ttyUSB0 being a simulated
#     calculator's pty: its exit status, what it printed or wrote, and what
#     the calculator received;
#   - --help names every option of the manual page's OPTIONS and every
#     variable of its ENVIRONMENT.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
sim=$build/sim/zentrix-calc-sim
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

sed -n '/^<!-- unattended-example -->$/,/^<!-- end of unattended-example -->$/p' "$root/README.md" |
  sed '1,2d;$d' | sed '$d' >"$work/update-set.sh"
head -n 1 "$work/update-set.sh" | grep -qx '#!/bin/sh' || fail "no script between the README's markers"
"$sim" --write-demo-images "$work/img" >/dev/null
touch -d '1 minute ago' "$work/img/"*   # not being written any more

# A simulated calculator for one run; prints its pty's path.
calculator() {
  local out=$work/sim-$#-$RANDOM
  "$sim" --runs 1 "$@" >"$out" &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$out" ] && break
    sleep 0.1
  done
  head -n 1 "$out"
}

# A display for the desktop the script is run from.
display=
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -nolisten tcp 3>"$work/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  display=:$(head -n 1 "$work/display")
fi

# run NAME STATUS EXPECTED DEVICES: the script's output (in any order: the
# calculators of a set end in any order) and exit code.
run() {
  local status=0
  (cd "$work" && env -u ZENTRIX_UI PATH="$build/app:$PATH" DISPLAY="$display" ZENTRIX_DEVICES="$4" ZENTRIX_USB_IDS=ffff:fffe \
     ZENTRIX_REPLY_TIMEOUT=2 XDG_STATE_HOME="$work/state" TMPDIR="$work" timeout 60 sh ./update-set.sh img \
     >"$work/out" 2>"$work/err") || status=$?
  [ "$status" -eq "$2" ] || fail "$1: exit code $status, not $2: $(cat "$work/out" "$work/err")"
  [ "$(sort "$work/out")" = "$(printf '%b' "$3" | sort)" ] || fail "$1: printed $(cat "$work/out")"
}

# A cable whose calculator loses its link; once it has gone, another that
# answers is on the cable for the second try.
good=$(calculator)
cut=$(calculator --fault hangup:300)
next=$(calculator)
ln -sfn "$cut" "$work/cable"
(while [ -e "$cut" ]; do sleep 0.05; done; ln -sfn "$next" "$work/cable") &
pids+=($!)
run "a set with a failure, tried again" 0 \
  "updated $good\nfailed $work/cable\nupdated $work/cable\nevery calculator is up to date\n" "$good;$work/cable"
grep -q 'the link to the calculator was lost' "$work/update-set.log" || fail "the log holds no reason"
good=$(calculator)
cut=$(calculator --runs 2 --fault silent:300)
run "a set with a failure, failed again" 1 \
  "updated $good\nfailed $cut\nfailed $cut\nsome calculators need another try: see update-set.log\n" "$good;$cut"
good=$(calculator)
run "a set updated" 0 "updated $good\nevery calculator is up to date\n" "$work/no-cable;$good"
run "no calculator" 3 "no calculator was found\n" ""
# Images that cannot be used: the calculator attached is never opened (a
# run ends when the program closes it, and this one serves a single run).
"$sim" --runs 1 >"$work/idle" &
idle_pid=$!
pids+=($idle_pid)
for _ in $(seq 100); do
  [ -s "$work/idle" ] && break
  sleep 0.1
done
idle=$(head -n 1 "$work/idle")
mkdir -p "$work/no-images"
(cd "$work" && env -u ZENTRIX_UI PATH="$build/app:$PATH" DISPLAY="$display" ZENTRIX_DEVICES="$idle" \
   XDG_STATE_HOME="$work/state" TMPDIR="$work" timeout 60 sh ./update-set.sh no-images >"$work/out" 2>"$work/err")
status=$?
[ "$status" -eq 4 ] || fail "no images: exit code $status, not 4: $(cat "$work/out" "$work/err")"
[ "$(cat "$work/out")" = "the images cannot be used: see update-set.log" ] || fail "no images: printed $(cat "$work/out")"
grep -q 'no-images/ must hold the updater stub UpdateExe.bin' "$work/update-set.log" || fail "no images: the log does not say what the folder must hold"
kill -0 "$idle_pid" 2>/dev/null || fail "no images: the calculator was opened"

# The manual page's examples, one shell script each, roff escapes undone.
manual_examples() {
  sed -n '/^\.SH EXAMPLES$/,/^\.SH /p' "$root/packaging/zentrix-update.1" |
    awk '/^\.EX$/ { n++; inside = 1; next } /^\.EE$/ { inside = 0 } inside { print > (dir "/example-" n ".sh") }' \
      dir="$work/manual"
}
mkdir -p "$work/manual" "$work/home/os-1.05" "$work/etc"
manual_examples
cp "$work/img/"* "$work/home/os-1.05/"
# /dev/ttyUSB0 is a link to a simulated calculator's pty; each example that
# updates it finds a calculator of its own there (one updated runs the
# image's system since its restart, and is current).
serial=$work/ttyUSB0
serial_outs=()
fresh_serial() {
  ln -sfn "$(calculator --expect-stub "$work/img/UpdateExe.bin" --expect-os "$work/img/UpdateCode.bin" --verdict)" "$serial"
  serial_outs+=("$(ls -t "$work"/sim-* | head -n 1)")
}
fresh_serial
for f in "$work/manual"/example-*.sh; do
  sed -i -e 's/\\-/-/g' -e 's/\\e/\\/g' -e "s|/dev/ttyUSB0|$serial|g" "$f"
done

# example N STATUS PATTERN: example N exits with STATUS (its last command's)
# and its output, or the file named after "in", matches PATTERN.
example() {
  local n=$1 expected=$2 pattern=$3 file=${5:-}
  local status=0
  (cd "$work/home" && printf 'ok\nok\nok\n' | env -u DISPLAY -u WAYLAND_DISPLAY -u ZENTRIX_UI -u ZENTRIX_DEVICES \
     -u ZENTRIX_USB_IDS -u XDG_CONFIG_HOME HOME="$work/home" PATH="$build/app:$build/sim:$PATH" \
     ZENTRIX_MACHINE_CONFIG_DIR="$work/etc" ZENTRIX_REPLY_TIMEOUT=10 XDG_STATE_HOME="$work/state" TMPDIR="$work" \
     timeout 60 sh "$work/manual/example-$n.sh" >"$work/out" 2>"$work/err") || status=$?
  [ "$status" -eq "$expected" ] || fail "manual example $n: exit status $status, not $expected: $(tail -n 3 "$work/err")"
  grep -qE "$pattern" "${file:-$work/out}" || fail "manual example $n: no \"$pattern\" in ${file:-its output}"
}
touch -d '1 minute ago' "$work/home/os-1.05/"*
example 1 0 '^run 1: images received \(stub 3000 bytes, OS 70000 bytes\); calculator OS now 01.05.0000$'
example 2 18 'Update is complete'
example 3 0 "device = $serial" in "$work/home/.config/zentrix-update/zentrix-update.conf"
fresh_serial
example 4 0 '^exit status 0$'
grep -q '"event": "run-ended".*"result": "updated".*"confirmed": true' "$work/home/events.jsonl" ||
  fail "manual example 4: no updated run read back after its restart"
fresh_serial
example 5 0 ' > 05 30 30 30 37 30 ' in "$work/home/zentrix.trace"
example 6 0 '^started,' in "$work/home/class.csv"
[ "$(grep -c ',updated,' "$work/home/class.csv")" -ge 4 ] || fail "manual example 6: the CSV holds not four updates"
count=$(ls "$work/manual" | wc -l)
[ "$count" -eq 6 ] || fail "the manual page has $count examples, the test knows 6"
kill "${pids[@]}" 2>/dev/null
for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
[ "$(cat "${serial_outs[@]}" | grep -c 'images received intact')" -eq 3 ] ||
  fail "the calculators on the serial port did not receive three updates: $(cat "${serial_outs[@]}")"

# The names the manual page's OPTIONS and ENVIRONMENT give in the tag
# line of each entry.
manual_names() {
  awk -v section=".SH $1" '/^\.SH / { inside = ($0 == section) } inside' "$root/packaging/zentrix-update.1" |
    grep -A1 '^\.TP$' | grep -v '^\.TP$\|^--$' |
    sed 's/\\-/-/g' | grep -oE "$2" | sort -u
}
env -u ZENTRIX_LANG LC_ALL=C "$build/app/zentrix-update" --help >"$work/help"
names=$( (manual_names OPTIONS '(^| )--?[a-zA-Z][a-z0-9-]*'; manual_names ENVIRONMENT '[A-Z][A-Z_]+[A-Z]') | tr -d ' ')
[ "$(wc -l <<<"$names")" -ge 20 ] || fail "too few names taken from the manual page: $names"
for name in $names; do
  grep -qE -- "(^|[][ ,|])$name([] ,=]|$)" "$work/help" || fail "--help does not name $name (the manual page does)"
done

if [ "$failures" -ne 0 ]; then
  echo "readme_unattended_test: $failures failure(s)"
  exit 1
fi
# readme_unattended_test.sh BUILD: the documented commands, run on the
# programs built in BUILD against simulated calculators.
#   - the script of README.md's "Unattended use", taken from between its
#     markers: what it prints and its exit code for a set with a failure
#     tried again (0, or 1 when it fails again),
#     a set all updated beside a port with nothing connected (0), no
#     calculator at all (3) and a folder without images (4); it runs as from a desktop's terminal: with a
#     display that can be reached (when Xvfb is installed) and no ZENTRIX_UI;
#   - every example of the manual page's EXAMPLES, in order, in a scratch
#     home holding the images as ~/os-1.05, /dev/ttyUSB0 being a simulated
#     calculator's pty: its exit status, what it printed or wrote, and what
#     the calculator received;
#   - --help names every option of the manual page's OPTIONS and every
#     variable of its ENVIRONMENT.
