#!/usr/bin/env bash
# Runs an already built Korvianet (see run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=build/bin
SIM_PID=""
cleanup() { [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true; }
trap cleanup EXIT

modem_present() {
  [ -x "$BIN/korvianet-cli" ] && "$BIN/korvianet-cli" ports 2>/dev/null | grep -q '^COM'
}

if ! modem_present && [ -x "$BIN/korvianet-modem-sim" ]; then
  echo "No modem found: starting the modem simulator."
  coproc SIM { exec "$BIN/korvianet-modem-sim"; }
  SIM_PID=$SIM_PID
  read -r -t 10 DEVICE <&"${SIM[0]}" || true
  echo "Simulated modem on ${DEVICE:-?}"
fi

if [ -x "$BIN/korvianet" ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running under Xvfb."
    exec xvfb-run -a "$BIN/korvianet"
  fi
  "$BIN/korvianet"
else
  "$BIN/korvianet-cli" "${@:---help}"
fi
