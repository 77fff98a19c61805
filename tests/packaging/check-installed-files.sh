#!/usr/bin/env bash
# Installs the build into a scratch folder with prefix /usr and checks the
# tree: every file the package must hold is there, nothing else is, and the
# desktop entry, metainfo, udev rule and completions are well formed, and
# every file that names the version names the build's.
set -euo pipefail
build=$1 src=$2 ui=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$(mktemp -d /tmp/kvinstall.XXXXXX)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

expected=(
  usr/bin/korvianet-cli usr/bin/korvianet-modem-sim
  usr/share/korvianet/WVL.MDB usr/share/korvianet/RingIn.mid
  usr/share/doc/korvianet/copyright usr/share/doc/korvianet/changelog.gz
  usr/share/applications/org.korvianet.Korvianet.desktop
  usr/share/metainfo/org.korvianet.Korvianet.metainfo.xml
  usr/lib/udev/rules.d/60-korvianet.rules
  usr/share/man/man1/korvianet-cli.1.gz usr/share/man/man1/korvianet-modem-sim.1.gz
  usr/share/bash-completion/completions/korvianet-cli
  usr/share/dbus-1/interfaces/org.korvianet.Korvianet1.xml
  usr/share/zsh/vendor-completions/_korvianet-cli usr/share/fish/vendor_completions.d/korvianet-cli.fish
  etc/ppp/peers/korvianet-cdma etc/ppp/peers/korvianet-gsm etc/chatscripts/korvianet
  etc/ppp/ip-up.d/korvianet-resolved etc/ppp/ip-down.d/korvianet-resolved
)
[ "$ui" = 1 ] && expected+=(usr/bin/korvianet usr/share/man/man1/korvianet.1.gz)
for s in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${s}x${s}/apps/korvianet.png")
done
# The tray's status icons, each with its symbolic twin.
for i in no-modem connected connecting signal-0 signal-1 signal-2 signal-3 signal-4 signal-5; do
  expected+=("usr/share/icons/hicolor/scalable/status/korvianet-$i.svg"
             "usr/share/icons/hicolor/scalable/status/korvianet-$i-symbolic.svg")
done
for f in "${expected[@]}"; do
  [ -f "$root/$f" ] || fail "$f is not installed"
done
# Nothing outside the product's own places (no test programs, no libraries,
# no headers).
stray=$(cd "$root" && find . -type f | sed 's|^\./||' | grep -Ev \
  '^usr/bin/korvianet(-cli|-modem-sim)?$|^usr/share/(korvianet|doc/korvianet|applications|metainfo|icons/hicolor|man/man1|bash-completion/completions|zsh/vendor-completions|fish/vendor_completions\.d)/|^usr/share/dbus-1/interfaces/org\.korvianet\.Korvianet1\.xml$|^usr/lib/udev/rules\.d/|^etc/ppp/peers/korvianet-(cdma|gsm)$|^etc/chatscripts/korvianet$|^etc/ppp/ip-(up|down)\.d/korvianet-resolved$' || true)
[ -z "$stray" ] || fail "unexpected files installed: $stray"

# The dial-up profiles: readable by all, written by the owner only (the
# package makes root the owner), the privileged options in them and nothing
# that reads a user's file as a script; each dials through the one chat script.
for p in cdma:'#777' gsm:'*99#'; do
  f=$root/etc/ppp/peers/korvianet-${p%%:*}
  [ "$(stat -c %a "$f")" = 644 ] || fail "$f is not mode 644"
  grep -qx 'noauth' "$f" || fail "$f lacks noauth"
  grep -qxF "connect \"/usr/sbin/chat -v -f /etc/chatscripts/korvianet -T '${p#*:}'\"" "$f" || fail "$f does not dial ${p#*:}"
done
[ "$(stat -c %a "$root/etc/chatscripts/korvianet")" = 644 ] || fail "the chat script is not mode 644"
grep -q 'ATDT\\T' "$root/etc/chatscripts/korvianet" || fail "the chat script does not dial chat's -T number"
grep -qx '/etc/ppp/peers/korvianet-cdma' "$src/packaging/conffiles" || fail "the profiles are not conffiles"
# The DNS hooks: run-parts runs only executables; conffiles like the profiles.
for d in up down; do
  f=$root/etc/ppp/ip-$d.d/korvianet-resolved
  [ "$(stat -c %a "$f")" = 755 ] || fail "$f is not mode 755"
  grep -qx "/etc/ppp/ip-$d.d/korvianet-resolved" "$src/packaging/conffiles" || fail "$f is not a conffile"
done

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

# The manual pages read without warnings, one per program.
if command -v man >/dev/null; then
  for page in "$root"/usr/share/man/man1/*.1.gz; do
    warn=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    [ -z "$warn" ] || fail "$(basename "$page"): $warn"
  done
fi
for prog in "$root"/usr/bin/*; do
  [ -f "$root/usr/share/man/man1/$(basename "$prog").1.gz" ] || fail "no manual page for $(basename "$prog")"
done

# The completion, with stand-ins for the two bash-completion helpers it uses.
complete_at() { # words... -> COMPREPLY of the last word
  bash -c '
    _init_completion() { words=("${COMP_WORDS[@]}"); cword=$COMP_CWORD; cur=${words[cword]}; prev=${words[cword-1]}; }
    _filedir() { COMPREPLY=(FILES); }
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _korvianet_cli
    echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/korvianet-cli" "$@"
}
check_completion() { # expected words...
  local want=$1; shift
  local got; got=$(complete_at "$@")
  [ "$got" = "$want" ] || fail "completing '$*': got '$got', want '$want'"
}
check_completion "sms" korvianet-cli sm
commands="at call config connect db disconnect frame history monitor net pb ports run signal-history sms status traffic usage"
check_completion "$commands" korvianet-cli -v ""
check_completion "--seconds" korvianet-cli monitor --s
check_completion "--watch" korvianet-cli status --w
check_completion "--ticks" korvianet-cli at status --t
check_completion "run" korvianet-cli -v --config-dir /tmp/x r
check_completion "list" korvianet-cli --device /dev/ttyUSB1 sms l
check_completion "memory ruim" korvianet-cli pb delete ""
check_completion "--seconds" korvianet-cli run --se
check_completion "FILES" korvianet-cli --config-dir ""
check_completion "teal_dialer.ini" korvianet-cli config get te
check_completion "--callback" korvianet-cli sms send --ca
check_completion "" korvianet-cli db path ""
check_completion "--seconds" korvianet-cli monitor --s
check_completion "--json" korvianet-cli --js
check_completion "--watch" korvianet-cli status --w

# zsh and fish: the same commands. fish answers for real; zsh's completion
# system needs a terminal, so its file is checked for syntax and its list.
zfile=$root/usr/share/zsh/vendor-completions/_korvianet-cli
ffile=$root/usr/share/fish/vendor_completions.d/korvianet-cli.fish
head -1 "$zfile" | grep -qx '#compdef korvianet-cli' || fail "the zsh completion does not declare its command"
zcmds=$(sed -n "/local -a commands=(/,/^ *)/p" "$zfile" | grep -o "^ *'[a-z-]*:" | tr -d " ':" | tr '\n' ' ' | sed 's/ $//')
[ "$zcmds" = "$commands" ] || fail "zsh completes '$zcmds', bash '$commands'"
fcmds=$(grep -o '^set -l commands .*' "$ffile" | sed 's/^set -l commands //')
[ "$fcmds" = "$commands" ] || fail "fish lists '$fcmds', bash '$commands'"
if command -v zsh >/dev/null; then
  zsh -n "$zfile" || fail "the zsh completion does not parse"
fi
if command -v fish >/dev/null; then
  fish -n "$ffile" || fail "the fish completion does not parse"
  fish_at() { fish -c 'source $argv[1]; complete -C $argv[2]' "$ffile" "$1" | cut -f1 | sort | tr '\n' ' ' | sed 's/ $//'; }
  check_fish() { local got; got=$(fish_at "$2"); [ "$got" = "$1" ] || fail "fish completing '$2': got '$got', want '$1'"; }
  check_fish "$commands" "korvianet-cli -v "
  check_fish "monitor" "korvianet-cli --device /dev/ttyUSB1 mo"
  check_fish "--seconds" "korvianet-cli monitor --s"
  check_fish "memory ruim" "korvianet-cli pb delete "
  check_fish "inbox outbox" "korvianet-cli sms delete-all "
  check_fish "answer dial dtmf hangup wait" "korvianet-cli call dial 5551234 "
  check_fish "" "korvianet-cli call dial "
fi

# One version everywhere: the build's (project(VERSION)).
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in the build's cache"
got=$("$root/usr/bin/korvianet-cli" --version)
[ "$got" = "korvianet-cli $version" ] || fail "korvianet-cli --version says '$got', the build is $version"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  zcat "$page" | head -1 | grep -qF "\"korvianet $version\"" || fail "$(basename "$page") names another version"
done
grep -qF "<release version=\"$version\"" "$root/usr/share/metainfo/org.korvianet.Korvianet.metainfo.xml" \
  || fail "the metainfo's release is not $version"
zcat "$root/usr/share/doc/korvianet/changelog.gz" | head -1 | grep -qF "korvianet ($version)" \
  || fail "the changelog's last entry is not $version"
# No version literal of its own in the sources: they take kv::ProgramVersion.
literal=$(grep -rnE --include='*.cpp' --include='*.h' "\"[^\"]*\b$(sed 's/\./\\./g' <<<"$version")\b" "$src/src" || true)
[ -z "$literal" ] || fail "a source names the version itself: $literal"

# The programs that dial link the system bus library (suspend and resume);
# dpkg-shlibdeps makes that the package's dependency on libsystemd0.
dialers=(korvianet-cli)
[ "$ui" = 1 ] && dialers+=(korvianet)
for p in "${dialers[@]}"; do
  readelf -d "$root/usr/bin/$p" | grep -q 'NEEDED.*\[libsystemd\.so\.0\]' || fail "$p does not link libsystemd"
done
dpkg -S libsystemd.so.0 2>/dev/null | grep -q '^libsystemd0[:,]' || fail "libsystemd.so.0 is not libsystemd0's"

# Desktop entry and metainfo, with the validators CI installs.
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
desktop=$root/usr/share/applications/org.korvianet.Korvianet.desktop
meta=$root/usr/share/metainfo/org.korvianet.Korvianet.metainfo.xml
desktop-file-validate "$desktop"
grep -q '^Exec=korvianet$' "$desktop" || fail "the menu entry does not start korvianet"
# The component id is the desktop entry's name, and the window says so too.
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$meta")
[ "$id.desktop" = "$(basename "$desktop")" ] || fail "metainfo id '$id' is not the desktop entry's name"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$meta" || fail "the metainfo launches another entry"
grep -qF "kDesktopId = \"$id\"" "$src/src/version/Version.h" || fail "the window's desktop id is not $id"
# Every screenshot is a file of the repository.
shots=$(sed -n 's:.*<image>.*/doc/screenshots/\(.*\)</image>.*:\1:p' "$meta")
[ -n "$shots" ] || fail "the metainfo lists no screenshots"
[ "$(grep -c '<image>' "$meta")" = "$(wc -l <<<"$shots")" ] || fail "a screenshot is not under doc/screenshots"
for f in $shots; do
  [ -f "$src/doc/screenshots/$f" ] || fail "screenshot $f is not in doc/screenshots"
done
appstreamcli validate --no-net "$meta" >/dev/null || appstreamcli validate --no-net "$meta"
echo "installed tree ok"
