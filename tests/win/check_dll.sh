#!/bin/sh
# Static checks of a Windows DLL, read with objdump (nothing is run).
#
#   check_dll.sh OBJDUMP exports DLL NAME...
#       the export table holds exactly these names, undecorated, nothing more
#   check_dll.sh OBJDUMP stdcall DLL NAME:ARGBYTES...
#       (32-bit) every `ret` in each export's body removes its own arguments:
#       `ret $ARGBYTES`, or a plain `ret` for none. Needs the symbol table.
#   check_dll.sh OBJDUMP imports DLL
#       the import table names only DLLs that come with Windows
set -eu
objdump=$1 check=$2 dll=$3
shift 3
[ -f "$dll" ] || { echo "no such file: $dll" >&2; exit 2; }
# (The relocation listing at the end is long and of no use here.)
headers=$("$objdump" -p "$dll" | sed "/^PE File Base Relocations/,$ d")
fail=0

# "[   3] brGetLastError" lines: export index and name.
export_names() {
  printf '%s\n' "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^[[:space:]]+\[ *[0-9]+\]/ {print $NF}'
}

check_exports() {
  actual=$(export_names | sort | tr '\n' ' ')
  expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  if [ "$actual" = "$expected" ]; then
    echo "ok   exports: $actual"
  else
    echo "FAIL exports differ"
    echo "     expected: $expected"
    echo "     actual:   $actual"
    fail=1
  fi
}

# The disassembly of the function at ADDR: from its label to the next one
# (only a window after ADDR is disassembled; no export is anywhere near as
# long).
function_body() {
  "$objdump" -d --no-show-raw-insn --start-address=0x"$1" --stop-address=$((0x$1 + 0x2000)) "$dll" |
    awk -v a="$1" '
    /^[0-9a-f]+ <.*>:$/ { if (f) exit; if ($1 == a) { f = 1; print; next } }
    f'
}

# The distinct `ret` forms that end the function at ADDR. A function that
# ends in a tail jump to another function returns through that one's `ret`s,
# so those are followed (a few levels deep).
returns_of() {
  _body=$(function_body "$1")
  {
  printf '%s\n' "$_body" | awk -F'\t' '$2 ~ /^ret/ {sub(/ +$/, "", $2); print $2}'
  if [ "${2:-0}" -lt 4 ]; then
    for target in $(printf '%s\n' "$_body" |
      awk -F'\t' '$2 ~ /^jmp +[0-9a-f]+ <[^+>]*>$/ {split($2, a, " "); print a[2]}'); do
      returns_of "$(printf '%08x' $((0x$target)))" $((${2:-0} + 1))
    done
  fi
  } | sort -u
}

check_stdcall() {
  printf '%s\n' "$headers" | grep -q '^Magic.*PE32$\|^Magic[[:space:]]*010b' ||
    { echo "$dll: not a 32-bit DLL" >&2; exit 2; }
  base=$(printf '%s\n' "$headers" | awk '$1 == "ImageBase" {print $2}')
  for entry in "$@"; do
    name=${entry%%:*} bytes=${entry#*:}
    index=$(printf '%s\n' "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      awk -v n="$name" '$NF == n {split($0, a, /[][]/); print a[2] + 0; exit}')
    if [ -z "$index" ]; then
      echo "FAIL $name: not exported under its plain name"; fail=1; continue
    fi
    rva=$(printf '%s\n' "$headers" | sed -n '/^Export Address Table/,/^$/p' |
      awk -v i="$index" '/\+base\[/ {split($0, a, /[][]/); if (a[2] + 0 == i) {split(a[5], b, " "); print b[1]; exit}}')
    addr=$(printf '%08x' $((0x$base + 0x$rva)))
    label=$(function_body "$addr" | head -1 | sed 's/.*<\(.*\)>:/\1/')
    rets=$(returns_of "$addr")
    if [ "$bytes" -eq 0 ]; then want="ret"; else want=$(printf 'ret    $0x%x' "$bytes"); fi
    if [ -z "$label" ] || [ -z "$rets" ]; then
      echo "FAIL $name: no function body with a ret at 0x$addr"; fail=1
    elif [ "$rets" = "$want" ]; then
      echo "ok   $name -> $label: $want"
    else
      echo "FAIL $name ($label): expected '$want', found: $(echo $rets)"; fail=1
    fi
  done
}

# DLLs that every Windows has. Anything else (libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll, ...) would have to be shipped along.
system_dll() {
  case $(printf '%s' "$1" | tr 'A-Z' 'a-z') in
    kernel32.dll | user32.dll | advapi32.dll | msvcrt.dll | gdi32.dll | shell32.dll | \
      ole32.dll | oleaut32.dll | ntdll.dll | shlwapi.dll | version.dll) return 0 ;;
    *) return 1 ;;
  esac
}

check_imports() {
  dlls=$(printf '%s\n' "$headers" | awk '/DLL Name:/ {print $3}' | sort -u)
  for d in $dlls; do
    if system_dll "$d"; then echo "ok   imports $d"; else echo "FAIL imports $d"; fail=1; fi
  done
}

case $check in
  exports) check_exports "$@" ;;
  stdcall) check_stdcall "$@" ;;
  imports) check_imports ;;
  *) echo "unknown check: $check" >&2; exit 2 ;;
esac
exit $fail
