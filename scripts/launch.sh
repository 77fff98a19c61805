#!/usr/bin/env bash
# Runs an already built Korvianet (see run.sh). With no modem attached the
# modem simulator is started first and stopped when the program ends; with
# no display the program runs under Xvfb. The program keeps its data (the
# user's database copy, the traffic files) in the user data folder, never in
# build/bin: build/bin/WVL.MDB is only the template it copies on first start.
# With arguments, korvianet-cli runs them instead of the window (e.g.
# `connect --seconds 10`: the data connection through the simulated dial-up
# service, in the terminal).
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=build/bin
# Debian sets no XDG_* variables by default and a login may leave HOME
# unset: every one of them is read with a default, as the program reads them.
xdg_data=${XDG_DATA_HOME:-}
home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
if [ -n "${KORVIANET_DATA_DIR:-}" ]; then DATA=$KORVIANET_DATA_DIR
elif [ -n "$xdg_data" ] && [ "${xdg_data#/}" != "$xdg_data" ]; then DATA=$xdg_data/korvianet
else DATA=$home/.local/share/korvianet; fi
echo "Data folder: $DATA"
SIM_PID=""
CHILD=""
cleanup() { if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi; }
trap cleanup EXIT
# A logout, a shutdown or `kill` ends the program, not only this script: the
# signal is passed on (to the whole group of the window's X server), the
# script waits for the program to close, and then stops the simulator.
# A Ctrl-C at the terminal already reaches a command-line child in our own
# group, so INT is passed on only to a group of its own.
forward() {
  [ -n "$CHILD" ] || return 0
  kill -"$1" -- "-$CHILD" 2>/dev/null && return 0
  [ "$1" = INT ] || kill -"$1" "$CHILD" 2>/dev/null || true
}
for sig in TERM INT HUP; do trap "forward $sig" "$sig"; done
# Runs a program in the background and waits for it, so that a signal to
# this script is taken at once; a wait cut short by a signal is waited again.
run_child() {
  "$@" <&0 &
  CHILD=$!
  local status=0
  while :; do
    status=0
    wait "$CHILD" || status=$?
    kill -0 "$CHILD" 2>/dev/null || break
  done
  CHILD=""
  return "$status"
}

modem_present() {
  [ -x "$BIN/korvianet-cli" ] && "$BIN/korvianet-cli" ports 2>/dev/null | grep -q '^COM'
}

if ! modem_present && [ -x "$BIN/korvianet-modem-sim" ]; then
  echo "No modem found: starting the modem simulator."
  coproc SIM { exec "$BIN/korvianet-modem-sim"; }
  SIM_PID=$SIM_PID
  DEVICE=""
  read -r -t 10 DEVICE <&"${SIM[0]}" || true
  echo "Simulated modem on ${DEVICE:-?}"
  # The simulated card is a CDMA card: Net Connect wants an account.
  if [ -z "$("$BIN/korvianet-cli" config get teal_dialer.ini username text 2>/dev/null || true)" ]; then
    "$BIN/korvianet-cli" config set teal_dialer.ini username text card >/dev/null
    "$BIN/korvianet-cli" config set teal_dialer.ini password text card >/dev/null
    echo "Dial-up account for the simulator: card / card"
  fi
fi

if [ "$#" -gt 0 ]; then
  status=0
  run_child "$BIN/korvianet-cli" "$@" || status=$?
  exit "$status"
fi

if [ -x "$BIN/korvianet" ]; then
  status=0
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running under Xvfb."
    # In a group of its own, so that a signal reaches xvfb-run, its X
    # server and the program together.
    run_child setsid xvfb-run -a "$BIN/korvianet" || status=$?
  else
    run_child "$BIN/korvianet" || status=$?
  fi
  exit "$status"
else
  "$BIN/korvianet-cli" --help
fi
