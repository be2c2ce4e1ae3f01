#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows zentrix-update.exe as a window under wine on a private Xvfb,
# updating the Linux simulated calculator through a COM port mapped to its
# pty. The message boxes are found by their titles and answered with
# xdotool as a user would: a whole update (OK on the two warnings, whose
# default is Cancel; Cancel on "Complete"), a refusal with Return on the
# first warning, and a cable pulled mid-run ("Error": its "Save a problem
# report..." saves the report where proposed, says so, and the box comes
# back for its OK). A calculator that never answers: the progress window
# comes at once, and after the stall time its Close (Escape) ends the run
# in the "Error" box. Every run ends
# with exit code 18; the simulator's verdicts say whether the images came
# through intact. The refusal is started as Explorer starts a program (a
# console of its own, ZENTRIX_UI unset): the window is chosen and the
# console closed. Started from a command prompt, or from a shell with input
# given, the same program uses the console although a display is there.
# A class set with --all over three COM ports (two updated intact, one cable
# pulled) shows the window of rows, and at the end the counts and the
# "another set?" question inside it. The station (--watch) in the window
# updates its calculator and, asked first, ends when its window is closed;
# its end stays until Close. A set of two whose second calculator goes
# silent: its row's Stop ends that run alone (in English and in German).
# With nothing configured the device chooser lists the COM ports and
# remembers the one picked. Started as the Start menu starts it (no folder,
# in a folder without images), it asks for the image folder, refuses one
# without the images with a box that says what is missing, asks again,
# remembers the one chosen and updates (in English and in German).
# Screenshots of the boxes, the progress window and the rows are left in SHOTS_DIR
# when given. Every wait is bounded.
#   window_update.sh WINE WINESERVER SIMULATOR PROGRAM_DIR [SHOTS_DIR]
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -uo pipefail
wine=$1 wineserver=$2 sim=$3 bin=$4 shots=${5:-}
for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/install-deps windows installs it)"
    exit 77
  fi
done
if [ ! -x "$sim" ]; then
  echo "FAIL: the Linux simulator $sim is not built (cmake --build build --target zentrix-calc-sim)"
  exit 1
fi
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/private_wine.sh"
private_wine_prefix "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -n "$shots" ] && mkdir -p "$shots"

private_display "$work" 1024x768x24
shown=$?
pids+=("$xvfb_pid")
[ "$shown" = 0 ] || exit 1

mkdir -p "$work/img" && "$sim" --write-demo-images "$work/img" >/dev/null || exit 1

# Without a window manager, wine places and closes windows itself (closing
# does not wait for one); a crash ends the program instead of opening a
# debugger's dialog that nobody answers.
"$wineserver" -k >/dev/null 2>&1
"$wineserver" -w >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

# name  simulator options; then a class set on COM4..COM6, the station's
# calculator on COM7, and sets of two whose second goes silent on COM8..COM11.
cases=(
  "update|--route os --block-size 1024"
  "refused|--route os"
  "hangup|--fault hangup:40"
)
class=(
  "class1|--route os --block-size 1024"
  "class2|--route stub --block-size 256"
  "class3|--fault hangup:40"
  "station|--route os"
  "quick|--route os"
  "silent|--fault silent:290"
  "quick_de|--route os"
  "silent_de|--fault silent:290"
  "mute|--fault silent:0"
  "folder|--route os"
  "folder_de|--route os"
)
port=0
for entry in "${cases[@]}" "${class[@]}"; do
  IFS='|' read -r name options <<<"$entry"
  port=$((port + 1))
  # shellcheck disable=SC2086
  "$sim" --runs 1 --verdict --expect-stub "$work/img/UpdateExe.bin" --expect-os "$work/img/UpdateCode.bin" \
    $options >"$work/$name.sim" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/$name.sim" ] && break; sleep 0.1; done
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$(head -n 1 "$work/$name.sim")" /f >/dev/null 2>&1 \
    || fail "cannot map COM$port"
done
# wine reads the port map when its server starts; the server's output goes
# nowhere near the program's.
"$wineserver" -k >/dev/null 2>&1
"$wineserver" -w >/dev/null 2>&1
"$wineserver" -p >/dev/null 2>&1
"$wine" cmd /c exit >/dev/null 2>&1

# Titles of the visible top-level windows, one per line.
titles() {
  xdotool search --onlyvisible --name . 2>/dev/null | while read -r id; do xdotool getwindowname "$id" 2>/dev/null; done
}
# Waits up to 60 s for a visible window titled exactly $1 and prints its id.
find_box() {
  local id
  for _ in $(seq 600); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    kill -0 "$app" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
shot() { [ -n "$shots" ] && command -v import >/dev/null && import -window root "$shots/$1.png" 2>/dev/null; }
# Answers the box titled $1 with the keys $2.. ; a screenshot named $name-$shotname first.
answer() {
  local title=$1 shotname=$2 id
  shift 2
  if ! id=$(find_box "$title"); then
    fail "$name: no box '$title' (windows: $(titles | tr '\n' ',' ))"
    return 1
  fi
  sleep 0.3   # the box has drawn itself
  shown=$(titles | grep -v '^Default IME$' | sort | tr '\n' ',')
  [ -n "$shotname" ] && shot "$name-$shotname"
  # Focus and keys are retried while the box stays: a console window that
  # wine closes at that moment can take the focus back.
  local attempt
  for attempt in 1 2 3; do
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool mousemove --window "$id" 30 8 click 1 2>/dev/null   # its title bar
    xdotool key --clearmodifiers "$@"
    for _ in $(seq 30); do
      if ! xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | grep -qx "$id"; then
        [ "$attempt" = 1 ] || echo "note: $name: '$title' answered at attempt $attempt"
        return 0
      fi
      sleep 0.1
    done
  done
  fail "$name: the box '$title' did not take its answer"
  return 1
}

# Presses the keys $3.. in the box titled $1, which stays (what they do
# opens another box on top); a screenshot named $name-$2 first.
press() {
  local id
  id=$(find_box "$1") || { fail "$name: no box '$1' (windows: $(titles | tr '\n' ','))"; return 1; }
  sleep 0.3
  [ -n "$2" ] && shot "$name-$2"
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool mousemove --window "$id" 30 8 click 1 2>/dev/null
  xdotool key --clearmodifiers "${@:3}"
}

winimg="Z:${work//\//\\}\\img"
winbin="Z:${bin//\//\\}"
cd "$work" || exit 1   # where a problem report is proposed
port=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name _ <<<"$entry"
  port=$((port + 1))
  if [ "$name" = refused ]; then
    ZENTRIX_DEVICES="\\\\.\\COM$port" timeout 120 "$wine" start /wait "$winbin\\zentrix-update.exe" "$winimg" \
      >"$work/$name.out" 2>"$work/$name.err" &
  else
    ZENTRIX_UI=gui ZENTRIX_DEVICES="\\\\.\\COM$port" \
      timeout 120 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/$name.out" 2>"$work/$name.err" &
  fi
  app=$!
  pids+=($app)
  case $name in
    update)
      answer 'Connect the calculator\.' connect Return &&
      answer 'Warning' warning shift+Tab space &&
      answer "Delete all data in calculator's Main Memory\\." sure shift+Tab space &&
      { id=$(find_box 'Sending data\.\.\.') && { sleep 0.2; shot "$name-progress"; }; true; } &&
      answer 'Complete' complete Escape
      ;;
    refused)
      # Only the program's windows: the console made for it is gone.
      answer 'Connect the calculator\.' '' Return &&
      answer 'Warning' '' Return &&
      { [ "$shown" = "Warning,Zentrix OS Update," ] || fail "refused: windows shown: $shown"; }
      ;;
    hangup)
      # The report button follows OK, which has the focus; the report goes
      # where proposed, the current folder.
      answer 'Connect the calculator\.' '' Return &&
      answer 'Warning' '' shift+Tab space &&
      answer "Delete all data in calculator's Main Memory\\." '' shift+Tab space &&
      press 'Error' error Tab space &&
      answer 'Save a problem report' save Return &&
      answer 'Problem report' report Return &&
      answer 'Error' '' Return
      ;;
  esac
  if [ $? -ne 0 ]; then kill "$app" 2>/dev/null; fi   # a box never came
  wait "$app"
  code=$?
  [ "$code" = 18 ] || fail "$name: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
  left=$(titles | grep -v '^Default IME$')
  [ -z "$left" ] || fail "$name: windows left after the program ended: $left"
done

# The report the failure box saved: the failed run's record and its trace.
report=$work/zentrix-problem-report.txt
grep -q '"result": *"failed"' "$report" 2>/dev/null && grep -q '^\[last run.s trace\]' "$report" \
  || fail "hangup: no problem report with the run's record and trace: $(head -c 300 "$report" 2>&1)"

# A calculator that never answers (COM12): the progress window comes at
# once; after the stall time (10 s) its Close (Escape) is the Stop that
# ends the run, in the failure box.
name=mute
ZENTRIX_UI=gui ZENTRIX_DEVICES='\\.\COM12' \
  timeout 120 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/$name.out" 2>"$work/$name.err" &
app=$!
pids+=($app)
if answer 'Connect the calculator\.' '' Return && answer 'Warning' '' shift+Tab space &&
   answer "Delete all data in calculator's Main Memory\\." '' shift+Tab space; then
  asked=$(date +%s%N)
  if id=$(find_box 'Sending data\.\.\.'); then
    waited=$(( ($(date +%s%N) - asked) / 1000000 ))
    [ "$waited" -le 3000 ] || fail "mute: the progress window came after $waited ms"
    sleep 1; shot "$name-progress"
    sleep 11; shot "$name-stall"
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key --clearmodifiers Escape
    answer 'Error' '' Return || kill "$app" 2>/dev/null
  else
    fail "mute: no progress window (windows: $(titles | tr '\n' ','))"
    kill "$app" 2>/dev/null
  fi
else
  kill "$app" 2>/dev/null
fi
wait "$app"
code=$?
[ "$code" = 18 ] || fail "mute: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"

# Waits for the simulated calculator NAME's run to end (60 s at most) and,
# when it installed an OS, for the program to read it back after its
# restart: only then has the program's row ended.
run_ended() {
  for _ in $(seq 600); do grep -q '^run ' "$work/$1.sim" && break; sleep 0.1; done
  grep -q 'calculator OS now' "$work/$1.sim" || return 0
  for _ in $(seq 600); do grep -q 'read back after its restart' "$work/$1.sim" && break; sleep 0.1; done
  sleep 0.5
}

# A class set (--all) in the window: the rows' window shows every calculator
# and, once all have ended, the counts in its heading and the "another
# set?" question below the rows - in the window itself, with no box on
# top; Escape there answers Cancel.
name=all
ZENTRIX_UI=gui ZENTRIX_DEVICES='\\.\COM4;\\.\COM5;\\.\COM6' \
  timeout 120 "$wine" "$bin/zentrix-update.exe" --all "$winimg" >"$work/$name.out" 2>"$work/$name.err" &
app=$!
pids+=($app)
if answer 'Connect the calculators\.' connect Return &&
   answer 'Warning' warning shift+Tab space &&
   answer 'Delete all data in the Main Memory of 3 calculators\.' sure shift+Tab space; then
  if id=$(find_box 'Zentrix OS Update - (calculators|Rechner)'); then
    sleep 0.5; shot "$name-rows"
    for sim in class1 class2 class3; do
      run_ended "$sim"
    done
    sleep 1; shot "$name-end"
    shown=$(titles | grep -v '^Default IME$' | sort | tr '\n' ',')
    [ "$shown" = "Zentrix OS Update,Zentrix OS Update - calculators," ] || fail "all: windows shown: $shown"
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key --clearmodifiers Escape
  else
    fail "all: no window of rows (windows: $(titles | tr '\n' ','))"
    kill "$app" 2>/dev/null
  fi
else
  kill "$app" 2>/dev/null
fi
wait "$app"
code=$?
[ "$code" = 18 ] || fail "all: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
left=$(titles | grep -v '^Default IME$')
[ -z "$left" ] || fail "all: windows left after the program ended: $left"

# The station (--watch) in the window on COM7: its calculator is updated,
# then the window of rows is closed (Alt+F4): the idle station asks first,
# and OK ends it.
name=station
ZENTRIX_UI=gui ZENTRIX_DEVICES='\\.\COM7' \
  timeout 120 "$wine" "$bin/zentrix-update.exe" --watch "$winimg" >"$work/$name.out" 2>"$work/$name.err" &
app=$!
pids+=($app)
if answer 'Connect the calculators\.' '' Return &&
   answer 'Warning' '' shift+Tab space &&
   answer 'Delete all data in the Main Memory of every calculator\.' '' shift+Tab space &&
   id=$(find_box 'Zentrix OS Update - (calculators|Rechner)'); then
  run_ended station
  sleep 1; shot "$name-rows"
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --clearmodifiers alt+F4
  # Its end stays in sight, every row with its result, until Close (Enter).
  if answer 'End the station' end Return; then
    sleep 1; shot "$name-closing"
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool key --clearmodifiers Return
  else
    kill "$app" 2>/dev/null
  fi
else
  fail "station: no window of rows (windows: $(titles | tr '\n' ','))"
  kill "$app" 2>/dev/null
fi
wait "$app"
code=$?
[ "$code" = 18 ] || fail "station: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
left=$(titles | grep -v '^Default IME$')
[ -z "$left" ] || fail "station: windows left after the program ended: $left"

# A set of two whose second calculator goes silent mid-image: once it has
# been silent for the stall time its row shows Stop, whose click ends that
# run alone (the calculator told); the set then ends as any other, with the
# counts, every row's result and the question below the rows, whose Cancel
# is clicked. Once in English and once in German. The buttons are painted,
# not controls: found in a screenshot of the window (ImageMagick) as runs of
# non-white pixels in a column inside every button at the right; a button
# is as tall as "History..." above the rows, a row's bar there is shorter.
# Prints "X Y" of the first button below "History..." in window $1.
row_button() {
  local w x
  import -window "$1" "$work/rows.png" 2>/dev/null && w=$(identify -format %w "$work/rows.png") || return 1
  x=$((w - (w - 760) / 2 - 40))   # 40 left of the right edge of its 760 inside the frame
  convert "$work/rows.png" -crop "1x100000+$x+0" +repage -colorspace gray -depth 8 gray:- 2>/dev/null |
    od -An -v -tu1 -w1 | awk -v x="$x" '
      $1 < 250 { if (client && run++ == 0) at = NR - 1; white = 0; next }
      { if (++white >= 5) client = 1
        if (run > 0 && tall == 0) tall = run
        else if (run > 0 && run >= tall - 1) { print x, at + int(run / 2); exit }
        run = 0 }'
}
for name in silent silent_de; do
  if [ "$name" = silent ]; then
    lang=en ports='\\.\COM8;\\.\COM9' titles=('Connect the calculators\.' 'Warning' 'Delete all data in the Main Memory of 2 calculators\.')
  else
    lang=de ports='\\.\COM10;\\.\COM11'
    titles=('Rechner anschlie.*en\.' 'Warnung' 'Alle Daten im Hauptspeicher von 2 Rechnern l.*schen\.')
  fi
  mkdir -p "$work/$name-state"
  ZENTRIX_UI=gui ZENTRIX_LANG=$lang ZENTRIX_DEVICES=$ports XDG_STATE_HOME="Z:${work//\//\\}\\$name-state" \
    timeout 150 "$wine" "$bin/zentrix-update.exe" --all "$winimg" >"$work/$name.out" 2>"$work/$name.err" &
  app=$!
  pids+=("$app")
  stop=
  if answer "${titles[0]}" '' Return && answer "${titles[1]}" '' shift+Tab space &&
     answer "${titles[2]}" '' shift+Tab space && id=$(find_box 'Zentrix OS Update - (calculators|Rechner)'); then
    for _ in $(seq 60); do
      stop=$(row_button "$id") && [ -n "$stop" ] && break
      sleep 1
    done
  fi
  if [ -n "$stop" ]; then
    shot "$name-stop"
    # shellcheck disable=SC2086
    xdotool mousemove --window "$id" $stop click 1
    end=
    for _ in $(seq 30); do
      end=$(row_button "$id") && [ -n "$end" ] && [ "$end" != "$stop" ] && break
      end=
      sleep 1
    done
    grep -q '^run ' "$work/$name.sim" || fail "$name: the silent calculator was not told: $(tail -n 1 "$work/$name.sim")"
    if [ -n "$end" ]; then
      sleep 0.5; shot "$name-end"
      # shellcheck disable=SC2086
      xdotool mousemove --window "$id" $end click 1
    else
      fail "$name: no question below the rows after the Stop"
      kill "$app" 2>/dev/null
    fi
  else
    fail "$name: no Stop on the silent row (windows: $(titles | tr '\n' ','))"
    kill "$app" 2>/dev/null
  fi
  wait "$app"
  code=$?
  [ "$code" = 18 ] || fail "$name: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
  lines=$(wc -l 2>/dev/null <"$work/$name-state/zentrix-update/history.jsonl")
  [ "$lines" = 2 ] || fail "$name: $lines history lines, expected 2"
done

# Nothing configured: the window offers the device chooser, listing the COM
# ports; the first is picked and remembered in the user's configuration
# file (%LOCALAPPDATA%: a COM port is this computer's), then the first
# warning refused. An older version's roaming file (%APPDATA%) naming no
# device is moved there first, and the remembered line is added to it.
name=chooser
config="$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname local -type d | head -n 1)/zentrix-update"
roaming="$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname roaming -type d | head -n 1)/zentrix-update"
rm -rf "$config" "$roaming"
mkdir -p "$roaming"
printf '# kept from before\r\n' >"$roaming/zentrix-update.conf"
env -u ZENTRIX_DEVICES -u ZENTRIX_USB_IDS ZENTRIX_UI=gui \
  timeout 120 "$wine" "$bin/zentrix-update.exe" "$winimg" >"$work/$name.out" 2>"$work/$name.err" &
app=$!
pids+=($app)
answer 'Choose the calculator' chooser Down Tab space Return &&
  answer 'Connect the calculator\.' '' Return &&
  answer 'Warning' '' Return || kill "$app" 2>/dev/null
wait "$app"
code=$?
[ "$code" = 18 ] || fail "chooser: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
remembered=$(tr -d '\r' <"$config/zentrix-update.conf" 2>/dev/null | grep -v '^#')
[ "$remembered" = 'device = \\.\COM1' ] || fail "chooser: remembered '$remembered', expected 'device = \\.\COM1'"
grep -q '^# kept from before' "$config/zentrix-update.conf" || fail "chooser: the roaming file was not moved"
[ ! -e "$roaming/zentrix-update.conf" ] || fail "chooser: the roaming file is still there"
rm -rf "$config" "$roaming"

# On a console: from a command prompt (a console shared with cmd), and from
# this shell with its input given; no answers, so the first warning's
# default, Cancel, ends the run.
timeout 30 "$wine" start /wait cmd /c "$winbin\\zentrix-update.exe $winimg < nul > ${winimg%img}prompt.out" \
  >/dev/null 2>&1
code=$?
[ "$code" = 18 ] || fail "prompt: exit code $code, expected 18"
ZENTRIX_DEVICES='\\.\COM9' timeout 30 "$wine" "$bin/zentrix-update.exe" "$winimg" </dev/null >"$work/shell.out" 2>&1
code=$?
[ "$code" = 18 ] || fail "shell: exit code $code, expected 18"
for name in prompt shell; do
  boxes=$(tr -d '\r' <"$work/$name.out" 2>/dev/null | grep '^== ' | tr '\n' ',')
  [ "$boxes" = "== Connect the calculator. ==,== Warning ==," ] || fail "$name: not on the console: '$boxes'"
done

# As from the Start menu: no folder, started in a folder without images.
mkdir -p "$work/install" "$work/no-images"
for name in folder folder_de; do
  if [ "$name" = folder ]; then
    lang=en choose='Choose the folder that holds UpdateExe\.bin and UpdateCode\.bin' error=Error
    connect='Connect the calculator\.' warning=Warning sure="Delete all data in calculator's Main Memory\." complete=Complete
  else
    lang=de choose='Wählen Sie den Ordner mit UpdateExe\.bin und UpdateCode\.bin' error=Fehler
    connect='Rechner anschließen\.' warning=Warnung sure='Alle Daten im Hauptspeicher des Rechners löschen\.' complete=Abgeschlossen
  fi
  port=$([ "$name" = folder ] && echo 13 || echo 14)
  (cd "$work/install" && ZENTRIX_UI=gui ZENTRIX_LANG=$lang ZENTRIX_DEVICES="\\\\.\\COM$port" \
     timeout 120 "$wine" "$bin/zentrix-update.exe" >"$work/$name.out" 2>"$work/$name.err") &
  app=$!
  pids+=($app)
  typed() {   # types the folder $2 into the folder dialog titled $1 and chooses it
    local id
    id=$(find_box "$1") || { fail "$name: no folder dialog (windows: $(titles | tr '\n' ','))"; return 1; }
    sleep 0.5
    shot "$name-$3"
    xdotool windowfocus --sync "$id" 2>/dev/null
    xdotool type --delay 5 "$2"
    xdotool key --clearmodifiers Return
  }
  if typed "$choose" "Z:${work//\//\\}\\no-images" dialog &&
     answer "$error" refused Return &&
     typed "$choose" "$winimg" again &&
     answer "$connect" '' Return &&
     answer "$warning" '' shift+Tab space &&
     answer "$sure" '' shift+Tab space; then
    answer "$complete" '' Escape || kill "$app" 2>/dev/null
  else
    kill "$app" 2>/dev/null
  fi
  wait "$app"
  code=$?
  [ "$code" = 18 ] || fail "$name: exit code $code, expected 18 ($(tail -n 3 "$work/$name.err"))"
  conf=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/zentrix-update/zentrix-update.conf' | head -n 1)
  [ "$(grep '^image-folder' "$conf" 2>/dev/null | tail -n 1)" = "image-folder = $winimg" ] \
    || fail "$name: the folder chosen is not remembered ($conf)"
done

sleep 0.5
for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
wait 2>/dev/null
grep -q 'images received intact' "$work/update.sim" || fail "update: $(tail -n 1 "$work/update.sim")"
! grep -q '^run ' "$work/refused.sim" || fail "refused: the calculator saw a run: $(tail -n 1 "$work/refused.sim")"
grep -q '^run ' "$work/hangup.sim" && ! grep -q 'images received intact' "$work/hangup.sim" \
  || fail "hangup: $(tail -n 1 "$work/hangup.sim")"
for name in class1 class2; do
  grep -q 'images received intact' "$work/$name.sim" || fail "$name: $(tail -n 1 "$work/$name.sim")"
done
grep -q '^run ' "$work/class3.sim" && ! grep -q 'images received intact' "$work/class3.sim" \
  || fail "class3: $(tail -n 1 "$work/class3.sim")"
grep -q 'images received intact' "$work/station.sim" || fail "station: $(tail -n 1 "$work/station.sim")"
for name in quick quick_de folder folder_de; do
  grep -q 'images received intact' "$work/$name.sim" || fail "$name: $(tail -n 1 "$work/$name.sim")"
done
for name in silent silent_de; do
  grep -q 'abandoned by the updater' "$work/$name.sim" || fail "$name: $(tail -n 1 "$work/$name.sim")"
done
for name in update hangup class1 class2 class3 station quick silent quick_de silent_de folder folder_de; do echo "$name: $(tail -n 1 "$work/$name.sim")"; done

[ "$failures" = 0 ] && echo "window update under wine: all cases passed"
exit $(( failures > 0 ))
