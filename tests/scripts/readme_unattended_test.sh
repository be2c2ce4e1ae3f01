#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# readme_unattended_test.sh BUILD: the script of README.md's "Unattended use",
# taken from between its markers, run on the programs built in BUILD against
# simulated calculators: what it prints and its exit code for a set with a
# failure (1), a set all updated beside a port with nothing connected (0)
# and no calculator at all (3). It runs as from a desktop's terminal: with a
# display that can be reached (when Xvfb is installed) and no ZENTRIX_UI.
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

good=$(calculator)
cut=$(calculator --fault hangup:300)
run "a set with a failure" 1 "updated $good\nfailed $cut\nsome calculators need another try: see update-set.log\n" \
  "$good;$cut"
grep -q 'the link to the calculator was lost' "$work/update-set.log" || fail "the log holds no reason"
good=$(calculator)
run "a set updated" 0 "updated $good\nevery calculator is up to date\n" "$work/no-cable;$good"
run "no calculator" 3 "no calculator was found\n" ""

if [ "$failures" -ne 0 ]; then
  echo "readme_unattended_test: $failures failure(s)"
  exit 1
fi
echo "readme_unattended_test: the README's unattended script prints each calculator's result and exits 1, 0 and 3${display:+ (on display $display)}"
