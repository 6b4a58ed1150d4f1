#!/usr/bin/env bash
# The Windows zips of one MinGW build, as a user unpacks them:
#   sendrel-VERSION-BITS.zip       the folder sendrel\ for FAR's Plugins
#   brnet32-VERSION-BITS-dev.zip   bin\brnet32.dll, lib\ (import library, CMake
#                                  package), include\brnet32.h
# Lists both and checks the names; unpacks them into ZIPDIR/unpacked (where
# the DLL checks of tests/win then read the zipped copies); compares the
# language files, the header and the two DLL copies with their sources; checks
# that readme.txt is English and Russian in code page 866 with CR LF; links
# a C program against the unpacked import library and header and checks what
# it imports; with an EMULATOR (wine), runs it with the unpacked DLL (the
# outbound's names are compared without case, as Windows does).
#
#   check_zips.sh ZIPDIR VERSION BITS CC OBJDUMP [EMULATOR...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
zipdir=$1 version=$2 bits=$3 cc=$4 objdump=$5
shift 5
fail=0
ok() { echo "ok   $*"; }
bad() {
  echo "FAIL $*"
  fail=$((fail + 1))
}

plugin_zip=$zipdir/sendrel-$version-$bits.zip
dev_zip=$zipdir/brnet32-$version-$bits-dev.zip
# Exactly these files, nothing more.
expect_listing() {
  local zip=$1 expected=$2 actual
  if [ ! -f "$zip" ]; then
    bad "no $zip"
    return
  fi
  actual=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
  echo "     $(basename "$zip") ($(stat -c %s "$zip") bytes): $actual"
  if [ "$actual" = "$expected" ]; then
    ok "$(basename "$zip"): the expected names"
  else
    bad "$(basename "$zip") holds: $actual; expected: $expected"
  fi
}
expect_listing "$plugin_zip" \
  "sendrel/SendrelEng.hlf sendrel/SendrelEng.lng sendrel/SendrelRus.hlf sendrel/SendrelRus.lng \
sendrel/brnet32.dll sendrel/readme.txt sendrel/sendrel.dll "
expect_listing "$dev_zip" "bin/brnet32.dll include/brnet32.h lib/cmake/brnet32/brnet32Config.cmake \
lib/cmake/brnet32/brnet32ConfigVersion.cmake lib/cmake/brnet32/brnet32Targets-release.cmake \
lib/cmake/brnet32/brnet32Targets.cmake lib/libbrnet32.dll.a "
[ "$fail" -eq 0 ] || exit 1

unpacked=$zipdir/unpacked
rm -rf "$unpacked"
mkdir -p "$unpacked/dev"
unzip -q "$plugin_zip" -d "$unpacked"
unzip -q "$dev_zip" -d "$unpacked/dev"

same() {
  if cmp -s "$1" "$2"; then ok "$3"; else bad "$3: $1 and $2 differ"; fi
}
same "$unpacked/sendrel/SendrelEng.lng" "$source_dir/plugin/lng/SendrelEng.lng" "SendrelEng.lng as in the sources"
same "$unpacked/sendrel/SendrelRus.lng" "$source_dir/plugin/lng/SendrelRus.lng" "SendrelRus.lng as in the sources"
for hlf in SendrelEng.hlf SendrelRus.hlf; do
  same "$unpacked/sendrel/$hlf" "$source_dir/plugin/lng/$hlf" "$hlf as in the sources"
done
same "$unpacked/dev/include/brnet32.h" "$source_dir/lib/api/brnet32.h" "brnet32.h as in the sources"
same "$unpacked/sendrel/brnet32.dll" "$unpacked/dev/bin/brnet32.dll" "one brnet32.dll in both zips"

# readme.txt: code page 866 (not UTF-8), CR LF, both languages, this version.
readme=$unpacked/sendrel/readme.txt
if iconv -f UTF-8 -t UTF-8 "$readme" >/dev/null 2>&1; then
  bad "readme.txt reads as UTF-8: not code page 866"
elif ! text=$(iconv -f CP866 -t UTF-8 "$readme"); then
  bad "readme.txt is not code page 866"
elif grep -q $'[^\r]$' "$readme"; then
  bad "readme.txt has lines without CR LF"
elif ! printf '%s\n' "$text" | grep -q "^Install: copy this folder"; then
  bad "readme.txt: no English install text"
elif ! printf '%s\n' "$text" | grep -q "^Установка: скопируйте эту папку"; then
  bad "readme.txt: no Russian install text"
elif ! printf '%s\n' "$text" | grep -q "^sendrel $version: "; then
  bad "readme.txt does not name version $version"
else
  ok "readme.txt: English and Russian, code page 866, CR LF"
fi

# A C program built against the unpacked dev zip. It must import the br
# functions from brnet32.dll under their plain names (on 32-bit through the
# import library's stdcall mapping).
work=$unpacked/program
mkdir -p "$work"
if "$cc" -std=c99 -Wall -Werror -static-libgcc -I "$unpacked/dev/include" \
  -o "$work/attach.exe" "$source_dir/tests/packaging/consumer/attach.c" \
  "$unpacked/dev/lib/libbrnet32.dll.a"; then
  imports=$("$objdump" -p "$work/attach.exe" |
    awk '/DLL Name:/ {dll = $3; next} dll == "brnet32.dll" && $NF ~ /^br/ {print $NF}' | sort | tr '\n' ' ')
  expected="brAttachFiles brFreeOutbound brGetLastError brInitOutbound brParseAddr brSetMainAddr brSetOutboundBsy "
  if [ "$imports" = "$expected" ]; then
    ok "attach.exe linked with the zipped import library; imports from brnet32.dll: $imports"
  else
    bad "attach.exe imports from brnet32.dll: '$imports'; expected: $expected"
  fi
else
  bad "attach.c does not build against the unpacked dev zip"
fi

if [ $# -gt 0 ] && [ -f "$work/attach.exe" ]; then
  cp "$unpacked/dev/bin/brnet32.dll" "$work/"
  mkdir -p "$work/out"
  printf 'nodelist\n' >"$work/nodelist.zip"
  if printed=$(cd "$work" && "$@" attach.exe out 1234.5 nodelist.zip 2>&1) &&
    [ "$(printf '%s' "$printed" | tr -d '\r')" = "2:5020/1234.5" ] &&
    flow=$(find "$work/out" -ipath "$work/out/139c04d2.pnt/00000005.clo") && [ -n "$flow" ] &&
    [ "$(tr -d '\r' <"$flow")" = nodelist.zip ]; then
    ok "attach.exe with the zipped brnet32.dll: 1234.5 -> 2:5020/1234.5, flow file 139c04d2.pnt/00000005.clo names the file"
  else
    bad "attach.exe with the zipped brnet32.dll: '$printed'; outbound: $(cd "$work/out" && find . -type f)"
  fi
fi

echo "zip checks ($bits): $fail failed"
[ "$fail" -eq 0 ]
