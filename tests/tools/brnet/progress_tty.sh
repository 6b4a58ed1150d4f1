#!/usr/bin/env bash
# The progress bar of a large box copy appears on a terminal (tmux) and ends
# at 100%; on a pipe nothing is drawn.
#   progress_tty.sh BRNET
set -euo pipefail
brnet=$1
command -v tmux >/dev/null || { echo "SKIP: tmux is not installed"; exit 77; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/../../plugin/tmux_session.sh"
tmux_session_init "$work" 0.2

head -c $((64 << 20)) /dev/zero >"$work/big.bin"
run="BRNET_BINKD_CFG= XDG_CONFIG_HOME='$work' '$brnet' attach -m 2:5020/100 -t box -d '$work/boxes'"
start_session "$run 1234 '$work/big.bin'"
[ "$(finished)" = "EXIT=0" ] || fail "attach failed"
screen | grep -qE '^\[#+\]  100%  64\.0 MiB of 64\.0 MiB  .*/s' || fail "no progress bar at 100%"

err=$(eval "$run -t longbox 1234 '$work/big.bin'" 2>&1 >/dev/null)
[ -z "$err" ] || { echo "FAIL: drawn on a pipe: $err"; exit 1; }
echo "PASS: a bar on the terminal, nothing on a pipe"
