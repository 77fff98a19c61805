#!/usr/bin/env bash
# The window tests that matter run on X11 (Xvfb) and on Wayland (weston's
# headless backend with Qt's Wayland plugin): start-up against the
# simulator, the shaped face, the PIN dialog, every page button. Each run
# also draws the face; the two pictures must agree but for a few pixels (the
# clock). With KV_SHOT_DIR set the pictures are kept there.
# Usage: face_on_both.sh <app_tests program>
set -u
TESTS=$1
for p in Xvfb weston compare; do
  command -v "$p" >/dev/null || { echo "SKIP: $p is not installed"; exit 77; }
done
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
fail() { echo "FAIL: $*"; for f in "$WORK"/*.log; do echo "--- $f"; tail -30 "$f"; done; exit 1; }
wait_for() {
  local n=$1; shift
  for _ in $(seq "$n"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

FILTER='MainWindow.LayoutFollowsTheTablesAndTheFaceIsShaped:MainWindow.TheFacePaintsItsKeyColourTransparent'
FILTER+=':MainWindow.AgainstTheSimulatorTheIndicatorsComeAlive:MainWindow.APinDialogOpenedForTheEngineIsEndedByTheEngineStop'
FILTER+=':MainWindow.WithoutAModemEveryPageButSettingsRefuses:PageButtonsWindow.*:MainWindow.FaceShotOfThisPlatform'

export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# X11: a display of our own, its number chosen by the server.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
wait_for 100 test -s "$WORK/display" || fail "Xvfb did not start"
DISPLAY=":$(cat "$WORK/display")" QT_QPA_PLATFORM=xcb KV_FACE_SHOT="$WORK/x11.png" \
  "$TESTS" --gtest_filter="$FILTER" >"$WORK/x11.log" 2>&1 || fail "the window tests failed on X11"
grep -q "PASSED" "$WORK/x11.log" || fail "no test ran on X11"

weston --backend=headless-backend.so --socket=kv-face --width=1024 --height=768 --idle-time=0 \
  >"$WORK/weston.log" 2>&1 &
PIDS+=($!)
wait_for 100 test -S "$XDG_RUNTIME_DIR/kv-face" || fail "weston did not start"
env -u DISPLAY WAYLAND_DISPLAY=kv-face QT_QPA_PLATFORM=wayland KV_FACE_SHOT="$WORK/wayland.png" \
  "$TESTS" --gtest_filter="$FILTER" >"$WORK/wayland.log" 2>&1 || fail "the window tests failed on Wayland"
grep -q "PASSED" "$WORK/wayland.log" || fail "no test ran on Wayland"

for f in x11 wayland; do test -s "$WORK/$f.png" || fail "no picture of the face on $f"; done
# Differing pixels (a 10% colour tolerance); the clock and the blinking
# cursor may differ, a missing face or a wrong colour may not.
DIFF=$(compare -metric AE -fuzz 10% "$WORK/x11.png" "$WORK/wayland.png" null: 2>&1 | cut -d' ' -f1)
case "$DIFF" in ''|*[!0-9.e+]*) fail "the pictures cannot be compared: $DIFF" ;; esac
if [ -n "${KV_SHOT_DIR:-}" ]; then
  mkdir -p "$KV_SHOT_DIR" && cp "$WORK/x11.png" "$WORK/wayland.png" "$KV_SHOT_DIR/"
fi
LIMIT=$((500 * 640 / 50))
awk -v d="$DIFF" -v l="$LIMIT" 'BEGIN { exit !(d + 0 <= l) }' \
  || fail "the face differs in $DIFF pixels between X11 and Wayland (at most $LIMIT)"
echo "ok: the window tests pass on X11 and Wayland; the faces differ in $DIFF pixels"
