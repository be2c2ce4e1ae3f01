# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that run Windows programs under wine: a wine prefix
# and an X display of the script's own, so its registry, its wineserver -k
# and its windows touch no other test and the tests run side by side.

# Copies the shared prefix ($WINEPREFIX) into WORK/prefix and uses the copy.
private_wine_prefix() {
  cp -a "$WINEPREFIX" "$1/prefix" || { echo "FAIL: cannot copy the wine prefix $WINEPREFIX"; return 1; }
  export WINEPREFIX=$1/prefix
}

# Starts an Xvfb numbered by the X server itself (SCREEN, default
# 1280x1024x24), exports DISPLAY and leaves the server's process in xvfb_pid.
private_display() {
  local work=$1 screen=${2:-1280x1024x24}
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  if [ ! -s "$work/display" ]; then
    echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")"
    return 1
  fi
  export DISPLAY=:$(head -n 1 "$work/display")
}
