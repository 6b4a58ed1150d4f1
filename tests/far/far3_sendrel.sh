#!/usr/bin/env bash
# sendrel in the real file manager: FAR Manager 3 under wine, in a terminal
# (tmux), driven with keys; the screen, the registry and the files the
# plug-in wrote are checked. WINE_BITS (32 or 64, as for tests/win/wine.sh)
# says which: FAR 3 x86 with the 32-bit plug-in, or FAR 3 x64 with the 64-bit
# one.
#
#   far3_sendrel.sh FAR_DIR PLUGIN_DIR PLUGIN_ZIP NOFREELOG_DLL WINE_SH [TEMPLATE_PREFIX [SCREENS_DIR]]
#
# FAR_DIR         the built FAR (Far.exe, its .lng files); FAR3_DIST (x64) or
#                 FAR3_X86_DIST (x86) overrides it. Missing: the test is skipped (exit 77).
# PLUGIN_DIR      the plug-in folder of the build: sendrel.dll, its .lng files, brnet32.dll
# PLUGIN_ZIP      sendrel-VERSION-win32.zip (or win64), installed as its readme says
# NOFREELOG_DLL   a brnet32.dll that lacks brFreeLog
# WINE_SH         the build's wine runner (tests/win/wine.sh)
# TEMPLATE_PREFIX a wine prefix to copy (quicker than making one); optional
# SCREENS_DIR     where the screens of a failed step are kept
#
# Four runs of FAR, each from its own copy with its own profile, in one wine
# prefix of this test's own:
#   1. Russian, no brnet32.dll: a warning naming the plug-in's folder at
#      start-up and at every use, which then does nothing
#   2. English, a brnet32.dll without brFreeLog: the same
#   3. English, the real library: configuration and its checks, every
#      outbound type, every flavour, delete/move after sending, a busy node,
#      Esc in both dialogs, the cursor file, folders refused, the selection
#      cleared after an attach, a name outside the code page refused
#   4. Russian, the plug-in installed from its zip: both dialogs, two
#      warnings and one attach
set -uo pipefail

if [ "${WINE_BITS:-64}" = 32 ]; then
  far_dist=${FAR3_X86_DIST:-$1} far_name="FAR Manager 3 x86" dist_var=FAR3_X86_DIST
else
  far_dist=${FAR3_DIST:-$1} far_name="FAR Manager 3 x64" dist_var=FAR3_DIST
fi
plugin_dir=$2 plugin_zip=$3 nofreelog=$4 wine_sh=$5 template=${6-}
screens=${7:-${TMPDIR:-/tmp}/far3-screens}

if [ ! -f "$far_dist/Far.exe" ]; then
  echo "SKIP: $far_name not found: this test needs the built FAR (Far.exe and its"
  echo "      .lng files) in $far_dist, or $dist_var set to such a folder"
  exit 77
fi
[ -f "$plugin_zip" ] || { echo "FAIL: no $plugin_zip"; exit 1; }
command -v unzip >/dev/null || { echo "FAIL: unzip is not installed"; exit 1; }
command -v tmux >/dev/null || { echo "FAIL: tmux is not installed"; exit 1; }
locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' || { echo "FAIL: the ru_RU.UTF-8 locale is missing"; exit 1; }

# Everything of one run lives under a short 8.3-clean folder: the plug-in
# hands Bink and netmail attaches the short form of each path, which for
# such names is the long form itself.
run=$(mktemp -d /tmp/far3XXXX)
sock="far3-$$"
export WINEPREFIX="$run/wine"
mkdir -p "$screens"
rm -f "$screens"/*.txt
KEY='HKCU\Software\Far Manager\Plugins\Quorral\Sendrel'
. "$(dirname "$0")/steps.sh"

T() { tmux -u -L "$sock" "$@"; }
wine() { "$wine_sh" "$@" </dev/null 2>/dev/null; }
cleanup() {
  T kill-server 2>/dev/null
  "$wine_sh" --stop
  rm -rf "$run"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

winpath() { local p=${1//\//\\}; echo "Z:$p"; }
diagnose() {
  echo "--- outbound, netmail and file boxes"
  (cd "$run" && ls -lR out mail box 2>&1)
  echo "--- wine's errors"
  tail -20 "$run/far.stderr" 2>/dev/null
}

en() { lng_msg "$plugin_dir/SendrelEng.lng" "$1"; }
ru() { lng_msg "$plugin_dir/SendrelRus.lng" "$1"; }

# The plug-in's settings, read once per check from the prefix's registry.
read_settings() { wine reg query "$KEY" | tr -d '\r' > "$run/settings.txt"; }
setting() { awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' "$run/settings.txt"; }
settings_are() { # NAME=VALUE...
  local pair
  read_settings
  for pair in "$@"; do
    [ "$(setting "${pair%%=*}")" = "${pair#*=}" ] || {
      echo "setting ${pair%%=*}: '$(setting "${pair%%=*}")', expected '${pair#*=}'"
      return 1
    }
  done
}
no_settings() { ! wine reg query "$KEY" >/dev/null; }

# --- the wine prefix and the fixture -------------------------------------------

make_prefix() {
  if [ -n "$template" ] && [ -f "$template/system.reg" ]; then
    # Files may come and go while the template's server runs: a failed copy
    # falls back to a new prefix.
    cp -r "$template" "$WINEPREFIX" 2>/dev/null
    [ -f "$WINEPREFIX/system.reg" ] && return
    rm -rf "$WINEPREFIX"
  fi
  echo "making a wine prefix (about half a minute)"
  "$wine_sh" --start
}

# FAR with the plug-in folder installed as Plugins\sendrel, its profile kept
# beside Far.exe (so each copy starts without a plug-in cache).
#   install_far NAME LIBRARY   LIBRARY: a brnet32.dll, "none", or "zip": the
#                              zip unpacked into Plugins, as its readme says
install_far() {
  local home="$run/$1"
  cp -r --no-preserve=mode "$far_dist" "$home" || fail "cannot copy $far_dist"
  printf '[General]\r\nUseSystemProfiles=0\r\n' > "$home/Far.exe.ini"
  mkdir -p "$home/Plugins/sendrel"
  if [ "$2" = zip ]; then
    unzip -q "$plugin_zip" -d "$home/Plugins" || fail "cannot unpack $plugin_zip"
    return
  fi
  cp "$plugin_dir"/sendrel.dll "$plugin_dir"/*.lng "$plugin_dir"/*.hlf "$home/Plugins/sendrel/"
  [ "$2" = none ] || cp "$2" "$home/Plugins/sendrel/brnet32.dll"
}

# Runs FAR copy NAME in LANGUAGE with the active panel on DIR and waits for
# its panels; a start-up that wine botches is tried again.
#   start_far NAME LANGUAGE LOCALE DIR
start_far() {
  local home="$run/$1" language=$2 locale=$3 dir=$4 try
  for try in 1 2 3; do
    T kill-server 2>/dev/null
    LC_ALL=$locale T new-session -d -s far -x 120 -y 40 -c "$run" \
      "env LC_ALL=$locale TERM=xterm '$wine_sh' '$(winpath "$home/Far.exe")' \
         /set:Language.Main=$language '$(winpath "$dir")' 2>>'$run/far.stderr';
       echo FAR-EXITED rc=\$?; sleep 600"
    local tries=450
    while ((tries-- > 0)); do
      shows "$(winpath "$dir") " && return 0
      shows FAR-EXITED && break
      sleep 0.2
    done
    save_screen "start-$1-try$try"
    echo "FAR did not start (try $try); screen kept in $screens/start-$1-try$try.txt"
  done
  fail "FAR did not start three times"
}

quit_far() {
  keys F10
  wait_for "Far?" 20
  keys Enter
  wait_for "FAR-EXITED" 60
  shows "FAR-EXITED rc=0" || fail "FAR ended with an error"
  ok
}

# Changes the active panel to DIR through FAR's command line; the cursor
# is then on "..".
go_to() {
  type_text "cd $(winpath "$1")"
  keys Enter
  wait_for "$(winpath "$1")>"
}

open_plugin() { keys F11; wait_for "$1"; keys Enter; }
open_config() { keys M-S-F9; wait_for "$1"; keys Enter; }

# ---------------------------------------------------------------------------------

make_prefix
out="$run/out" mail="$run/mail" box="$run/box"
mkdir -p "$out" "$mail" "$box"
fixture p0 x.txt=x
install_far nolib none
install_far nofreelog "$nofreelog"
install_far main "$plugin_dir/brnet32.dll"
install_far rus zip

# Without a usable library: a warning at start-up and at every use, naming
# the plug-in's folder; no dialog.
inert_run() { # NAME LANGUAGE LOCALE MSG-FUNCTION
  local msg=$4
  step "$1: a warning at start-up"
  start_far "$1" "$2" "$3" "$run/p0"
  wait_for "$($msg 27)"
  check "the warning's title" shows "═ $($msg 19) ═"
  check "the warning's button" shows "{ $($msg 0) }"
  check "where the library was looked for" shows "$($msg 35)"
  check "the plug-in's folder" shows "$(winpath "$run/$1/Plugins/sendrel")"
  keys Enter
  wait_gone "$($msg 27)"
  step "$1: the plug-in menu entry warns again"
  open_plugin "$($msg 2)"
  wait_for "$($msg 27)"
  keys Enter
  wait_gone "$($msg 27)"
  check "no dialog" stays_quiet 2 "$($msg 4)" "$($msg 22)"
  step "$1: the configuration entry warns again"
  open_config "$($msg 3)"
  wait_for "$($msg 27)"
  keys Enter
  wait_gone "$($msg 27)"
  check "no configuration dialog" stays_quiet 2 "$($msg 11)"
  escape_from "$($msg 3)"
  quit_far
  check "nothing saved" no_settings
}
inert_run nolib Russian ru_RU.UTF-8 ru
inert_run nofreelog English C.UTF-8 en

# --- English, the real library ----------------------------------------------------
step "unconfigured: the menu entry warns"
start_far main English C.UTF-8 "$run/p0"
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
type_text "$(winpath "$run/nowhere")"
keys Enter
wait_for "$(printf "$(en 21)" "2:5020")"
keys Enter
wait_for "$(en 26)"
check "the path typed as second line" shows "$(winpath "$run/nowhere")"
keys Enter
wait_for "$(en 11)"
check "the dialog keeps the address" shows " 2:5020 "
check "the dialog keeps the path" shows "$(winpath "$run/nowhere")"
check "the dialog keeps the type" shows "(•) $(en 15)"
check "nothing saved" no_settings

step "configuration: Bink outbound accepted"
keys M-b BTab C-y
type_text "2:5020/100"
keys M-b Tab C-y
type_text "$(winpath "$out")"
keys Enter
wait_gone "$(en 11)"
check "the settings" settings_are MainAddr=2:5020/100 OutbType=0x1 "OutbPath=$(winpath "$out")"
escape_from "$(en 3)"

step "Bink: a directory among the selection is refused by name"
fixture p1 a.txt=aaaaa b.txt=bb "long file name.txt=$(head -c 1030 /dev/zero | tr '\0' L)"
mkdir "$run/p1/sub"
go_to "$run/p1"
keys Down IC IC Down IC   # sub, a.txt, long file name.txt
open_plugin "$(en 2)"
wait_for "$(en 28)"
check "the folder named" shows " sub "
keys Enter
wait_gone "$(en 28)"
check "no dialog" stays_quiet 1 "$(en 4)"

step "Bink, Hold: two files selected; a wrong destination first"
keys Up Up Up IC          # sub no longer selected
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 2 1K)"
keys F1
wait_for "The line at the top counts the files"
check "the help topic's title" shows "Send files"
escape_from "The line at the top counts the files"
wait_for "$(printf "$(en 5)" 2 1K)"
type_text "2:5020"
keys Enter
wait_for "$(printf "$(en 20)" "2:5020")"
keys Enter
wait_for "$(en 4)"
check "the refused text is kept" shows " 2:5020  "
keys C-y
type_text "2:5020/1234"
keys M-h
keys Enter
wait_gone "$(en 4)"
flow="$out/139C04D2.hlo"
check "Hold flow file written" wait_file "$flow"
check "two lines, the directory left out" test "$(wc -l < "$flow")" -eq 2
check "a.txt by its full name" bash -c "head -1 '$flow' | tr -d '\r' | grep -qixF '$(winpath "$run/p1/a.txt")'"
short_re="^$(winpath "$run/p1" | sed 's/\\/\\\\/g')\\\\[A-Z0-9_]{1,7}~[A-Z0-9~]*\\.TXT\$"
check "the long name in its short 8.3 form" bash -c "sed -n 2p '$flow' | tr -d '\r' | grep -qiE '$short_re'"
check "destination and flavour saved" settings_are DestAddr=2:5020/1234 Flavor=0x0

step "the selection is cleared: the next attach offers the cursor file"
open_plugin "$(en 2)"
wait_for "$(en 4)"
check "one file, not the two sent" shows "$(printf "$(en 5)" 1 5b)"
escape_from "$(en 4)"
check "no third line" test "$(wc -l < "$flow")" -eq 2

step "a directory under the cursor is refused by name"
fixture p2 c.txt=cccccc
mkdir "$run/p2/sub"
go_to "$run/p2"
keys Down
open_plugin "$(en 2)"
wait_for "$(en 28)"
check "the folder named" shows " sub "
keys Enter
wait_gone "$(en 28)"
check "no dialog" stays_quiet 1 "$(en 4)"


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
check "Normal flow file, the line marked for deletion" wait_file "$out/139C04D2.flo"
check "its line" same_lines "$out/139C04D2.flo" "^$(winpath "$run/p2/c.txt")"
check "the file stays until the mailer sends it" test -f "$run/p2/c.txt"
check "flavour saved" settings_are DestAddr=2:5020/1234 Flavor=0x1

step "a busy node: the library's error, destination and flavour kept"
fixture p3 d.txt=dddd
printf 'another mailer\n' > "$out/139C03E7.bsy"
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
check "nothing attached" test ! -e "$out/139C03E7.dlo"
check "the other mailer's flag untouched" bash -c "[ \"\$(cat '$out/139C03E7.bsy')\" = 'another mailer' ]"
check "destination and flavour saved" settings_are DestAddr=2:5020/999 Flavor=0x2

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
check "settings unchanged" settings_are DestAddr=2:5020/999 Flavor=0x2
check "no flow file" bash -c "! ls '$out' | grep -qi '^139C022B'"

step "Bink, Direct: once the node is free"
rm "$out/139C03E7.bsy"
open_plugin "$(en 2)"
wait_for "(•) $(en 9)"
keys Enter
wait_gone "$(en 4)"
check "Direct flow file" wait_file "$out/139C03E7.dlo"
check "its line" same_lines "$out/139C03E7.dlo" "$(winpath "$run/p3/d.txt")"

step "the same file again: named with its flow file, skipped"
open_plugin "$(en 2)"
wait_for "(•) $(en 9)"
keys Enter
wait_for "$(printf "$(en 38)" 2:5020/999)"
check "the flow file named" shows "139C03E7.dlo"
check "Skip them, the first button" shows "{ $(en 40) }"
keys Enter
wait_gone "$(printf "$(en 38)" 2:5020/999)"
check "not queued twice" same_lines "$out/139C03E7.dlo" "$(winpath "$run/p3/d.txt")"

step "a name outside the code page is refused, not sent as \"?\""
fixture p8 "emoji😀.txt=e" ok.txt=o
go_to "$run/p8"
keys Down IC IC            # both files
open_plugin "$(en 2)"
wait_for "$(en 29)"
check "the reason" shows "$(en 31)"
keys Enter
wait_gone "$(en 29)"
check "no dialog" stays_quiet 1 "$(en 4)"
check "nothing of the list queued" bash -c "! grep -qi 'p8' '$out'/*.?lo"

# Sets outbound type HOTKEY and its directory DIR in the configuration dialog.
configure() { # HOTKEY DIR TYPE-VALUE
  open_config "$(en 3)"
  wait_for "$(en 11)"
  check "the saved address shown" shows " 2:5020/100 "
  keys "M-$1" Tab C-y
  type_text "$(winpath "$2")"
  keys Enter
  wait_gone "$(en 11)"
  escape_from "$(en 3)"
  check "the settings" settings_are MainAddr=2:5020/100 "OutbType=$3" "OutbPath=$(winpath "$2")"
}

step "netmail attach, Hold, delete after sending"
configure m "$mail" 0x0
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
check "one message" wait_file "$mail/2.msg"   # 1.msg is left to tossers
msg="$mail/2.msg"
# brnet32.ids keeps the last MSGID serial given out.
check "only that one" test "$(ls "$mail" | tr '\n' ' ')" = "2.msg brnet32.ids "
subject=$(dd if="$msg" bs=1 skip=72 count=72 2>/dev/null | tr -d '\0')
check "the file's full name as subject" test "${subject,,}" = "$(winpath "$run/p4/e.txt" | tr 'A-Z' 'a-z')"
attr=$(od -An -tu2 -j186 -N2 "$msg" | tr -d ' ')
check "file attached and hold" test $((attr & 0x210)) -eq $((0x210))
check "kill file sent flag" bash -c "tr '\1' '\n' < '$msg' | grep -a '^FLAGS' | grep -qw KFS"

step "file boxes, Normal, two files moved"
configure f "$box" 0x2
fixture p5 f.txt=ffffff g.txt=gggggg
go_to "$run/p5"
keys Down IC IC
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 2 12b)"
check "last destination prefilled" shows " 2:5020/1234 "
keys M-n M-m
wait_for "[x] $(en 10)"
keys Enter
wait_gone "$(en 4)"
check "box of 2:5020/1234, Normal" wait_file "$box/024SS16I.00/g.txt"
check "both files in it" test "$(cat "$box/024SS16I.00/f.txt")$(cat "$box/024SS16I.00/g.txt")" = ffffffgggggg
check "moved, not copied" test ! -e "$run/p5/f.txt" -a ! -e "$run/p5/g.txt"

step "long file boxes, Hold, a copy"
configure l "$box" 0x3
fixture p6 h.txt=hhh
go_to "$run/p6"
keys Down
open_plugin "$(en 2)"
wait_for "$(printf "$(en 5)" 1 3b)"
check "Normal preselected" shows "(•) $(en 8)"
keys M-h Enter
wait_gone "$(en 4)"
check "long box of 2:5020/1234, Hold" wait_file "$box/2.5020.1234.0.H/h.txt"
check "copied, not moved" test -f "$run/p6/h.txt"
check "settings" settings_are DestAddr=2:5020/1234 Flavor=0x0

quit_far

# --- Russian, the plug-in from its zip ------------------------------------------------
step "Russian: a folder refused in readable Russian, with an OK button"
fixture p7 r.txt=rrrrrrr файл.txt=ff
mkdir "$run/p7/sub"
start_far rus Russian ru_RU.UTF-8 "$run/p7"
keys Down
open_plugin "$(ru 2)"
wait_for "$(ru 28)"
check "the folder named" shows " sub "
check "the button" shows "{ OK }"
keys Enter
wait_gone "$(ru 28)"

step "Russian: attach dialog texts"
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
step "Russian: an attach with the zipped library"
keys C-y
type_text "2:5020/1234"
keys Enter
wait_gone "$(ru 4)"
check "long box of 2:5020/1234, Hold (the last flavour)" wait_file "$box/2.5020.1234.0.H/r.txt"

step "Russian: a Cyrillic name reaches the library in the ANSI code page"
keys Down                  # файл.txt
open_plugin "$(ru 2)"
wait_for "$(printf "$(ru 5)" 1 2b)"
keys Enter
wait_gone "$(ru 4)"
check "copied into the box under its own name" wait_file "$box/2.5020.1234.0.H/файл.txt"

step "Russian: configuration dialog texts and its warnings"
open_config "$(ru 3)"
wait_for "$(ru 11)"
save_screen russian-config
for m in 12 13 14 15 16 17 18; do check "message $m: $(ru $m)" shows "$(ru $m)"; done
keys C-y
type_text "xyz"
keys Tab Tab C-y
type_text 'Z:\nowhere'
keys Enter
wait_for "$(printf "$(ru 21)" xyz)"
keys Enter
wait_for "$(ru 26)"
keys Enter
wait_for "$(ru 11)"
escape_from "$(ru 11)"
escape_from "$(ru 3)"
check "settings unchanged" settings_are MainAddr=2:5020/100 OutbType=0x3 "OutbPath=$(winpath "$box")"
quit_far

echo "far: $checks checks passed in $((SECONDS - started)) s"
