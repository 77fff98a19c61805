#!/usr/bin/env bash
# The window killed with SIGKILL while connected: the program with the modem
# simulator in a real X session, Net Connect pressed, a few journal
# checkpoints (one a second here), then kill -9. The next
# `korvianet-cli traffic` folds the journal into the three traffic files as
# one record holding at least the last checkpoint's counters, once.
# Usage: kill9_on_xvfb.sh <folder of korvianet, korvianet-cli and korvianet-modem-sim>
set -u
BIN=$1
for tool in Xvfb xdotool xdpyinfo od; do
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
fail() {
  echo "FAIL: $*"
  for f in app sim cli; do [ -f "$WORK/$f.log" ] && { echo "--- $f.log"; tail -n 30 "$WORK/$f.log"; }; done
  exit 1
}
wait_for() {
  local n=$1; shift
  for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

DISPLAY_NO=""
for n in $(seq 21 29); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NO=$n; break; fi
done
[ -n "$DISPLAY_NO" ] || { echo "SKIP: no free display number"; exit 77; }
Xvfb ":$DISPLAY_NO" -screen 0 800x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=":$DISPLAY_NO"
wait_for 100 xdpyinfo || fail "Xvfb did not start"

export KORVIANET_CONFIG_DIR="$WORK/cfg" KORVIANET_DATA_DIR="$WORK/data" XDG_RUNTIME_DIR="$WORK/run"
export KORVIANET_RAS_BACKEND=sim KORVIANET_JOURNAL_SECONDS=1
# No system bus of the machine's: suspend is another test's.
export KORVIANET_SYSTEM_BUS_ADDRESS="unix:path=$WORK/no-bus"
mkdir -p "$KORVIANET_CONFIG_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$BIN/korvianet-cli" config set teal_dialer.ini username text card >/dev/null || fail "config set"
"$BIN/korvianet-cli" config set teal_dialer.ini password text card >/dev/null || fail "config set"

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

journal() { ls "$KORVIANET_DATA_DIR"/sessions/*.journal 2>/dev/null | head -1; }
received() { sed -n 's/^received //p' "$(journal)" 2>/dev/null; }
counting() { [ -n "$(journal)" ] && [ "$(received)" -gt 0 ] 2>/dev/null; }
# Net Connect (button 1000 at 96,345 of the face, 50x36), pressed again until
# the engine's start-up has enabled it and the session is counting.
for _ in $(seq 10); do
  xdotool mousemove --window "$WIN" 121 363 click 1
  wait_for 30 counting && break
done
counting || fail "no session journal: the connection did not come up"
sleep 3.5 # a few more checkpoints
kill -9 "$APP"
wait "$APP" 2>/dev/null

J=$(journal)
[ -n "$J" ] || fail "the killed session left no journal"
cp "$J" "$WORK/last.journal"
REC=$(sed -n 's/^received //p' "$WORK/last.journal")
SENT=$(sed -n 's/^sent //p' "$WORK/last.journal")
DUR=$(sed -n 's/^duration //p' "$WORK/last.journal")
echo "last checkpoint: duration $DUR ms, received $REC, sent $SENT"
[ "$REC" -gt 0 ] || fail "the checkpoint holds no bytes"
for f in PktFF.dat PktMF.dat PktLF.dat; do
  [ -s "$KORVIANET_DATA_DIR/$f" ] && fail "$f written at the kill"
done

"$BIN/korvianet-cli" traffic >"$WORK/cli.log" 2>&1 || fail "korvianet-cli traffic failed"
grep -q "traffic journal of an ended session folded: " "$WORK/cli.log" || fail "the journal was not folded"
for f in PktFF.dat PktMF.dat PktLF.dat; do
  size=$(stat -c %s "$KORVIANET_DATA_DIR/$f" 2>/dev/null || echo 0)
  [ "$size" -eq 24 ] || fail "$f holds $size bytes, not one record"
  got_dur=$(od -An -tu4 -j12 -N4 "$KORVIANET_DATA_DIR/$f" | tr -d ' ')
  got_sent=$(od -An -tu4 -j16 -N4 "$KORVIANET_DATA_DIR/$f" | tr -d ' ')
  got_rec=$(od -An -tu4 -j20 -N4 "$KORVIANET_DATA_DIR/$f" | tr -d ' ')
  [ "$got_rec" -ge "$REC" ] || fail "$f: received $got_rec < checkpoint's $REC"
  [ "$got_sent" -ge "$SENT" ] || fail "$f: sent $got_sent < checkpoint's $SENT"
  [ "$got_dur" -ge "$DUR" ] || fail "$f: duration $got_dur < checkpoint's $DUR"
done
[ -z "$(journal)" ] || fail "the folded journal is still there"
# Once only.
"$BIN/korvianet-cli" traffic >"$WORK/cli.log" 2>&1 || fail "korvianet-cli traffic failed the second time"
grep -q "folded" "$WORK/cli.log" && fail "folded twice"
[ "$(stat -c %s "$KORVIANET_DATA_DIR/PktFF.dat")" -eq 24 ] || fail "a second record"
echo "PASS"
