#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows test program under wine in a prefix and on an Xvfb of its
# own (wine makes no window without a display), and exits with its code.
#   run_in_private_wine.sh WINE WINESERVER PROGRAM [ARGUMENTS...]
set -uo pipefail
wine=$1 wineserver=$2
shift 2
work=$(mktemp -d)
xvfb_pid=
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/private_wine.sh"
private_wine_prefix "$work" || exit 1
private_display "$work" || exit 1
"$wine" "$@"
