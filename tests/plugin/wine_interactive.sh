#!/usr/bin/env bash
# farhost.exe as a person runs it on Windows: a console program under wine,
# in a terminal (tmux), keys typed, the screen read back. The plug-in is
# configured (a wrong directory first), attaches a file through the real
# brnet32.dll into a Bink outbound, and a dialog is cancelled with Esc.
#   wine_interactive.sh FARHOST.EXE SENDREL.DLL EMULATOR...
set -euo pipefail
farhost=$1 module=$2
shift 2
emulator=("$@")
source "$(dirname "$0")/tmux_session.sh"
tmux_session_init "$(mktemp -d)" 0.3
root="Software\\BrnetInteractive\\$$"
extra_cleanup() {
  "${emulator[@]}" reg delete "HKCU\\Software\\BrnetInteractive\\$$" /f >/dev/null 2>&1 || true
}
winpath() { echo "Z:${1//\//\\}"; }

mkdir -p "$work/panel" "$work/out"
echo data > "$work/panel/a.txt"

# Runs farhost.exe with ARGS, the plug-in's settings under our own root key.
start() {
  start_session "$(printf '%q ' "${emulator[@]}" "$farhost" -r "$root\\Plugins" "$module" "$@")"
}
setting() {
  "${emulator[@]}" reg query "HKCU\\$root\\Plugins\\Quorral\\Sendrel" /v "$1" 2>/dev/null |
    tr -d '\r' | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# 1. Configure: a wrong directory, the warning, then the right one.
start configure
wait_for "Sendrel configuration"
type_text "2:5020/100"
keys Tab Down Space
wait_for "(•) Bink outbound"
keys Tab
type_text 'Z:\nonexistent'
keys Enter
wait_for "This directory does not exist"
keys Enter
wait_for "Sendrel configuration"
screen | grep -qF 'Z:\nonexistent' || fail "the dialog lost the typed path"
keys Left C-y  # the caret moved, then Ctrl+Y clears the field
type_text "$(winpath "$work/out")"
keys Enter
[ "$(finished)" = "EXIT=1" ] || fail "configure: $(cat "$work/exit") (one warning expected)"
screen | grep -qF "Configure: settings changed" || fail "configure did not save"
[ "$(setting MainAddr)" = "2:5020/100" ] || fail "MainAddr: '$(setting MainAddr)'"
[ "$(setting OutbType)" = "0x1" ] || fail "OutbType: '$(setting OutbType)'"
[ "$(setting OutbPath)" = "$(winpath "$work/out")" ] || fail "OutbPath: '$(setting OutbPath)'"

# 2. Attach: Hold, delete after sending, into the configured outbound.
start attach -p "$(winpath "$work/panel")" a.txt
wait_for "Send 1 file(s) (5b) to:"
type_text "2:5020/1234"
keys Tab Up Space
keys Tab Space
wait_for "[x] Delete/move after sending"
keys Enter
[ "$(finished)" = "EXIT=0" ] || fail "attach: $(cat "$work/exit")"
flow="$work/out/139C04D2.hlo"
[ -f "$flow" ] || fail "no flow file: $(ls "$work/out")"
tr -d '\r' < "$flow" | grep -qi '^\^Z:\\.*\\A\.TXT$' || fail "flow line: $(cat "$flow")"
[ "$(setting DestAddr)" = "2:5020/1234" ] || fail "DestAddr: '$(setting DestAddr)'"
[ "$(setting Flavor)" = "0x0" ] || fail "Flavor: '$(setting Flavor)'"

# 3. Esc cancels and keeps the settings as they were.
start configure
wait_for "Sendrel configuration"
screen | grep -qF "2:5020/100" || fail "the saved main address is not shown"
type_text "99"
keys Escape
[ "$(finished)" = "EXIT=0" ] || fail "cancel: $(cat "$work/exit")"
screen | grep -qF "Configure: nothing changed" || fail "cancel was not reported"
screen | grep -qF "Sendrel configuration" && fail "the closed dialog is still on the screen"
[ "$(setting MainAddr)" = "2:5020/100" ] || fail "cancelling changed MainAddr"
echo "interactive run under wine: ok"
