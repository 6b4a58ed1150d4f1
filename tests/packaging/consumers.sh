# Checks of an installed brnet32, shared by check_install.sh (a tree made by
# `cmake --install`) and check_debs.sh (the Debian packages). Sourced; each
# function prints "ok   ..." or "FAIL ..." and counts failures in $fail.
#
# The caller sets: here (this directory), work (a scratch directory).

fail=${fail:-0}
ok() { echo "ok   $*"; }
bad() {
  echo "FAIL $*"
  fail=$((fail + 1))
}

# attach_with EXE LABEL: EXE (tests/packaging/consumer/attach.c) parses
# 1234.5 after the main address 2:5020/100 and attaches a file, crash, to the
# point 2:5020/1234.5 given as the two address words; the point's crash flow
# file in the Bink outbound must name exactly that file.
attach_with() {
  local exe=$1 label=$2 dir
  dir=$(mktemp -d "$work/attach.XXXXXX")
  mkdir "$dir/out"
  printf 'nodelist\n' >"$dir/nodelist.zip"
  local printed
  if ! printed=$("$exe" "$dir/out" 1234.5 "$dir/nodelist.zip" 2>&1); then
    bad "$label: attach failed: $printed"
    return
  fi
  [ "$printed" = "2:5020/1234.5" ] || bad "$label: parsed 1234.5 as '$printed'"
  local flow="$dir/out/139c04d2.pnt/00000005.clo"
  if [ ! -f "$flow" ]; then
    bad "$label: no flow file 139c04d2.pnt/00000005.clo; the outbound holds: $(cd "$dir/out" && find . -type f | tr '\n' ' ')"
    return
  fi
  local line
  line=$(tr -d '\r' <"$flow")
  if [ "$line" = "$dir/nodelist.zip" ]; then
    ok "$label: brParseAddr 1234.5 -> 2:5020/1234.5, brAttachFiles -> 139c04d2.pnt/00000005.clo names the file"
  else
    bad "$label: flow file holds '$line', expected '$dir/nodelist.zip'"
  fi
}

# build_with_pkgconfig LABEL [LINKFLAGS...]: compiles attach.c with the flags
# pkg-config gives for brnet32 (PKG_CONFIG_PATH as the caller set it).
build_with_pkgconfig() {
  local label=$1
  shift
  local flags exe="$work/attach-pkgconfig"
  if ! flags=$(pkg-config --cflags --libs brnet32); then
    bad "$label: pkg-config knows no brnet32"
    return 1
  fi
  echo "     pkg-config --cflags --libs brnet32: $flags"
  # shellcheck disable=SC2086  # the flags are words
  if cc -std=c99 -Wall -Werror -o "$exe" "$here/consumer/attach.c" $flags "$@"; then
    ok "$label: attach.c compiled and linked with pkg-config's flags"
  else
    bad "$label: attach.c does not build with pkg-config's flags"
    return 1
  fi
}

# build_with_cmake LABEL [CMAKE ARGS...]: configures and builds the consumer
# project, which finds the library with find_package(brnet32 1.0 REQUIRED).
build_with_cmake() {
  local label=$1
  shift
  local dir="$work/consumer-build"
  rm -rf "$dir"
  if cmake -S "$here/consumer" -B "$dir" -G Ninja "$@" >"$work/cmake.log" 2>&1 &&
    cmake --build "$dir" >>"$work/cmake.log" 2>&1; then
    ok "$label: find_package(brnet32 1.0) found $(sed -n 's/^brnet32_DIR:PATH=//p' "$dir/CMakeCache.txt"), brnet32::brnet32 linked"
  else
    cat "$work/cmake.log"
    bad "$label: the find_package(brnet32) project does not build"
    return 1
  fi
}

# check_library LIB: the SONAME and the twelve exports of the installed file.
check_library() {
  local lib=$1 soname
  soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
  if [ "$soname" = "libbrnet32.so.1" ]; then
    ok "readelf -d $lib: SONAME $soname"
  else
    bad "readelf -d $lib: SONAME '$soname', expected libbrnet32.so.1"
  fi
  if sh "$here/../api/check_exports.sh" "$lib" >"$work/exports.log"; then
    ok "nm -D $lib: $(cat "$work/exports.log")"
  else
    cat "$work/exports.log"
    bad "nm -D $lib: not exactly the twelve br functions"
  fi
}

# check_plugin FOLDER: the installed far2l plug-in, loaded as far2l does,
# finds the library through the link beside it (unconfigured, its menu entry
# warns so, messages 22 and 23, rather than the plug-in being inert, 27), and
# its Russian texts are UTF-8.
check_plugin() {
  local folder=$1 dir shown
  dir=$(mktemp -d "$work/plugin.XXXXXX")
  shown=$(XDG_CONFIG_HOME="$dir" python3 "$here/far2l_host.py" "$folder/sendrel.far-plug-mb" 2>&1)
  if [ "$shown" = "#19 #22 #23 #0" ]; then
    ok "$folder/sendrel.far-plug-mb: loaded, bound the library beside it"
  else
    bad "$folder/sendrel.far-plug-mb: expected the not-configured warning, got: $shown"
  fi
  if iconv -f UTF-8 -t UTF-8 "$folder/SendrelRus.lng" >/dev/null 2>&1 &&
    grep -q '^\.Language=Russian,Russian (Русский)' "$folder/SendrelRus.lng"; then
    ok "$folder/SendrelRus.lng: UTF-8"
  else
    bad "$folder/SendrelRus.lng: not the UTF-8 Russian language file"
  fi
}
