#!/usr/bin/env bash
# Runs the README's run command the way a newcomer does, in an environment
# as plain as a fresh Debian login gives (HOME and PATH, no XDG_* variables,
# no display): the window for a few seconds under Xvfb, stopped with SIGTERM
# as a logout would; then the data connection in the terminal. Checks that
# both ran and that nothing they started is left running.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "newcomer run: FAIL: $*" >&2; exit 1; }

work=$(mktemp -d /tmp/kvnew.XXXXXX)
runner=""
cleanup() {
  if [ -n "$runner" ]; then kill -KILL -- "-$runner" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home"
plain() { env -i HOME="$work/home" PATH="$PATH" "$@"; }

# Processes of this checkout's programs, by their executable.
ours() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$PWD"/build/bin/*) echo "${p#/proc/} $exe" ;; esac
  done
}
[ -z "$(ours)" ] || fail "programs of this checkout are running before the test: $(ours)"
xservers_before=$(pgrep -x Xvfb | sort || true)
new_xservers() { comm -13 <(echo "$xservers_before") <(pgrep -x Xvfb | sort || true) | grep . || true; }

# The window: in a group of its own, so that the check can find all of it.
setsid bash -c 'exec env -i HOME="$1" PATH="$2" bash scripts/run.sh' _ "$work/home" "$PATH" \
  >"$work/window.out" 2>&1 </dev/null &
runner=$!
for _ in $(seq 600); do
  grep -q "running under Xvfb" "$work/window.out" && break
  kill -0 "$runner" 2>/dev/null || { cat "$work/window.out"; fail "scripts/run.sh ended before the window"; }
  sleep 0.1
done
sleep 6
kill -0 "$runner" 2>/dev/null || { cat "$work/window.out"; fail "the window ended by itself"; }
ours | grep -q "/build/bin/korvianet$" || { cat "$work/window.out"; fail "no window program is running"; }
kill -TERM "$runner"
for _ in $(seq 200); do kill -0 "$runner" 2>/dev/null || break; sleep 0.1; done
kill -0 "$runner" 2>/dev/null && { cat "$work/window.out"; fail "scripts/run.sh did not end on SIGTERM"; }
for _ in $(seq 50); do [ -z "$(ours)$(new_xservers)" ] && break; sleep 0.1; done
[ -z "$(ours)" ] || fail "left running after the window closed: $(ours)"
[ -z "$(new_xservers)" ] || fail "an X server was left running: $(new_xservers)"
runner=""
grep -q "unbound variable" "$work/window.out" && { cat "$work/window.out"; fail "the run script broke"; }
echo "newcomer run: window started and stopped"

# The data connection in the terminal.
status=0
plain bash scripts/run.sh connect --seconds 5 >"$work/connect.out" 2>&1 </dev/null || status=$?
[ "$status" = 0 ] || { cat "$work/connect.out"; fail "scripts/run.sh connect --seconds 5 ended with $status"; }
grep -qi "record" "$work/connect.out" || { cat "$work/connect.out"; fail "the session was not recorded"; }
echo "newcomer run: connect ran and recorded its session"

sleep 0.5
[ -z "$(ours)" ] || fail "left running: $(ours)"
echo "newcomer run: ok"
