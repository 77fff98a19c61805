#!/usr/bin/env bash
# Draws the tray's status icons as SVG into scalable/status next to this
# script (kept in the repository; the window compiles them in as well):
#   korvianet-signal-0..5   five rising bars, as many lit as the signal has
#   korvianet-connecting    the bars with an amber arrow pair: a dial under way
#   korvianet-connected     a teal tile with the up and down arrows of traffic
#   korvianet-no-modem      a USB stick struck through
# and a -symbolic twin of each in the one grey (#bebebe) that panels recolour
# for their dark or light theme; unlit parts are that grey at 35 %.
# Run again after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/scalable/status"

# Bars on a 16 x 16 grid: x, height (they stand on y = 15).
bars() { # lit lit-colour unlit-colour unlit-opacity
  local lit=$1 on=$2 off=$3 op=$4 i=0 x h
  for xh in "1 4" "4 6" "7 8" "10 11" "13 14"; do
    read -r x h <<<"$xh"
    i=$((i + 1))
    if [ "$i" -le "$lit" ]; then
      printf '  <rect x="%s" y="%s" width="2.5" height="%s" rx="0.5" fill="%s"/>\n' "$x" $((15 - h)) "$h" "$on"
    else
      printf '  <rect x="%s" y="%s" width="2.5" height="%s" rx="0.5" fill="%s" fill-opacity="%s"/>\n' "$x" $((15 - h)) "$h" "$off" "$op"
    fi
  done
}
head() { printf '<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">\n'; }
tail_() { printf '</svg>\n'; }
arrows() { # colour: up arrow on the left, down arrow on the right
  printf '  <path d="M5 2 L8.5 6 L6.2 6 L6.2 13 L3.8 13 L3.8 6 L1.5 6 Z" fill="%s"/>\n' "$1"
  printf '  <path d="M11 14 L14.5 10 L12.2 10 L12.2 3 L9.8 3 L9.8 10 L7.5 10 Z" fill="%s"/>\n' "$1"
}
stick() { # body colour, cross colour
  printf '  <rect x="4" y="5" width="8" height="10" rx="1.5" fill="%s"/>\n' "$1"
  printf '  <rect x="5.5" y="1" width="5" height="4" fill="%s" fill-opacity="0.7"/>\n' "$1"
  printf '  <path d="M1.5 2.5 L14.5 14.5" stroke="%s" stroke-width="2" stroke-linecap="round"/>\n' "$2"
}

for n in 0 1 2 3 4 5; do
  { head; bars "$n" '#13a3a8' '#808080' 0.45; tail_; } >"korvianet-signal-$n.svg"
  { head; bars "$n" '#bebebe' '#bebebe' 0.35; tail_; } >"korvianet-signal-$n-symbolic.svg"
done
{ head; printf '  <rect x="0.5" y="0.5" width="15" height="15" rx="3" fill="#0f7c80"/>\n'; arrows '#f4f7f7'; tail_; } \
  >korvianet-connected.svg
{ head; arrows '#bebebe'; tail_; } >korvianet-connected-symbolic.svg
{ head; bars 5 '#13a3a8' '#13a3a8' 1 | sed 's/fill="#13a3a8"/fill="#13a3a8" fill-opacity="0.45"/'; arrows '#ffb020'; tail_; } \
  >korvianet-connecting.svg
{ head; bars 0 '#bebebe' '#bebebe' 0.35; arrows '#bebebe'; tail_; } >korvianet-connecting-symbolic.svg
{ head; stick '#808080' '#d8383a'; tail_; } >korvianet-no-modem.svg
{ head; stick '#bebebe' '#bebebe'; tail_; } >korvianet-no-modem-symbolic.svg
