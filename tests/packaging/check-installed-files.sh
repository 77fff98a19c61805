#!/usr/bin/env bash
# Installs the build into a scratch folder with prefix /usr and checks the
# tree: every file the package must hold is there, nothing else is, and the
# desktop entry, metainfo, udev rule and completion are well formed.
set -euo pipefail
build=$1 src=$2 ui=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$(mktemp -d /tmp/kvinstall.XXXXXX)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

expected=(
  usr/bin/korvianet-cli usr/bin/korvianet-modem-sim
  usr/share/korvianet/WVL.MDB
  usr/share/doc/korvianet/copyright usr/share/doc/korvianet/changelog.gz
  usr/share/applications/korvianet.desktop
  usr/share/metainfo/example.korvianet.Korvianet.metainfo.xml
  usr/lib/udev/rules.d/60-korvianet.rules
)
[ "$ui" = 1 ] && expected+=(usr/bin/korvianet)
for s in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${s}x${s}/apps/korvianet.png")
done
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "$f is not installed"
done
# Nothing outside the product's own places (no test programs, no libraries,
# no headers).
stray=$(cd "$root" && find . -type f | sed 's|^\./||' | grep -Ev \
  '^usr/bin/korvianet(-cli|-modem-sim)?$|^usr/share/(korvianet|doc/korvianet|applications|metainfo|icons/hicolor|man/man1|bash-completion/completions)/|^usr/lib/udev/rules\.d/' || true)
[ -z "$stray" ] || fail "unexpected files installed: $stray"

# The icons are the size their folder says.
for s in 16 22 24 32 48 64 128 256; do
  f=$root/usr/share/icons/hicolor/${s}x${s}/apps/korvianet.png
  dims=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(24); print("%dx%d" % struct.unpack(">II", d[16:24]))' "$f")
  [ "$dims" = "${s}x${s}" ] || fail "$f is $dims"
done

# The udev rule covers exactly the product ids the port discovery knows.
known=$(grep -o 'kProducts\[\] = {[^}]*}' "$src/src/engine/DrvComm.cpp" | grep -o '"[0-9A-Fa-f]*"' | tr -d '"' | sort | tr '\n' ' ')
rule=$root/usr/lib/udev/rules.d/60-korvianet.rules
[ -n "$known" ] || fail "no product ids found in the port discovery"
while IFS= read -r line; do
  ids=$(grep -o 'idProduct}=="[^"]*"' <<<"$line" | sed 's/.*=="//; s/"$//' | tr '|' '\n' | sort | tr '\n' ' ')
  [ "$ids" = "$known" ] || fail "udev rule names products '$ids', the discovery knows '$known'"
done < <(grep 'idProduct' "$rule")
grep -q 'SUBSYSTEM!="tty", GOTO="korvianet_end"' "$rule" || fail "the uaccess tag is not limited to tty nodes"
grep -q 'TAG+="uaccess"' "$rule" || fail "no uaccess tag"
[ "$(grep -c 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$rule")" = 2 ] || fail "ModemManager is not kept off the device and its ports"
# Every GOTO has its LABEL, and no line uses = where == is meant.
for l in $(grep -o 'GOTO="[^"]*"' "$rule" | sed 's/GOTO="//; s/"//' | sort -u); do
  grep -q "^LABEL=\"$l\"" "$rule" || fail "GOTO $l without LABEL"
done
if grep -Ev '^\s*(#|$)' "$rule" | grep -Eq '(SUBSYSTEMS?|ACTION|ATTRS?\{[^}]*\}|ENV\{DEVTYPE\})="'; then
  fail "a match key uses = instead of =="
fi

# Desktop entry and metainfo, with the validators CI installs.
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
desktop-file-validate "$root/usr/share/applications/korvianet.desktop"
grep -q '^Exec=korvianet$' "$root/usr/share/applications/korvianet.desktop" || fail "the menu entry does not start korvianet"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.korvianet.Korvianet.metainfo.xml" >/dev/null \
  || appstreamcli validate --no-net "$root/usr/share/metainfo/example.korvianet.Korvianet.metainfo.xml"
echo "installed tree ok"
