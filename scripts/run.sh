#!/usr/bin/env bash
# Sets up a fresh machine, builds, and runs Korvianet. With no modem plugged
# in, the built-in modem simulator is started first so there is a live modem
# to talk to. Extra arguments go to korvianet-cli when the program has no
# window to show.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
exec bash scripts/launch.sh "$@"
