#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/install-deps and its profiles, on a pretend machine: dpkg-query,
# apt-get, sudo and id are stand-ins (on PATH first) that answer from a list
# of installed packages and record what apt-get was asked to do.
#   - scripts/demo on a machine with nothing installed asks apt-get for the
#     run profile only: no test or Windows tool;
#   - each profile installs what is missing and nothing when all is there;
#   - apt-get goes through sudo when not root, never as root (scripts/demo
#     included);
#   - --list prints every package of the profiles, installed or not.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {   # check WHAT COMMAND...: reports a FAIL line when COMMAND fails
  local what=$1
  shift
  if ! "$@"; then
    echo "FAIL: $what"
    failures=$((failures + 1))
  fi
}

# Tools the run profile must not pull in, named here independently of the
# script's own lists.
not_for_running='umockdev|gtest|gmock|benchmark|clang|lintian|valgrind|devscripts|appstream|fakeroot|xvfb|xdotool|imagemagick|mingw|wine|nsis|python3'

mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'SHIM'
#!/usr/bin/env bash
package=${!#}
grep -qxF "$package" "$FAKE_INSTALLED" && printf 'install ok installed'
exit 0
SHIM
cat >"$work/bin/apt-get" <<'SHIM'
#!/usr/bin/env bash
echo "${SUDO_SEEN:-direct} $*" >>"$FAKE_APT_LOG"
case " $* " in *" install "*) exit "${FAKE_APT_STATUS:-0}" ;; esac
SHIM
cat >"$work/bin/sudo" <<'SHIM'
#!/usr/bin/env bash
SUDO_SEEN=sudo exec "$@"
SHIM
cat >"$work/bin/id" <<'SHIM'
#!/usr/bin/env bash
echo "$FAKE_UID"
SHIM
chmod +x "$work/bin"/*

# pretend INSTALLED-LIST UID COMMAND...: runs COMMAND on the pretend machine;
# the packages apt-get was asked to install are left in $work/asked, one a
# line, and how (direct or sudo) in $work/how.
pretend() {
  local installed=$1 uid=$2
  shift 2
  : >"$work/apt.log"
  env -u ZENTRIX_BUILD PATH="$work/bin:$PATH" FAKE_INSTALLED="$installed" FAKE_UID="$uid" FAKE_APT_LOG="$work/apt.log" \
    "$@" >"$work/out" 2>&1
  local status=$?
  grep ' install ' "$work/apt.log" | sed 's/.* -qq --no-install-recommends //' | tr ' ' '\n' |
    sed '/^$/d' | sort -u >"$work/asked"
  grep ' install ' "$work/apt.log" | cut -d' ' -f1 | sort -u >"$work/how"
  return $status
}
list() { "$root/scripts/install-deps" --list "$@"; }

: >"$work/none"
list run >"$work/run"
list test >"$work/test"
list windows >"$work/windows"
list all >"$work/all"
list system >"$work/system"

check "--list run names the build tools" grep -qx -e cmake "$work/run"
for p in g++ make pkg-config qt6-base-dev libusb-1.0-0-dev; do
  check "--list run names $p" grep -qxF "$p" "$work/run"
done
check "--list run names no test or Windows tool: $(grep -E "$not_for_running" "$work/run" | tr '\n' ' ')" \
  bash -c "! grep -qE '$not_for_running' '$work/run'"
check "--list test holds the run profile" bash -c "[ -z \"\$(comm -23 '$work/run' '$work/test')\" ]"
check "--list test names the test tools" grep -qx -e libgtest-dev -e umockdev -e lintian "$work/test"
check "--list windows names the Windows tools" grep -qx -e wine64 -e nsis "$work/windows"
check "--list system holds the run profile" bash -c "[ -z \"\$(comm -23 '$work/run' '$work/system')\" ]"
for p in mmdebstrap qemu-system-x86 e2fsprogs dpkg-dev; do
  check "--list system names $p" grep -qxF "$p" "$work/system"
done
check "--list system names no test or Windows tool" bash -c "! grep -qE 'gtest|umockdev|lintian|wine|mingw' '$work/system'"
check "--list all is the three together" \
  bash -c "[ \"\$(sort -u '$work/run' '$work/test' '$work/windows')\" = \"\$(cat '$work/all')\" ]"
check "--list with no profile is run" bash -c "[ \"\$('$root/scripts/install-deps' --list)\" = \"\$(cat '$work/run')\" ]"
check "an unknown profile is refused" bash -c "! '$root/scripts/install-deps' --list tests >/dev/null 2>&1"
if command -v apt-cache >/dev/null; then
  unknown=
  sort -u "$work/all" "$work/system" >"$work/every"
  if ! xargs apt-cache show <"$work/every" >/dev/null 2>&1; then
    unknown=$(while read -r p; do apt-cache show "$p" >/dev/null 2>&1 || echo "$p"; done <"$work/every")
  fi
  check "every listed package is known to apt: unknown $unknown" test -z "$unknown"
fi

# scripts/demo on a bare machine (apt-get "fails", which ends the demo there).
FAKE_APT_STATUS=1 pretend "$work/none" 0 "$root/scripts/demo" </dev/null
check "scripts/demo stops when apt-get fails" test "$(grep -c ' install ' "$work/apt.log")" -eq 1
check "scripts/demo asks for exactly the run profile: $(tr '\n' ' ' <"$work/asked")" cmp -s "$work/asked" "$work/run"
check "scripts/demo as root runs apt-get without sudo" test "$(cat "$work/how")" = direct

# Profiles on machines holding some of their packages, as root and not.
pretend "$work/run" 0 "$root/scripts/install-deps" run
check "nothing missing: apt-get is not run" test ! -s "$work/apt.log"
pretend "$work/run" 1000 "$root/scripts/install-deps" all
check "all on a run machine installs what run lacks" \
  bash -c "[ \"\$(comm -23 '$work/all' '$work/run')\" = \"\$(cat '$work/asked')\" ]"
check "apt-get goes through sudo when not root" test "$(cat "$work/how")" = sudo
pretend "$work/none" 0 "$root/scripts/install-deps" windows
check "windows on a bare machine installs the windows profile" cmp -s "$work/asked" "$work/windows"
check "as root apt-get runs directly" test "$(cat "$work/how")" = direct

if [ "$failures" -ne 0 ]; then
  echo "install_deps_test: $failures failure(s)"
  exit 1
fi
echo "install_deps_test: profiles run ($(wc -l <"$work/run")), test ($(wc -l <"$work/test")), windows ($(wc -l <"$work/windows")) packages as expected"
