#!/usr/bin/env bash
# A person at the keyboard in Midnight Commander with brnet's menu entries:
# two files tagged in a panel, the attach entry picked from the user menu
# (F2), the address and flavour typed into mc's prompts; the flow file must
# name both files. Then the queue entry shows them. mc runs in tmux.
#   mc_menu.sh BRNET MENU_FILE
set -euo pipefail
brnet=$1 menu=$2
for tool in mc tmux; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/../../plugin/tmux_session.sh"
tmux_session_init "$work" 0.4

mkdir -p "$work/bin" "$work/files" "$work/out" "$work/home/.config/mc"
ln -s "$brnet" "$work/bin/brnet"
cp "$menu" "$work/home/.config/mc/menu"
for f in alpha.txt beta.txt gamma.txt; do echo "$f" >"$work/files/$f"; done
printf 'domain fidonet %s 2\naddress 2:5020/100@fidonet\n' "$work/out" >"$work/binkd.cfg"

env="HOME='$work/home' XDG_CONFIG_HOME='$work/home/.config' PATH='$work/bin':\$PATH"
env="$env BRNET_BINKD_CFG='$work/binkd.cfg' TERM=xterm"
start_session "cd '$work/files' && $env mc -u --nocolor"
wait_for "gamma.txt"
# The cursor starts on "..": down to alpha.txt, tag it and beta.txt.
keys Down
keys IC
keys IC
wait_for "2 files"
keys F2
wait_for "Attach tagged files to a FidoNet node"
keys F
wait_for "Destination FidoNet address"
type_text "1234"
keys Enter
wait_for "Flavour, typed out (empty cancels)"
type_text "crash"
keys Enter
wait_for "Press Enter to return to mc"
screen | grep -qF "2:5020/1234 crash none $work/files/alpha.txt" || fail "no report of alpha.txt"
screen | grep -qF "2:5020/1234 crash none $work/files/beta.txt" || fail "no report of beta.txt"
keys Enter

flow="$work/out/139c04d2.clo"
[ -f "$flow" ] || fail "no flow file $flow"
expected=$(printf '%s\r\n%s\r\n' "$work/files/alpha.txt" "$work/files/beta.txt")
[ "$(cat "$flow")" = "$expected" ] || fail "flow file holds: $(cat -A "$flow")"

keys F2
wait_for "Show the outbound queue"
keys Q
wait_for "Press Enter to return to mc"
screen | grep -qF "total: 1 node, 2 files" || fail "the queue does not show the two files"
keys Enter
keys F10
echo "PASS: mc attached the tagged files through the menu and showed the queue"
