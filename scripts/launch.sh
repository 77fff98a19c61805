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
if [ -n "${KORVIANET_DATA_DIR:-}" ]; then DATA=$KORVIANET_DATA_DIR
elif [ "${XDG_DATA_HOME:-}" = "/${XDG_DATA_HOME#/}" ] && [ -n "${XDG_DATA_HOME:-}" ]; then DATA=$XDG_DATA_HOME/korvianet
else DATA=$HOME/.local/share/korvianet; fi
echo "Data folder: $DATA"
SIM_PID=""
cleanup() { if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi; }
trap cleanup EXIT

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
  "$BIN/korvianet-cli" "$@" || status=$?
  exit "$status"
fi

if [ -x "$BIN/korvianet" ]; then
  status=0
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running under Xvfb."
    xvfb-run -a "$BIN/korvianet" || status=$?
  else
    "$BIN/korvianet" || status=$?
  fi
  exit "$status"
else
  "$BIN/korvianet-cli" --help
fi
