#!/usr/bin/env bash
# The package's ppp hooks for systemd-resolved, run the way Debian's
# /etc/ppp/ip-up and ip-down run them (run-parts, a cleared environment,
# pppd's six arguments, DNS1/DNS2 from usepeerdns), with a fake resolvectl
# and systemctl first on PATH: what they hand to resolved, and that they
# leave other links and hostile values alone and never fail.
# usage: ppp-dns-hooks.sh <source dir>
set -uo pipefail
src=$1/packaging/ppp
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work/bin"
cat > "$work/bin/resolvectl" <<'FAKE'
#!/bin/sh
echo "resolvectl $*" >> "$FAKE_LOG"
exit "${FAKE_RESOLVECTL_STATUS:-0}"
FAKE
cat > "$work/bin/systemctl" <<'FAKE'
#!/bin/sh
[ "$*" = "is-active --quiet systemd-resolved.service" ] && [ "$FAKE_RESOLVED" = active ]
FAKE
chmod 755 "$work/bin/resolvectl" "$work/bin/systemctl"

# hook up|down IFACE IPPARAM [VAR=value...]: runs the hook with what pppd
# and ip-up give it; prints what it called, then its exit status.
hook() {
  local dir=ip-$1.d iface=$2 ipparam=$3
  shift 3
  : > "$work/log"
  env -i PATH="$work/bin:/usr/bin:/bin" FAKE_LOG="$work/log" FAKE_RESOLVED="${RESOLVED:-active}" \
    FAKE_RESOLVECTL_STATUS="${RESOLVECTL_STATUS:-0}" IFNAME="$iface" PPP_IFACE="$iface" PPP_IPPARAM="$ipparam" \
    USEPEERDNS=1 "$@" \
    "$src/$dir/korvianet-resolved" "$iface" /dev/ttyUSB0 115200 10.64.0.2 10.64.0.1 "$ipparam"
  local rc=$?
  cat "$work/log"
  echo "exit $rc"
}

expect() { # expect WHAT GOT WANTED
  [ "$2" = "$3" ] || fail "$1: got [$2], wanted [$3]"
}

for d in up down; do
  f=$src/ip-$d.d/korvianet-resolved
  [ -x "$f" ] || fail "$f is not executable"
  # run-parts runs only names of its own character set.
  [ "$(run-parts --list "$src/ip-$d.d")" = "$f" ] || fail "run-parts does not run $f"
  if command -v shellcheck >/dev/null; then shellcheck -s sh "$f" || fail "shellcheck $f"; fi
done

expect "our link up" "$(hook up ppp0 korvianet DNS1=10.11.12.13 DNS2=10.11.12.14)" \
  "$(printf 'resolvectl dns ppp0 10.11.12.13 10.11.12.14\nexit 0')"
expect "one server" "$(hook up ppp1 korvianet DNS1=10.11.12.13)" "$(printf 'resolvectl dns ppp1 10.11.12.13\nexit 0')"
expect "our link down" "$(hook down ppp0 korvianet)" "$(printf 'resolvectl revert ppp0\nexit 0')"
expect "another program's link up" "$(hook up ppp0 provider DNS1=10.11.12.13)" "exit 0"
expect "another program's link down" "$(hook down ppp0 "")" "exit 0"
expect "no servers from the peer" "$(hook up ppp0 korvianet)" "exit 0"
expect "resolved not running" "$(RESOLVED=inactive hook up ppp0 korvianet DNS1=10.11.12.13)" "exit 0"
expect "resolved not running, down" "$(RESOLVED=inactive hook down ppp0 korvianet)" "exit 0"
expect "a hostile server value" "$(hook up ppp0 korvianet 'DNS1=-h' 'DNS2=10.0.0.1;reboot')" "exit 0"
# shellcheck disable=SC2016 # the value is meant literally
expect "a hostile value beside a good one" "$(hook up ppp0 korvianet 'DNS1=$(id)' DNS2=10.9.9.9)" \
  "$(printf 'resolvectl dns ppp0 10.9.9.9\nexit 0')"
expect "a hostile interface name" "$(hook up 'ppp0 x' korvianet DNS1=10.1.1.1)" "exit 0"
expect "resolvectl fails" "$(RESOLVECTL_STATUS=1 hook up ppp0 korvianet DNS1=10.1.1.1)" \
  "$(printf 'resolvectl dns ppp0 10.1.1.1\nexit 0')"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "ppp DNS hooks: all cases passed"
