#!/bin/sh
# Writes the import library of a 32-bit DLL linked with --kill-at, so that C
# callers can declare its functions __stdcall and link as usual.
#   usage: stdcall-implib.sh NM DLLTOOL DLL DEF OUT
# DEF lists the plain export names. The decorated spelling of each (name@N,
# N = argument bytes) is taken from the DLL's own symbol table, that is from
# the compiler, so it cannot drift from the code.
set -eu
nm=$1 dlltool=$2 dll=$3 def=$4 out=$5
symbols=$("$nm" "$dll")
decorated_def="$out.def"
{
  echo "LIBRARY $(basename "$dll")"
  echo "EXPORTS"
  for name in $(sed -n '/^EXPORTS/,$p' "$def" | sed 1d | awk 'NF && $1 !~ /^;/ {print $1}'); do
    decorated=$(printf '%s\n' "$symbols" |
      awk -v n="$name" '$3 ~ ("^_" n "@[0-9]+$") {print substr($3, 2); exit}')
    if [ -z "$decorated" ]; then
      echo "$dll: no stdcall symbol _$name@N" >&2
      exit 1
    fi
    echo "  $decorated"
  done
} >"$decorated_def"
"$dlltool" -k -d "$decorated_def" -l "$out"
