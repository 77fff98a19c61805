#!/usr/bin/env bash
# Installs (or with --remove, removes) the root-owned dial-up profiles that
# pppd needs to dial for a normal user: /etc/ppp/peers/korvianet-cdma and
# korvianet-gsm, the chat script /etc/chatscripts/korvianet, and the hooks
# /etc/ppp/ip-up.d/korvianet-resolved and ip-down.d/korvianet-resolved that
# hand the peer's DNS servers to systemd-resolved. The package
# installs the same files; this is for running from the build tree.
# Needs root (uses sudo when not root). The user who dials must be in the
# group dip: sudo adduser "$USER" dip, then log out and in again.
set -euo pipefail
src=$(cd "$(dirname "$0")/../packaging/ppp" && pwd)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

files=(peers/korvianet-cdma:/etc/ppp/peers/korvianet-cdma
       peers/korvianet-gsm:/etc/ppp/peers/korvianet-gsm
       chatscripts/korvianet:/etc/chatscripts/korvianet)
hooks=(ip-up.d/korvianet-resolved:/etc/ppp/ip-up.d/korvianet-resolved
       ip-down.d/korvianet-resolved:/etc/ppp/ip-down.d/korvianet-resolved)

if [ "${1:-}" = "--remove" ]; then
  for f in "${files[@]}" "${hooks[@]}"; do $SUDO rm -f "${f#*:}"; done
  echo "removed the korvianet dial-up profiles"
  exit 0
fi
[ -x /usr/sbin/pppd ] || { echo "pppd is not installed: sudo apt-get install ppp" >&2; exit 1; }
for f in "${files[@]}"; do
  $SUDO install -D -o root -g root -m 0644 "$src/${f%%:*}" "${f#*:}"
  echo "installed ${f#*:}"
done
for f in "${hooks[@]}"; do
  $SUDO install -D -o root -g root -m 0755 "$src/${f%%:*}" "${f#*:}"
  echo "installed ${f#*:}"
done
if ! id -nG | tr ' ' '\n' | grep -qx dip; then
  echo "note: $(id -un) is not in the group dip: sudo adduser $(id -un) dip, then log out and in again"
fi
