#!/bin/sh
# The shared library is libbrnet32.so.MAJOR.MINOR with the SONAME
# libbrnet32.so.MAJOR, and a program's dynamic section records that name.
#   check_soname.sh LIBRARY MAJOR PROGRAM
set -eu
lib=$1 major=$2 program=$3
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [ "$soname" != "libbrnet32.so.$major" ]; then
  echo "SONAME of $lib: '$soname', expected libbrnet32.so.$major"
  exit 1
fi
needed=$(readelf -d "$program" | sed -n 's/.*Shared library: \[\(libbrnet32[^]]*\)\]/\1/p')
if [ "$needed" != "$soname" ]; then
  echo "$program needs '$needed', expected $soname"
  exit 1
fi
echo "SONAME $soname, needed by $(basename "$program") under that name"
