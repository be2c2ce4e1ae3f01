#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test of the window on the accessibility bus: an X server of its
# own (Xvfb), a private session bus with the AT-SPI bus started on it, and
# the test (window_on_bus.py) reading the window as a screen reader does.
#
#   bus_session.sh BUILD_DIR tree|keys LANGUAGE... [--scale N]
#
# With --scale, the window is drawn at Qt's scale factor N (large text).
# With ZENTRIX_BUS_SHOTS set to a folder, the keyboard test saves the
# screen there with the silent row showing.
#
# Exit status 77 (skipped) only when the bus or what reads it cannot be had.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
shift
arguments=()
while [ $# -gt 0 ]; do
  case "$1" in
    --scale) export QT_SCALE_FACTOR=$2; shift 2 ;;
    *) arguments+=("$1"); shift ;;
  esac
done
set -- "${arguments[@]}"

skip() {
  echo "SKIPPED: $*" >&2
  exit 77
}

python=
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import pyatspi' 2>/dev/null; then
    python=$candidate
    break
  fi
done
[ -n "$python" ] || skip "python3-pyatspi is not installed (scripts/install-deps test)"
for tool in Xvfb dbus-run-session dbus-send xdotool; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps test)"
done
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "at-spi2-core is not installed (scripts/install-deps test)"

work=$(mktemp -d "${TMPDIR:-/tmp}/zentrix-bus.XXXXXX")
xvfb_pid=
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: Xvfb says which number it took.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
[ -s "$work/display" ] || skip "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

# The AT-SPI bus is started on the private session bus before the window,
# which then joins it; its files go to a home of the test's own.
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/home/.cache
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
unset QT_QPA_PLATFORM
status=0
dbus-run-session -- bash -c '
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 ||
    { echo "SKIPPED: the AT-SPI bus did not start" >&2; exit 77; }
  exec "$@"' bus "$python" "$here/window_on_bus.py" "$build" "$work" "$@" 2> >(grep -v "fd limit\|Activating service\|Successfully activated\|SpiRegistry daemon" >&2) || status=$?
exit "$status"
