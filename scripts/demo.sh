#!/usr/bin/env bash
# The main road on a demo setup in ./demo: the sendrel plug-in, run by the
# farhost host, is configured for main address 2:5020/100 and a Bink outbound
# in demo/out, then attaches demo/files/sample.txt to 2:5020/1234 (Normal flavour).
# Shows the dialogs, the flow file the mailer will read and the settings kept.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target farhost sendrel brdemo >/dev/null

root=$PWD/demo
rm -rf "$root"
mkdir -p "$root/files" "$root/config" "$root/out"
printf 'A sample file for 2:5020/1234.\n' >"$root/files/sample.txt"
export XDG_CONFIG_HOME=$root/config   # the demo's own registry

host=build/release/tools/farhost/farhost
plugin=build/release/sendrel/sendrel.so

echo "== configure: main address 2:5020/100, Bink outbound in demo/out"
$host -b "$plugin" configure -a "field 1=2:5020/100" -a "select Bink" \
  -a "field 2=$root/out" -a "press Ok"

echo
echo "== attach demo/files/sample.txt to 2:5020/1234, Normal"
$host -b "$plugin" attach "$root/files/sample.txt" -a "#2=2:5020/1234" \
  -a "select Normal" -a "press Ok"

echo
echo "== the outbound (demo/out)"
(cd "$root/out" && find . -type f | sort)
echo "-- demo/out/139c04d2.flo, the flow file binkd will read:"
cat -A "$root/out/139c04d2.flo"
echo
echo "== the settings kept (demo/config/brnet32/hkcu.reg)"
cat "$root/config/brnet32/hkcu.reg"

echo
echo "== the library used directly from C, with its log (demo/brdemo.log)"
build/release/tools/demo/brdemo "$root/brdemo.log"
cat "$root/brdemo.log"
