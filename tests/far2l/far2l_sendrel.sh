#!/usr/bin/env bash
# sendrel in far2l, FAR Manager 2 for Linux, in a terminal (tmux), driven with
# keys; the screen, the settings file and the files the plug-in wrote are
# checked, and brnet reads the settings far2l's plug-in kept.
#
#   far2l_sendrel.sh FAR2L_DIST PLUGIN_DIR LNG_DIR BRNET [SCREENS_DIR]
#
# FAR2L_DIST  the built far2l (far2l, its .lng files); FAR2L_DIST in the
#             environment overrides it. Missing: the test is skipped (exit 77).
# PLUGIN_DIR  the far2l plug-in folder of the build: sendrel.far-plug-mb, its
#             .lng files, libbrnet32.so
# LNG_DIR     the language files' sources (code page 866), to compare with
# BRNET       the brnet program
# SCREENS_DIR where the screens of a failed step are kept
#
# Two runs of far2l, each from its own copy with its own home:
#   1. English: the menu entry, the not-configured warning, the configuration
#      and its checks, attaches for Bink, netmail and both kinds of file boxes
#      with every flavour and delete after sending, a refused destination, a
#      busy node, Esc in both dialogs, the cursor file and a directory under it
#   2. Russian: both dialogs and two warnings in the plug-in's UTF-8 texts
#   3. the mailer's spool (as root, with the users ftn and nobody): far2l
#      as root and as nobody in the group ftn attaches into an outbound of
#      ftn's (2775); the flow files are ftn's group's, a file ftn could not
#      read is refused, and binkd, as ftn, sends the rest to a second binkd
set -uo pipefail

far_dist=${FAR2L_DIST:-$1}
plugin_dir=$2 lng_dir=$3 brnet=$4 screens=${5:-${TMPDIR:-/tmp}/far2l-screens}

if [ ! -x "$far_dist/far2l" ]; then
  echo "SKIP: far2l not found: this test needs the built far2l (the program and its .lng"
  echo "      files) in $far_dist, or FAR2L_DIST set to such a folder"
  exit 77
fi
command -v tmux >/dev/null || { echo "FAIL: tmux is not installed"; exit 1; }

run=$(mktemp -d /tmp/f2lXXXX)
sock="far2l-$$"
mkdir -p "$screens"
rm -f "$screens"/*.txt
. "$(dirname "$0")/../far/steps.sh"

T() { LC_ALL=C.UTF-8 tmux -u -L "$sock" "$@"; }
# far2l outlives a closed terminal (it forks to wait in the background to be
# revived): every process running a program of this test's copies is ended
# by its id.
cleanup() {
  local p exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case $exe in "$run"/*) kill -9 "${p#/proc/}" 2>/dev/null ;; esac
  done
  T kill-server 2>/dev/null
  sleep 0.5
  rm -rf "$run" || { sleep 2; rm -rf "$run"; }
}
trap cleanup EXIT
trap 'exit 1' INT TERM
diagnose() {
  echo "--- outbound, netmail and file boxes"
  (cd "$run" && ls -lR out mail box 2>&1)
  echo "--- far2l's errors"
  tail -20 "$run"/*/far2l.stderr "$run"/net/*/binkd.log 2>/dev/null
}

en() { lng_msg "$lng_dir/SendrelEng.lng" "$1"; }
ru() { lng_msg "$lng_dir/SendrelRus.lng" "$1"; }

# The settings as the plug-in kept them, in the registry file brnet reads.
hive() { echo "$run/$home/config/brnet32/hkcu.reg"; }
setting() { sed -n "s/^\"$1\"=//p" "$(hive)" | tr -d '"'; }
settings_are() { # NAME=VALUE...
  local pair
  for pair in "$@"; do
    [ "$(setting "${pair%%=*}")" = "${pair#*=}" ] || {
      echo "setting ${pair%%=*}: '$(setting "${pair%%=*}")', expected '${pair#*=}'"
      return 1
    }
  done
}
no_settings() { [ ! -e "$(hive)" ]; }

# far2l copy NAME with the plug-in folder as Plugins/sendrel, in LANGUAGE,
# its home (config, cache, temporary files) inside the copy; the panels on
# DIR. The first start's help window is closed. far_as (shell words) goes
# before the program, far_owner (user:group) is given the copy.
#   start_far NAME LANGUAGE DIR
start_far() {
  home=$1
  local dir=$3 h="$run/$1"
  mkdir -p "$h/config/far2l/settings" "$h/cache" "$h/tmp"
  cp -a "$far_dist" "$h/far2l" || fail "cannot copy $far_dist"
  mkdir -p "$h/far2l/Plugins/sendrel"
  cp -a "$plugin_dir"/sendrel.far-plug-mb "$plugin_dir"/*.lng "$plugin_dir"/*.hlf "$plugin_dir"/libbrnet32.so \
    "$h/far2l/Plugins/sendrel/"
  printf '[Language]\nMain=%s\n' "$2" > "$h/config/far2l/settings/config.ini"
  [ -z "${far_owner:-}" ] || chown -R "$far_owner" "$h"
  T kill-server 2>/dev/null
  # kill-server returns before the old server has gone, and a session made
  # meanwhile can go down with it (seen on a loaded machine): made again
  # until it is there.
  local try
  for try in 1 2 3 4 5; do
    T new-session -d -s far -x 120 -y 40 -c "$run" \
      "${far_as:-} env -i PATH=/usr/bin:/bin HOME='$h' TERM=xterm-256color LANG=C.UTF-8 \
         XDG_CONFIG_HOME='$h/config' XDG_CACHE_HOME='$h/cache' BRNET_SEMAPHORE_DIR='$h/sem' \
         TMPDIR='$h/tmp' TEMP='$h/tmp' TMP='$h/tmp' FAR2L_STDERR='$h/far2l.stderr' \
         '$h/far2l/far2l' --tty '$dir' '$dir';
       echo FAR2L-EXITED rc=\$?; sleep 600" 2>/dev/null
    sleep 1
    T has-session -t far 2>/dev/null && break
  done
  wait_for "$dir" 60
  local n
  for n in 1 2 3 4 5; do
    shows "$keybar" && ! shows "Help - FAR2L" && return 0
    keys Escape
    sleep 0.5
  done
  fail "far2l's panels did not come up"
}
quit_far() { # the confirmation's text
  keys F10
  wait_for "$1" 20
  keys Enter
  wait_for "FAR2L-EXITED" 30
  shows "FAR2L-EXITED rc=0" || fail "far2l ended with an error"
  ok
}
# The active panel on DIR, through the command line; the cursor is on "..".
go_to() {
  type_text "cd $1"
  keys Enter
  wait_for " $1 "
}
open_plugin() { keys F11; wait_for "$1"; keys Enter; }
open_config() { keys M-S-F9; wait_for "$1"; keys Down; wait_for "$1"; keys Enter; }

# ---------------------------------------------------------------------------------
out="$run/out" mail="$run/mail" box="$run/box"
mkdir -p "$out" "$mail" "$box"
fixture p0 x.txt=x

step "F11 lists the plug-in; unconfigured, it warns"
keybar=11Plugin
start_far main English "$run/p0"
open_plugin "$(en 2)"
wait_for "$(en 22)"
check "second line" shows "$(en 23)"
check "title" shows "═ $(en 19) ═"
keys Enter
wait_gone "$(en 22)"

step "configuration: Esc saves nothing"
open_config "$(en 3)"
wait_for "$(en 11)"
check "netmail preselected (no settings yet)" shows "(•) $(en 14)"
type_text "2:5020/100"
escape_from "$(en 11)"
check "nothing saved" no_settings

step "configuration: a wrong address and a missing directory"
keys Enter
wait_for "$(en 11)"
type_text "2:5020"
keys M-b Tab
type_text "$run/nowhere"
keys Enter
wait_for "$(printf "$(en 21)" "2:5020")"
keys Enter
wait_for "$(en 26)"
check "the path typed as second line" shows "$run/nowhere"
keys Enter
wait_for "$(en 11)"
check "the dialog keeps the address" shows " 2:5020 "
check "the dialog keeps the path" shows "$run/nowhere"
check "the dialog keeps the type" shows "(•) $(en 15)"
check "nothing saved" no_settings

step "configuration: Bink outbound accepted"
keys M-b BTab C-y
type_text "2:5020/100"
keys M-b Tab C-y
type_text "$out"
keys Enter
wait_gone "$(en 11)"
check "the settings" settings_are MainAddr=2:5020/100 OutbType=dword:00000001 "OutbPath=$out"
escape_from "$(en 3)"

step "Bink: a directory among the selection is refused by name"
fixture p1 a.txt=aaaaa b.txt=bb "long file name.txt=$(head -c 1030 /dev/zero | tr '\0' L)"
mkdir "$run/p1/sub"
go_to "$run/p1"
keys Down IC IC Down IC   # sub, a.txt, "long file name.txt"
open_plugin "$(en 2)"
wait_for "$(en 28)"
check "the folder named" shows " sub "
keys Enter
wait_gone "$(en 28)"
check "no dialog" stays_quiet 1 "$(en 4)"

step "Bink, Hold: two files selected; a refused destination first"
keys Up Up Up IC          # sub no longer selected
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 2 1K)"
keys F1
wait_for "The line at the top counts the files"
escape_from "The line at the top counts the files"
wait_for "$(printf "$(en 5)" 2 1K)"
type_text "2:5020"
keys Enter
wait_for "$(printf "$(en 20)" "2:5020")"
keys Enter
wait_for "$(en 4)"
check "the refused text is shown again" shows " 2:5020  "
keys C-y
type_text "2:5020/1234"
keys M-h Enter
wait_gone "$(en 4)"
check "Hold flow file written" wait_file "$out/139c04d2.hlo"
check "both files by their long names" \
  same_lines "$out/139c04d2.hlo" "$run/p1/a.txt" "$run/p1/long file name.txt"
check "destination and flavour saved" settings_are DestAddr=2:5020/1234 Flavor=dword:00000000

step "the selection is cleared: the next attach offers the cursor file"
open_plugin "$(en 2)"
wait_for "$(en 4)"
check "one file, not the two sent" shows "$(printf "$(en 5)" 1 5b)"
escape_from "$(en 4)"

step "a directory under the cursor is refused by name"
fixture p2 c.txt=cccccc
mkdir "$run/p2/sub"
truncate -s $(((5 << 30) + 1)) "$run/p2/big.img"
go_to "$run/p2"
keys Down
open_plugin "$(en 2)"
wait_for "$(en 28)"
check "the folder named" shows " sub "
keys Enter
wait_gone "$(en 28)"
check "no dialog" stays_quiet 1 "$(en 4)"

step "a file over 4 GiB: its size from far2l's 64-bit field"
keys Down
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 1 5120M)"
escape_from "$(en 4)"

step "Bink, Normal, delete after sending: the cursor file, nothing selected"
keys Down
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 1 6b)"
check "last destination prefilled" shows " 2:5020/1234 "
check "last flavour preselected" shows "(•) $(en 7)"
check "delete/move starts unchecked" shows "[ ] $(en 10)"
keys M-n M-m
wait_for "[x] $(en 10)"
keys Enter
wait_gone "$(en 4)"
check "Normal flow file, the line marked for deletion" wait_file "$out/139c04d2.flo"
check "its line" same_lines "$out/139c04d2.flo" "^$run/p2/c.txt"
check "the file stays until the mailer sends it" test -f "$run/p2/c.txt"
check "flavour saved" settings_are DestAddr=2:5020/1234 Flavor=dword:00000001

step "a busy node: the library's error, destination and flavour kept"
fixture p3 d.txt=dddd
printf 'another mailer\n' > "$out/139c03e7.bsy"
go_to "$run/p3"
keys Down
open_plugin "$(en 2)"
wait_for "$(en 4)"
keys C-y
type_text "2:5020/999"
keys M-d Enter
wait_for "$(en 25)"
check "the library's text" shows "Node 2:5020/999 is busy"
keys Enter
wait_gone "$(en 25)"
check "nothing attached" test ! -e "$out/139c03e7.dlo"
check "the other mailer's flag untouched" test "$(cat "$out/139c03e7.bsy")" = "another mailer"
check "destination and flavour saved" settings_are DestAddr=2:5020/999 Flavor=dword:00000002

step "attach dialog: Esc saves nothing"
open_plugin "$(en 2)"
wait_for "$(en 4)"
check "the busy node's destination prefilled" shows " 2:5020/999 "
check "Direct preselected" shows "(•) $(en 9)"
keys C-Down
wait_for "2:5020/1234"
save_screen attach-history
check "the refused 2:5020 not in the line's history" matches_none '2:5020([^/]|$)'
keys Escape
wait_gone "2:5020/1234"
keys C-y
type_text "2:5020/555"
keys M-h
escape_from "$(en 4)"
check "settings unchanged" settings_are DestAddr=2:5020/999 Flavor=dword:00000002
check "no flow file" bash -c "! ls '$out' | grep -qi '^139c022b'"

step "Bink, Direct: once the node is free"
rm "$out/139c03e7.bsy"
open_plugin "$(en 2)"
wait_for "(•) $(en 9)"
keys Enter
wait_gone "$(en 4)"
check "Direct flow file" wait_file "$out/139c03e7.dlo"
check "its line" same_lines "$out/139c03e7.dlo" "$run/p3/d.txt"

step "the same file again: named with its flow file, skipped"
open_plugin "$(en 2)"
wait_for "(•) $(en 9)"
keys Enter
wait_for "$(printf "$(en 38)" 2:5020/999)"
check "the flow file named" shows "139c03e7.dlo"
keys Enter
wait_gone "$(printf "$(en 38)" 2:5020/999)"
check "not queued twice" same_lines "$out/139c03e7.dlo" "$run/p3/d.txt"

step "brnet reads the settings far2l's plug-in kept"
queue=$(XDG_CONFIG_HOME="$run/main/config" BRNET_BINKD_CFG= "$brnet" queue 2>&1)
check "brnet queue: $queue" bash -c "grep -q '^2:5020/1234 .*hold' <<<'$queue' &&
  grep -q '^2:5020/999 .*direct' <<<'$queue' && grep -q '^total: 2 nodes, 4 files' <<<'$queue'"

# Sets outbound type HOTKEY and its directory DIR in the configuration dialog.
configure() { # HOTKEY DIR TYPE-VALUE
  open_config "$(en 3)"
  wait_for "$(en 11)"
  check "the saved address shown" shows " 2:5020/100 "
  keys "M-$1" Tab C-y
  type_text "$2"
  keys Enter
  wait_gone "$(en 11)"
  escape_from "$(en 3)"
  check "the settings" settings_are MainAddr=2:5020/100 "OutbType=$3" "OutbPath=$2"
}

step "netmail attach, Hold, delete after sending"
configure m "$mail" dword:00000000
fixture p4 e.txt=eeeee
go_to "$run/p4"
keys Down
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 1 5b)"
keys C-y
type_text "2:5020/1234"
keys M-h M-m
wait_for "[x] $(en 10)"
keys Enter
wait_gone "$(en 4)"
msg="$mail/2.msg"   # 1.msg is left to tossers
check "one message" wait_file "$msg"
subject=$(dd if="$msg" bs=1 skip=72 count=72 2>/dev/null | tr -d '\0')
check "the file's full name as subject" test "$subject" = "$run/p4/e.txt"
attr=$(od -An -tu2 -j186 -N2 "$msg" | tr -d ' ')
check "file attached and hold" test $((attr & 0x210)) -eq $((0x210))
check "kill file sent flag" bash -c "tr '\1' '\n' < '$msg' | grep -a '^FLAGS' | grep -qw KFS"

step "file boxes, Normal, two files moved"
configure f "$box" dword:00000002
fixture p5 f.txt=ffffff g.txt=gggggg
go_to "$run/p5"
keys Down IC IC
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 2 12b)"
keys M-n M-m
wait_for "[x] $(en 10)"
keys Enter
wait_gone "$(en 4)"
nbox=$(find "$box" -maxdepth 1 -iname 024ss16i.00)
check "box of 2:5020/1234, Normal" wait_file "$nbox/g.txt"
check "both files in it" test "$(cat "$nbox/f.txt" "$nbox/g.txt")" = ffffffgggggg
check "moved, not copied" test ! -e "$run/p5/f.txt" -a ! -e "$run/p5/g.txt"

step "long file boxes, Hold, a copy of a file with a Cyrillic (UTF-8) name"
configure l "$box" dword:00000003
fixture p6 "письмо.txt=hhh"
go_to "$run/p6"
keys Down
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 1 3b)"
check "Normal preselected" shows "(•) $(en 8)"
keys M-h Enter
wait_gone "$(en 4)"
check "long box of 2:5020/1234, Hold" \
  wait_file "$(find "$box" -maxdepth 1 -iname 2.5020.1234.0.h)/письмо.txt"
check "copied, not moved" test -f "$run/p6/письмо.txt"
check "settings" settings_are DestAddr=2:5020/1234 Flavor=dword:00000000
quit_far "Do you want to quit FAR?"

# --- Russian -------------------------------------------------------------------------
step "Russian: the attach dialog's texts"
mkdir -p "$run/rus/config"
cp -r "$run/main/config/brnet32" "$run/rus/config/"
fixture p7 r.txt=rrrrrrr
keybar=11Модули
start_far rus Russian "$run/p7"
keys Down
open_plugin "$(ru 2)"
wait_for "$(ru 4)"
save_screen russian-attach
for m in 6 7 8 9 10 0 1; do check "message $m: $(ru $m)" shows "$(ru $m)"; done
check "message 5 filled in" shows "$(printf "$(ru 5)" 1 7b)"
step "Russian: a wrong destination"
keys C-y
type_text "xyz"
keys Enter
wait_for "$(printf "$(ru 20)" xyz)"
check "title" shows "═ $(ru 19) ═"
keys Enter
wait_for "$(ru 4)"
escape_from "$(ru 4)"

step "Russian: the configuration dialog's texts and its warnings"
open_config "$(ru 3)"
wait_for "$(ru 11)"
save_screen russian-config
for m in 12 13 14 15 16 17 18; do check "message $m: $(ru $m)" shows "$(ru $m)"; done
keys C-y
type_text "xyz"
keys Tab Tab C-y
type_text "/nowhere"
keys Enter
wait_for "$(printf "$(ru 21)" xyz)"
keys Enter
wait_for "$(ru 26)"
keys Enter
wait_for "$(ru 11)"
escape_from "$(ru 11)"
escape_from "$(ru 3)"
check "settings unchanged" settings_are MainAddr=2:5020/100 OutbType=dword:00000003 "OutbPath=$box"
quit_far "Вы хотите завершить работу в FAR?"

# --- the mailer's spool ---------------------------------------------------------------
# A: ftn's spool, as binkd's Debian package makes it; B: the peer 2:5020/1234.
# binkd's configurations are the interop tests'; both binkd run in a network
# namespace of their own, so the ports are theirs alone.
net="$run/net"
# Sends what A's outbound holds to B: B's binkd serves, A's, as ftn, calls.
binkd_session() { # NAME... that must arrive in B's inbound
  unshare -n sh -c 'ip link set lo up || exit 1
    net=$1; shift
    timeout 60 binkd -s -q "$net/b.cfg" >/dev/null 2>&1 & s=$!
    n=100; until ss -ltn "sport = :24555" | grep -q LISTEN || [ $((n -= 1)) = 0 ]; do sleep 0.1; done
    timeout 60 setpriv --reuid=ftn --regid=ftn --init-groups binkd -p -q "$net/a.cfg" >/dev/null 2>&1
    for f; do n=100; until [ -e "$net/B/inb/$f" ] || [ $((n -= 1)) = 0 ]; do sleep 0.1; done; done
    kill $s; wait $s' sh "$net" "$@"
}
if [ "$(id -u)" != 0 ] || ! id ftn >/dev/null 2>&1 || ! id nobody >/dev/null 2>&1 ||
   ! command -v binkd setpriv ip ss >/dev/null || ! unshare -n true 2>/dev/null; then
  echo "note: the mailer's spool steps need root, the users ftn and nobody, binkd, setpriv,"
  echo "      ip, ss and a network namespace (unshare -n): skipped"
else
  step "the mailer's spool: far2l as root (umask 022) attaches into ftn's outbound"
  mkdir -p "$net"/A/{OUT,inb,inb-ns,BOXES} "$net"/B/{OUT,inb,inb-ns}
  chown -R ftn:ftn "$net/A"
  chmod 2775 "$net/A/OUT"
  chmod 711 "$run"   # ftn and nobody reach their files below it
  for c in a b; do
    sed -e "s|@ROOT@|$net|g; s|@PORT_A@|24554|g; s|@PORT_B@|24555|g; s|@B_AKA@|2:5020/1234|g" \
      "$(dirname "$0")/../interop/conf/$c.cfg.in" > "$net/$c.cfg"
  done
  fixture s1 "root.txt=$(head -c 3000 /dev/urandom | base64)"
  mkdir -p "$run/spool-root/config"
  cp -r "$run/main/config/brnet32" "$run/spool-root/config/"
  keybar=11Plugin far_as="umask 022;"
  start_far spool-root English "$run/s1"
  configure b "$net/A/OUT" dword:00000001
  keys Down
  open_plugin "$(en 2)"
  wait_for "$(en 4)"
  keys C-y
  type_text "2:5020/1234"
  keys M-d Enter
  wait_gone "$(en 4)"
  dlo="$net/A/OUT/139c04d2.dlo"
  check "Direct flow file" wait_file "$dlo"
  check "its line" same_lines "$dlo" "$run/s1/root.txt"
  check "ftn's, its group's to write: $(stat -c '%a %U:%G' "$dlo")" \
    test "$(stat -c '%a %U:%G' "$dlo")" = "664 ftn:ftn"
  quit_far "Do you want to quit FAR?"

  step "the mailer's spool: far2l as nobody in the group ftn (umask 077)"
  fixture s2 "member.txt=$(head -c 3000 /dev/urandom | base64)" secret.txt=secret
  chown -R nobody:ftn "$run/s2"
  chmod 640 "$run/s2/member.txt"
  chmod 600 "$run/s2/secret.txt"
  mkdir -p "$run/spool-member/config"
  cp -r "$run/spool-root/config/brnet32" "$run/spool-member/config/"
  far_owner=nobody:nogroup
  far_as="umask 077; setpriv --reuid=nobody --regid=nogroup --groups=ftn"
  start_far spool-member English "$run/s2"
  keys Down Down   # secret.txt
  open_plugin "$(en 2)"
  wait_for "$(en 4)"
  keys M-n Enter
  wait_for "$(en 25)"
  check "refused: ftn could not read it" shows "the mailer's user ftn cannot"
  keys Enter
  wait_gone "$(en 25)"
  flo="$net/A/OUT/139c04d2.flo"
  check "nothing attached" test ! -e "$flo"
  keys Up
  open_plugin "$(en 2)"
  wait_for "$(en 4)"
  keys M-n Enter
  wait_gone "$(en 4)"
  check "Normal flow file" wait_file "$flo"
  check "its line" same_lines "$flo" "$run/s2/member.txt"
  check "the member's, the group's to write: $(stat -c '%a %U:%G' "$flo")" \
    test "$(stat -c '%a %U:%G' "$flo")" = "660 nobody:ftn"
  quit_far "Do you want to quit FAR?"
  far_as= far_owner=

  step "the mailer's spool: binkd, as ftn, sends both files"
  binkd_session "root.txt" member.txt
  check "root's file arrived" cmp "$run/s1/root.txt" "$net/B/inb/root.txt"
  check "the member's file arrived" cmp "$run/s2/member.txt" "$net/B/inb/member.txt"
  check "the secret did not" test ! -e "$net/B/inb/secret.txt"
  check "binkd removed the flow files" test ! -e "$dlo" -a ! -e "$flo"
fi

echo "far2l: $checks checks passed in $((SECONDS - started)) s"
