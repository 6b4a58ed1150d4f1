#!/usr/bin/env bash
# The host run as a person runs it: in a terminal (tmux), keys typed, the
# screen read back. The plug-in is configured, then attaches a file through
# the recording stand-in for brnet32, then a dialog is cancelled with Esc.
set -euo pipefail
farhost=$1 module=$2 lngdir=$3 standin=$4
source "$(dirname "$0")/tmux_session.sh"
tmux_session_init "$(mktemp -d)" 0.15

mkdir -p "$work/plugin" "$work/cfg" "$work/panel" "$work/out"
ln -s "$module" "$work/plugin/sendrel.so"
ln -s "$lngdir"/*.lng "$work/plugin/"
ln -s "$standin" "$work/plugin/libbrnet32.so"
echo data > "$work/panel/a.txt"

# Runs farhost with ARGS.
start() {
  start_session "env XDG_CONFIG_HOME='$work/cfg' HOME='$work' BR_STANDIN_LOG='$work/calls.log' \
    '$farhost' '$work/plugin/sendrel.so' $*"
}

# 1. Configure: a wrong path first, the warning, then the right one.
start configure
wait_for "Sendrel configuration"
type_text "2:5020/100"
keys Tab Down Space            # to the outbound types, then Bink
wait_for "(•) Bink outbound"
keys Tab                       # out of the radio group to the path
type_text "/nonexistent"
keys Enter
wait_for "This directory does not exist"
keys Enter
wait_for "Sendrel configuration"
screen | grep -qF "/nonexistent" || fail "the dialog lost the typed path"
keys Left C-y                    # the caret moved, then Ctrl+Y clears the field
type_text "$work/out"
keys Enter
[ "$(finished)" = "EXIT=1" ] || fail "configure: $(cat "$work/exit") (one warning expected)"
screen | grep -qF "Configure: settings changed" || fail "configure did not save"
reg="$work/cfg/brnet32/hkcu.reg"
grep -qF '"MainAddr"="2:5020/100"' "$reg" || fail "MainAddr not saved"
grep -qF '"OutbType"=dword:00000001' "$reg" || fail "OutbType not saved"
grep -qF "\"OutbPath\"=\"$work/out\"" "$reg" || fail "OutbPath not saved"

# 2. Attach: an invalid destination, the warning, then a valid one, Hold,
#    and the check box ticked.
start attach -p "'$work/panel'" a.txt
wait_for "Send 1 file(s) (5b) to:"
type_text "1:2:3"
keys Enter
wait_for "Invalid destination address: 1:2:3"
keys Enter
wait_for "Send 1 file(s)"
keys C-y                        # the dialog stayed open, the text as typed: Ctrl+Y clears it
type_text "2:5020/1234"
keys M-h                       # Alt+H: Hold, as the file manager does, not a cancel
screen | grep -qF "(•) Hold" || fail "Alt+H did not choose Hold"
keys Tab Space                 # out of the group: the check box
wait_for "[x] Delete/move after sending"
keys Enter
[ "$(finished)" = "EXIT=1" ] || fail "attach: $(cat "$work/exit")"
grep -qF "brAttachFiles 2:5020/1234.0 count=1 flavor=4 type=0 mode=1" "$work/calls.log" ||
  fail "attach call: $(cat "$work/calls.log")"
grep -qF "  file $work/panel/a.txt" "$work/calls.log" || fail "file: $(cat "$work/calls.log")"
grep -qF '"DestAddr"="2:5020/1234"' "$reg" || fail "DestAddr not saved"
grep -qF '"Flavor"=dword:00000000' "$reg" || fail "Flavor not saved"

# 3. Esc cancels and keeps everything as it was.
cp "$reg" "$work/before.reg"
start configure
wait_for "Sendrel configuration"
screen | grep -qF "2:5020/100" || fail "the saved main address is not shown"
type_text "99"
keys Escape
[ "$(finished)" = "EXIT=0" ] || fail "cancel: $(cat "$work/exit")"
screen | grep -qF "Configure: nothing changed" || fail "cancel was not reported"
screen | grep -qF "Sendrel configuration" && fail "the closed dialog is still on the screen"
cmp -s "$reg" "$work/before.reg" || fail "cancelling changed the registry"
echo "interactive run: ok"
