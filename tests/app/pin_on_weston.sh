#!/usr/bin/env bash
# The program on a Wayland compositor (weston's headless backend, which has
# no seat) with a PIN-locked card: the PIN dialog's line edit paints, and the
# program keeps running, saying on stderr that the compositor's text input is
# off. Then it is stopped.
# Usage: pin_on_weston.sh <folder of korvianet and korvianet-modem-sim>
set -u
BIN=$1
command -v weston >/dev/null || { echo "SKIP: weston is not installed"; exit 77; }
[ -n "$(find /usr/lib -path '*qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ] \
  || { echo "SKIP: Qt's Wayland platform plugin is not installed"; exit 77; }

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$WORK"/*.log; do echo "--- $f"; tail -20 "$f"; done; exit 1; }
wait_for() {
  local n=$1; shift
  for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

export XDG_RUNTIME_DIR="$WORK/run" KORVIANET_CONFIG_DIR="$WORK/cfg" KORVIANET_DATA_DIR="$WORK/data"
mkdir -p "$XDG_RUNTIME_DIR" "$KORVIANET_CONFIG_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY
weston --backend=headless-backend.so --socket=kv-wayland --width=1024 --height=768 --idle-time=0 \
  >"$WORK/weston.log" 2>&1 &
PIDS+=($!)
wait_for 100 test -S "$XDG_RUNTIME_DIR/kv-wayland" || fail "weston did not start"

mkfifo "$WORK/sim.in"
exec 3<>"$WORK/sim.in"
"$BIN/korvianet-modem-sim" <"$WORK/sim.in" >"$WORK/sim.log" 2>&1 &
PIDS+=($!)
wait_for 100 grep -q registered "$WORK/sim.log" || fail "the simulator did not start"
echo "card pin-locked" >&3

WAYLAND_DISPLAY=kv-wayland QT_QPA_PLATFORM=wayland "$BIN/korvianet" >"$WORK/app.log" 2>&1 &
APP=$!
PIDS+=($APP)
# The engine's start-up finds the locked card and opens the PIN dialog
# within a few seconds; the line edit then paints its cursor.
sleep 10
kill -0 "$APP" 2>/dev/null || { wait "$APP"; fail "the program ended (status $?) with the PIN dialog up"; }
grep -q "no keyboard seat" "$WORK/app.log" || fail "the log does not say why text input is off"
kill -TERM "$APP"
echo "ok: the PIN dialog is up on a seatless Wayland compositor and the program runs on"
