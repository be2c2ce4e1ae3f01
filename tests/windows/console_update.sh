#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows zentrix-update.exe in console mode under wine, updating the
# Linux simulated calculator through COM ports mapped to the simulators'
# ptys: both routes and block sizes with the images intact, a cable pulled
# mid-run, and a refusal that puts nothing on the wire, in English and in
# German. Every run ends with exit code 18 and leaves no scratch copy behind.
# The station (--watch) updates the calculator on a listed COM port that
# Windows has, and gives none to a listed port that is not there. A USB
# calculator fails with the reason that WinUSB is not available; a COM port
# that is not there with what to check. Every option and environment
# variable the Windows README names is one --help lists.
#   console_update.sh WINE WINESERVER SIMULATOR PROGRAM_DIR
set -uo pipefail
wine=$1 wineserver=$2 sim=$3 bin=$4
work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/private_wine.sh"
private_wine_prefix "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ ! -x "$sim" ]; then
  echo "FAIL: the Linux simulator $sim is not built (cmake --build build --target zentrix-calc-sim)"
  exit 1
fi
mkdir -p "$work/img" && "$sim" --write-demo-images "$work/img" >/dev/null || exit 1

# name  simulator options  answers  expected last box
cases=(
  "os1024|--route os --block-size 1024|ok ok ok cancel|== Complete =="
  "stub256|--route stub --block-size 256|ok ok ok cancel|== Complete =="
  "hangup|--fault hangup:40|ok ok ok|Update failed."
  "refused|--route os|ok cancel|== Warning =="
)

# One simulator per case, on COM1.. in order; wine reads the port map when
# its server starts.
"$wineserver" -k >/dev/null 2>&1
port=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name options _ _ <<<"$entry"
  port=$((port + 1))
  # shellcheck disable=SC2086
  "$sim" --runs 1 --verdict --expect-stub "$work/img/UpdateExe.bin" --expect-os "$work/img/UpdateCode.bin" \
    $options >"$work/$name.sim" 2>&1 &
  sims+=($!)
  for _ in $(seq 50); do [ -s "$work/$name.sim" ] && break; sleep 0.1; done
  pty=$(head -n 1 "$work/$name.sim")
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$pty" /f >/dev/null 2>&1 || fail "cannot map COM$port"
done
# The station's calculator on the next port.
station_port=$((port + 1))
"$sim" --runs 1 --verdict --expect-stub "$work/img/UpdateExe.bin" --expect-os "$work/img/UpdateCode.bin" \
  >"$work/station.sim" 2>&1 &
sims+=($!)
for _ in $(seq 50); do [ -s "$work/station.sim" ] && break; sleep 0.1; done
"$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$station_port" /d "$(head -n 1 "$work/station.sim")" /f \
  >/dev/null 2>&1 || fail "cannot map COM$station_port"
"$wineserver" -k >/dev/null 2>&1
"$wineserver" -w >/dev/null 2>&1
"$wineserver" -p >/dev/null 2>&1
"$wine" cmd /c exit >/dev/null 2>&1

temp_dir=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname temp -type d | head -n 1)
winimg="Z:${work//\//\\}\\img"
port=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name _ answers last <<<"$entry"
  port=$((port + 1))
  printf '%s\n' $answers | ZENTRIX_UI=console ZENTRIX_DEVICES="\\\\.\\COM$port" \
    timeout 120 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/$name.out" 2>"$work/$name.err"
  code=$?
  [ "$code" = 18 ] || fail "$name: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
  box=$(tr -d '\r' <"$work/$name.out" | grep -E '^== |^Update failed\.$' | tail -n 1)
  [ "$box" = "$last" ] || fail "$name: last message '$box', expected '$last'"
  if [ -n "$temp_dir" ] && ls "$temp_dir"/qz* >/dev/null 2>&1; then
    fail "$name: scratch copies left in $temp_dir"
  fi
done

# The station (--watch) offers a listed COM port only while Windows has it:
# COM98 is no port here and never gets a row; the mapped port is updated.
# Wine makes its COM ports once, when its server starts, so a port that
# appears under a running station cannot be shown here. The station runs
# until Ctrl+C, which wine cannot send to it: it is ended by a signal.
mkfifo "$work/station.in"
exec 7<>"$work/station.in"
printf 'ok\nok\nok\n' >&7
ZENTRIX_UI=console ZENTRIX_DEVICES="\\\\.\\COM98;\\\\.\\COM$station_port" \
  timeout 120 "$wine" "$bin/zentrix-update.exe" --watch "$winimg" <"$work/station.in" >"$work/station.out" 2>&1 &
station=$!
for _ in $(seq 600); do
  tr -d '\r' <"$work/station.out" | grep -q "COM$station_port  updated" && break
  kill -0 "$station" 2>/dev/null || break
  sleep 0.1
done
kill "$station" 2>/dev/null
wait "$station" 2>/dev/null
exec 7>&-
tr -d '\r' <"$work/station.out" | grep -q "COM$station_port  updated" \
  || fail "station: no updated row for COM$station_port: $(tr -d '\r' <"$work/station.out" | tail -n 3)"
! grep -q 'COM98' "$work/station.out" || fail "station: a row for the absent COM98: $(grep COM98 "$work/station.out")"

# A USB calculator's device path: wine's WinUSB is only stubs (calling one
# ends the process), so the run fails at once with the reason that says so.
usb='\\?\USB#VID_1A2B&PID_5E01#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
printf 'ok\nok\nok\n' | ZENTRIX_UI=console ZENTRIX_DEVICES="$usb" \
  timeout 60 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/usb.out" 2>"$work/usb.err"
code=$?
[ "$code" = 18 ] || fail "usb: exit code $code, expected 18 ($(tail -n 3 "$work/usb.err"))"
grep -q "^zentrix-update: cannot open .*: WinUSB is not available for this device" "$work/usb.err" \
  || fail "usb: $(tail -n 1 "$work/usb.err")"
# A port that is not there: the reason says what to check.
printf 'ok\nok\nok\n' | ZENTRIX_UI=console ZENTRIX_DEVICES='\\.\COM97' \
  timeout 60 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/absent.out" 2>"$work/absent.err"
grep -q '^zentrix-update: cannot open .*COM97: .*; check that the cable is plugged in' "$work/absent.err" \
  || fail "absent: $(tail -n 1 "$work/absent.err")"

# The README in the packages names only what the program has.
readme=$(dirname "$0")/../../packaging/windows/README.txt
"$wine" "$bin/zentrix-update.exe" --help 2>/dev/null | tr -d '\r' >"$work/help.out"
for word in $(grep -oE -- '--[a-z][a-z-]+|ZENTRIX_[A-Z_]+' "$readme" | sort -u); do
  grep -qe "$word\b" "$work/help.out" || fail "README.txt names $word, which --help does not list"
done

# In German (a catalogue beside the program): the refusal again on the
# refused case's port, which saw no run; the umlauts arrive as UTF-8.
printf 'ok\ncancel\n' | ZENTRIX_UI=console ZENTRIX_LANG=de ZENTRIX_DEVICES="\\\\.\\COM4" \
  timeout 120 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/german.out" 2>"$work/german.err"
code=$?
[ "$code" = 18 ] || fail "german: exit code $code, expected 18 ($(tail -n 3 "$work/german.err"))"
tr -d '\r' <"$work/german.out" | grep -qx '== Rechner anschließen. ==' ||
  fail "german: no German connect prompt: $(head -n 1 "$work/german.out")"
tr -d '\r' <"$work/german.out" | grep -qx 'Möchten Sie mit der Aktualisierung fortfahren?' ||
  fail "german: the warning's umlauts are not UTF-8: $(grep -a 'chten' "$work/german.out" | od -c | head -n 2)"

# The simulators' verdicts: each reports its runs so far when told to end.
sleep 0.5
for pid in "${sims[@]}"; do kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
sims=()
grep -q 'images received intact' "$work/os1024.sim" || fail "os1024: $(tail -n 1 "$work/os1024.sim")"
grep -q 'images received intact' "$work/stub256.sim" || fail "stub256: $(tail -n 1 "$work/stub256.sim")"
grep -q 'Terminate04\|link\|lost\|cut' "$work/hangup.sim" || fail "hangup: $(tail -n 1 "$work/hangup.sim")"
! grep -q '^run ' "$work/refused.sim" || fail "refused: the calculator saw a run: $(tail -n 1 "$work/refused.sim")"
grep -q 'images received intact' "$work/station.sim" || fail "station: $(tail -n 1 "$work/station.sim")"
for name in os1024 stub256 hangup station; do echo "$name: $(tail -n 1 "$work/$name.sim")"; done

[ "$failures" = 0 ] && echo "console update under wine: all cases passed"
exit $(( failures > 0 ))
