#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# demo_test.sh BUILD: scripts/demo on the programs built in BUILD.
#   - a display that is set but cannot be reached: the demo says console,
#     answers the prompts itself (no terminal) and the update reaches the
#     calculator (status 0);
#   - at a terminal (script(1) gives it one) the user declines: nothing
#     reaches the calculator, and the demo exits 1 with one line saying why;
#   - --class 3 without a display: three simulated calculators updated at
#     once with --all, a summary line and what it received for each (status
#     0); a class outside 2 to 16 is a usage error (status 2).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A display number with no server behind it.
number=99
while [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done

status=0
env -u WAYLAND_DISPLAY -u ZENTRIX_UI DISPLAY=":$number" ZENTRIX_BUILD="$build" \
  "$root/scripts/demo" </dev/null >"$work/out" 2>"$work/err" || status=$?
grep -qE "^== running zentrix-update .* \(console: (no display can be reached at DISPLAY=:$number|this build has no window front end)\)$" \
  "$work/out" || fail "unreachable display: the demo does not say console: $(grep '^== running' "$work/out")"
grep -q '^run 1: images received intact' "$work/out" || fail "unreachable display: no update reached the calculator"
[ "$status" -eq 0 ] || fail "unreachable display: status $status: $(cat "$work/err")"

if command -v script >/dev/null; then
  status=0
  printf 'cancel\ncancel\n' | env -u DISPLAY -u WAYLAND_DISPLAY -u ZENTRIX_UI ZENTRIX_BUILD="$build" \
    script -qec "$root/scripts/demo" /dev/null >"$work/out" 2>&1 || status=$?
  tr -d '\r' <"$work/out" >"$work/tty"
  [ "$status" -eq 1 ] || fail "declined: status $status, not 1"
  grep -q '^run 1:' "$work/tty" && fail "declined: yet a run reached the calculator"
  why=$(grep -c '^demo: no update reached the simulated calculator: .' "$work/tty")
  [ "$why" -eq 1 ] || fail "declined: $why lines saying why, not one: $(tail -n 3 "$work/tty")"
else
  echo "script(1) is missing: the declined demo at a terminal is not tried"
fi

status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u ZENTRIX_UI ZENTRIX_BUILD="$build" \
  "$root/scripts/demo" --class 3 </dev/null >"$work/out" 2>"$work/err" || status=$?
[ "$status" -eq 0 ] || fail "class of 3: status $status: $(tail -n 3 "$work/err")"
grep -q '^== running zentrix-update --all .* (console: no display is set)$' "$work/out" ||
  fail "class of 3: not --all in console mode: $(grep '^== running' "$work/out")"
devices=$(grep '^simulated calculators on ' "$work/out" | sed -E 's/^simulated calculators on (.*) \(model.*/\1/')
[ "$(wc -w <<<"$devices")" -eq 3 ] || fail "class of 3: started $devices"
for device in $devices; do
  grep -qx "updated $device" "$work/out" || fail "class of 3: no summary line for $device"
  grep -q "^$device  run 1: images received intact" "$work/out" || fail "class of 3: $device received no update"
done
for wrong in 1 17 three; do
  status=0
  ZENTRIX_BUILD="$build" "$root/scripts/demo" --class "$wrong" </dev/null >/dev/null 2>"$work/err" || status=$?
  [ "$status" -eq 2 ] && grep -q 'from 2 to 16' "$work/err" || fail "--class $wrong: status $status: $(cat "$work/err")"
done

if [ "$failures" -ne 0 ]; then
  echo "demo_test: $failures failure(s)"
  exit 1
fi
echo "demo_test: console on an unreachable display updates; a declined demo fails with its reason; a class of 3 is updated at once"
