#!/usr/bin/env bash
# The main road on a demo setup in ./demo, first as a Linux sysop with binkd
# takes it: a binkd configuration for node 2:5020/100 with its outbound in
# demo/out, brnet attaching the sample files to 2:5020/1234 through that
# configuration, brnet queue showing what waits, and (when binkd is
# installed) a second binkd on loopback, node 2:5020/1234, receiving them.
# Then the sendrel plug-in, run by the farhost host, configured for the same
# outbound, attaches demo/files/sample.txt (Normal flavour), and the library
# is used directly from C.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what the demo uses: no tests, benchmarks, MinGW or wine.
scripts/install-deps.sh --demo
build=build/demo
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRNET_TESTS=OFF \
  -DBRNET_BENCHMARKS=OFF >/dev/null
cmake --build $build --target brnet farhost sendrel brdemo >/dev/null

root=$PWD/demo
rm -rf "$root"
mkdir -p "$root/files" "$root/config" "$root/out" "$root/peer/inb" "$root/peer/out"
printf 'A sample file for 2:5020/1234.\n' >"$root/files/sample.txt"
printf 'The nodelist of the demo.\n' >"$root/files/nodelist.txt"
head -c 200000 /dev/urandom >"$root/files/archive.zip"
export XDG_CONFIG_HOME=$root/config   # the demo's own registry
export BRNET_BINKD_CFG=               # no /etc/binkd/binkd.cfg for the demo
export BRNET_BINKD_UNIT=              # its binkd is run here, not as the service
brnet=$build/tools/brnet/brnet

# Two free ports on loopback, for the two binkd.
read -r port_a port_b < <(python3 -c 'import socket
s=[socket.socket() for _ in range(2)]
[x.bind(("127.0.0.1", 0)) for x in s]
print(*[x.getsockname()[1] for x in s])')

binkd_common() {  # NAME PORT_IN PORT_OUT
  printf 'sysname "%s"\nlocation "demo"\nsysop "Demo"\nnodeinfo TCP,BINKP\n' "$1"
  printf 'iport %s\noport %s\nlisten 127.0.0.1:%s\nbindaddr 127.0.0.1\n' "$2" "$3" "$2"
  printf 'timeout 20s\nconnect-timeout 10s\ntry 1\nhold 1s\nmaxclients 1\nloglevel 4\nconlog 0\n'
}
cat >"$root/binkd.cfg" <<CFG
# binkd for the demo node 2:5020/100: its outbound is demo/out (zone 2).
domain fidonet $root/out 2
domain fido alias-for fidonet
address 2:5020/100@fidonet
log $root/binkd.log
inbound $root/inb
node 2:5020/1234@fidonet 127.0.0.1:$port_b demo
$(binkd_common "Demo node" "$port_a" "$port_b")
CFG
cat >"$root/peer.cfg" <<CFG
# The peer 2:5020/1234 that receives.
domain fidonet $root/peer/out 2
address 2:5020/1234@fidonet
log $root/peer/binkd.log
inbound $root/peer/inb
node 2:5020/100@fidonet 127.0.0.1:$port_a demo
$(binkd_common "Demo peer" "$port_b" "$port_a")
CFG
mkdir -p "$root/inb"

echo "== brnet: attach the sample files to 2:5020/1234 through demo/binkd.cfg"
echo "\$ brnet attach -c demo/binkd.cfg -f crash 2:5020/1234 nodelist.txt archive.zip"
(cd "$root/files" && "$OLDPWD/$brnet" attach -c "$root/binkd.cfg" -f crash 2:5020/1234 \
  nodelist.txt archive.zip)
echo "\$ brnet attach -c demo/binkd.cfg -f hold --kill-sent 1234.5 sample.txt (a copy, for a point)"
cp "$root/files/sample.txt" "$root/files/for-point.txt"
"$brnet" attach -c "$root/binkd.cfg" -f hold --kill-sent 1234.5 "$root/files/for-point.txt"
echo
echo "== brnet queue -v"
"$brnet" queue -v -c "$root/binkd.cfg"
echo "-- demo/out/139c04d2.clo, the flow file binkd reads:"
cat -A "$root/out/139c04d2.clo"

echo
if command -v binkd >/dev/null || [ -x /usr/sbin/binkd ]; then
  binkd=$(command -v binkd || echo /usr/sbin/binkd)
  echo "== binkd: the peer 2:5020/1234 listens on 127.0.0.1:$port_b, our binkd calls it"
  timeout 60 "$binkd" -s -q "$root/peer.cfg" >/dev/null 2>&1 &
  peer=$!
  for _ in $(seq 100); do
    ss -ltn "sport = :$port_b" 2>/dev/null | grep -q LISTEN && break
    sleep 0.05
  done
  timeout 60 "$binkd" -p -q "$root/binkd.cfg" >/dev/null 2>&1 || true
  sleep 0.5
  kill "$peer" 2>/dev/null || true
  wait "$peer" 2>/dev/null || true
  echo "-- arrived at the peer (demo/peer/inb):"
  ls -l "$root/peer/inb"
  echo "-- what still waits (the hold file waits until the point calls):"
  "$brnet" queue -c "$root/binkd.cfg"
else
  echo "== binkd is not installed: skipping the delivery over loopback"
fi

echo
echo "== the plug-in path: sendrel in the farhost host, the same outbound"
host=$build/tools/farhost/farhost
plugin=$build/sendrel/sendrel.so

echo "-- configure: main address 2:5020/100, Bink outbound in demo/out"
$host -b "$plugin" configure -a "field 1=2:5020/100" -a "select Bink" \
  -a "field 2=$root/out" -a "press Ok"

echo
echo "-- attach demo/files/sample.txt to 2:5020/1234, Normal"
$host -b "$plugin" attach "$root/files/sample.txt" -a "#2=2:5020/1234" \
  -a "select Normal" -a "press Ok"

echo
echo "-- the outbound (demo/out)"
(cd "$root/out" && find . -type f | sort)
echo "-- demo/out/139c04d2.flo, the flow file binkd will read:"
cat -A "$root/out/139c04d2.flo"
echo
echo "-- the settings kept (demo/config/brnet32/hkcu.reg), which brnet reads too:"
cat "$root/config/brnet32/hkcu.reg"
echo "\$ brnet queue (settings from the plug-in)"
"$brnet" queue

echo
echo "== the library used directly from C, with its log (demo/brdemo.log)"
$build/tools/demo/brdemo "$root/brdemo.log"
cat "$root/brdemo.log"
