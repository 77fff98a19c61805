#!/usr/bin/env bash
# Builds the Debian package from ./build, installs it on this machine, runs
# the installed programs from /usr/bin as a user with an empty home (the
# simulator standing in for the modem), then removes the package and checks
# that nothing of it is left. Needs root or sudo; refuses to run when a
# korvianet package is already installed.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
fail() { echo "package test: FAIL: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' korvianet 2>/dev/null | grep -q "install ok"; then
  fail "a korvianet package is already installed; remove it first"
fi
leftovers() { find /usr /etc -path '*korvianet*' 2>/dev/null | grep -v "^$PWD" || true; }
[ -z "$(leftovers)" ] || fail "korvianet files exist before the install: $(leftovers)"

rm -f build/korvianet_*.deb
cmake --build build --target package -j"$(nproc)" >/dev/null 2>&1
deb=$(ls build/korvianet_*.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"
if command -v lintian >/dev/null; then
  report=$(lintian "$deb" 2>&1 || true)
  echo "lintian: $(grep -c '^E:' <<<"$report" || true) errors, $(grep -c '^W:' <<<"$report" || true) warnings"
  ! grep -q '^E:' <<<"$report" || { echo "$report"; fail "lintian reports errors"; }
fi

work=$(mktemp -d /tmp/kvpkg.XXXXXX)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
  $SUDO apt-get purge -y -qq korvianet >/dev/null 2>&1 || true
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null 2>&1
touch "$work/stamp"

# A user with an empty home: nothing but HOME and a PATH.
home=$work/home
mkdir -p "$home"
as_user() { env -i HOME="$home" PATH=/usr/bin:/bin "$@"; }
as_user /usr/bin/korvianet-cli --help >/dev/null || fail "korvianet-cli --help"
[ "$(command -v korvianet-cli)" = /usr/bin/korvianet-cli ] || fail "korvianet-cli is not in /usr/bin"
man -w korvianet-cli >/dev/null 2>&1 || [ -f /usr/share/man/man1/korvianet-cli.1.gz ] || fail "no manual page"

# Not through as_user: a shell function in the background is a subshell,
# and its pid is not the simulator's.
env -i HOME="$home" PATH=/usr/bin:/bin /usr/bin/korvianet-modem-sim >"$work/sim.out" 2>"$work/sim.err" </dev/null &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
[ -s "$work/sim.out" ] || fail "the simulator did not start: $(cat "$work/sim.err")"
as_user /usr/bin/korvianet-cli run --seconds 10 >"$work/run.out" 2>&1 \
  || { tail -20 "$work/run.out"; fail "korvianet-cli run"; }
grep -q "engine stopped" "$work/run.out" || { tail -20 "$work/run.out"; fail "the engine did not run to its end"; }
kill "$sim"; wait "$sim" 2>/dev/null || true; sim=""

# The user's database came from the installed template, into the user's own
# private folder; nothing was written under /usr.
copy=$home/.local/share/korvianet/WVL.MDB
[ -f "$copy" ] || fail "no database copy in the user's data folder"
[ "$(stat -c %a "$(dirname "$copy")")" = 700 ] || fail "the data folder is not private"
[ "$(stat -c %a /usr/share/korvianet/WVL.MDB)" = 644 ] || fail "the template's mode changed"
# The ring tone is installed beside the template, readable by everyone.
[ "$(stat -c %a /usr/share/korvianet/RingIn.mid 2>/dev/null)" = 644 ] || fail "no readable ring tone in /usr/share/korvianet"
written=$(find /usr -newer "$work/stamp" -path '*korvianet*' 2>/dev/null || true)
[ -z "$written" ] || fail "written under /usr: $written"

# Nothing the test started is still running.
left=$(pgrep -a -f '^/usr/bin/korvianet' || true)
[ -z "$left" ] || fail "still running after the test: $left"

# The dial-up profiles pppd takes its privileged options from are in place
# and root's: a user can neither change them nor add a profile of their own.
for f in /etc/ppp/peers/korvianet-cdma /etc/ppp/peers/korvianet-gsm /etc/chatscripts/korvianet; do
  [ "$(stat -c %U:%G:%a "$f" 2>/dev/null)" = root:root:644 ] || fail "$f is not installed as root:root 644"
done
[ "$(stat -c %U:%a /etc/ppp/peers)" = root:755 ] || [ "$(stat -c %U:%a /etc/ppp/peers)" = root:2750 ] \
  || fail "/etc/ppp/peers is not root's"
dpkg-query --showformat='${Conffiles}\n' --show korvianet | grep -q /etc/ppp/peers/korvianet-cdma \
  || fail "the profiles are not conffiles"
for f in /etc/ppp/ip-up.d/korvianet-resolved /etc/ppp/ip-down.d/korvianet-resolved; do
  [ "$(stat -c %U:%G:%a "$f" 2>/dev/null)" = root:root:755 ] || fail "$f is not installed as root:root 755"
done

# Removing keeps the administrator's conffiles, purging takes them too.
DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq korvianet >/dev/null
[ -z "$(leftovers)" ] || fail "left after removal: $(leftovers)"
echo "package test: ok"
