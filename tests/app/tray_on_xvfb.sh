#!/usr/bin/env bash
# The program in a real X session with a notification area (trayer) and the
# modem simulator: the Minimize button sends the window to the tray and the
# program runs on; a double-click or a single click on the icon brings the
# window back; pulling the modem out while in the tray brings it back too;
# the Exit button then ends the program with status 0.
# Usage: tray_on_xvfb.sh <folder of korvianet and korvianet-modem-sim>
set -u
BIN=$1
for tool in Xvfb trayer xdotool xwininfo xdpyinfo; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local n=$1; shift
  for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

DISPLAY_NO=""
for n in $(seq 140 199); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NO=$n; break; fi
done
[ -n "$DISPLAY_NO" ] || { echo "SKIP: no free display number"; exit 77; }
Xvfb ":$DISPLAY_NO" -screen 0 800x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=":$DISPLAY_NO"
wait_for 100 xdpyinfo || fail "Xvfb did not start"

export KORVIANET_CONFIG_DIR="$WORK/cfg" KORVIANET_DATA_DIR="$WORK/data" XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$KORVIANET_CONFIG_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

trayer --edge top --align right --widthtype pixel --width 60 --height 24 >"$WORK/trayer.log" 2>&1 &
PIDS+=($!)
wait_for 50 xdotool search --class trayer || fail "no tray host"

# The simulator's control input: unplug and replug later on.
mkfifo "$WORK/sim.in"
exec 3<>"$WORK/sim.in"
"$BIN/korvianet-modem-sim" <"$WORK/sim.in" >"$WORK/sim.log" 2>&1 &
PIDS+=($!)
wait_for 100 grep -q registered "$WORK/sim.log" || fail "the simulator did not start"

"$BIN/korvianet" >"$WORK/app.log" 2>&1 &
APP=$!
PIDS+=($APP)
wait_for 150 xdotool search --onlyvisible --name "Korvianet USB Modem" || fail "no window"
WIN=$(xdotool search --onlyvisible --name "Korvianet USB Modem" | head -1)
mapped() { xwininfo -id "$WIN" | grep -q "IsViewable"; }
unmapped() { ! mapped; }
sleep 2 # the engine starts and polls

# Minimize (button 1018 at 404,15 of the face), clicked until it takes:
# the button is enabled once the start-up has found the modem.
minimize_once_enabled() {
  for _ in $(seq 30); do
    xdotool mousemove --window "$WIN" 410 21 click 1
    wait_for 5 unmapped && return 0
  done
  return 1
}
minimize_once_enabled || fail "Minimize did not hide the window"
sleep 2
kill -0 "$APP" 2>/dev/null || fail "the program ended when minimised to the tray"

# A double-click on the icon, at the right end of the tray host.
xdotool mousemove 788 12 click --repeat 2 --delay 100 1
wait_for 50 mapped || fail "a double-click on the tray icon did not restore the window"
kill -0 "$APP" 2>/dev/null || fail "the program ended on restore"

# A single click brings it back as well.
xdotool mousemove --window "$WIN" 410 21 click 1
wait_for 50 unmapped || fail "Minimize did not hide the window again"
sleep 1
xdotool mousemove 788 12 click 1
wait_for 50 mapped || fail "a single click on the tray icon did not restore the window"

# In the tray again, the modem is pulled out: the window comes back by
# itself (the removal's half-second timer), and the modem's return is taken.
xdotool mousemove --window "$WIN" 410 21 click 1
wait_for 50 unmapped || fail "Minimize did not hide the window the second time"
echo unplug >&3
wait_for 20 mapped || fail "pulling the modem out did not bring the window back from the tray"
kill -0 "$APP" 2>/dev/null || fail "the program ended when the modem was pulled out"
sleep 3 # Exit comes back once the link has stopped
echo replug >&3
sleep 2

# Exit (button 1136 at 435,15).
xdotool mousemove --window "$WIN" 441 21 click 1
wait_for 150 bash -c "! kill -0 $APP" || fail "Exit did not end the program"
wait "$APP"
status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
echo "PASS"
