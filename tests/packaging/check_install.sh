#!/usr/bin/env bash
# `cmake --install --strip` of a Linux build tree into a scratch prefix, and
# what a user of that tree relies on: every file in its place, nothing that
# names the build or source tree, the SONAME and the twelve exports, a C
# program built with pkg-config and one with find_package(brnet32) that parse
# an address and attach a file, the CMake package still found after the whole
# tree is moved, the plug-in finding the library through the link beside it,
# brnet's version and manual page.
#
#   check_install.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=consumers.sh
. "$here/consumers.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --strip >"$work/install.log"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
echo "== cmake --install $build --prefix PREFIX --strip (libdir $libdir)"

plugin=lib/far2l/Plugins/sendrel/plug
for f in bin/brnet include/brnet32.h share/man/man1/brnet.1.gz share/brnet/mc.menu \
  share/bash-completion/completions/brnet \
  "$libdir/libbrnet32.so.1.0" "$libdir/pkgconfig/brnet32.pc" \
  "$libdir/cmake/brnet32/brnet32Config.cmake" "$libdir/cmake/brnet32/brnet32ConfigVersion.cmake" \
  "$plugin/sendrel.far-plug-mb" "$plugin/SendrelEng.lng" "$plugin/SendrelRus.lng" \
  "$plugin/SendrelEng.hlf" "$plugin/SendrelRus.hlf"; do
  [ -f "$prefix/$f" ] || bad "not installed: $f"
done
# The test tools stay in the build tree.
for f in bin/farhost share/man/man1/farhost.1.gz "$libdir/brnet/sendrel"; do
  [ ! -e "$prefix/$f" ] || bad "installed, though a test tool: $f"
done
for link in "$libdir/libbrnet32.so.1:libbrnet32.so.1.0" "$libdir/libbrnet32.so:libbrnet32.so.1" \
  "$plugin/libbrnet32.so:$(realpath -m --relative-to="/$plugin" "/$libdir")/libbrnet32.so.1"; do
  name=${link%%:*} target=${link#*:}
  actual=$(readlink "$prefix/$name" || true)
  [ "$actual" = "$target" ] || bad "$name links to '$actual', expected $target"
done
[ "$fail" -eq 0 ] && ok "installed: $(cd "$prefix" && find . ! -type d | wc -l) files and links in place"

# Relocatable: neither the build tree nor the sources are named anywhere.
named=$(grep -rlF -e "$build" -e "$source_dir" "$prefix" || true)
if [ -z "$named" ]; then
  ok "no installed file names $build or $source_dir"
else
  bad "installed files name the build or source tree: $named"
fi
pc_prefix=$(sed -n 's/^prefix=//p' "$prefix/$libdir/pkgconfig/brnet32.pc")
[ "$pc_prefix" = "$prefix" ] && ok "brnet32.pc: prefix is the one installed to" ||
  bad "brnet32.pc: prefix '$pc_prefix', expected $prefix"
pc_version=$(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --modversion brnet32 || true)
project_version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[ "$pc_version" = "$project_version" ] && ok "pkg-config --modversion brnet32: $pc_version" ||
  bad "pkg-config --modversion brnet32: '$pc_version', expected $project_version"

check_library "$prefix/$libdir/libbrnet32.so.1.0"

if PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" \
  build_with_pkgconfig "pkg-config" "-Wl,-rpath,$prefix/$libdir"; then
  attach_with "$work/attach-pkgconfig" "pkg-config program"
fi
if build_with_cmake "CMake" -DCMAKE_PREFIX_PATH="$prefix"; then
  attach_with "$work/consumer-build/attach" "find_package program"
fi
# A 2.0 is not what a 1.x package offers.
if cmake -S "$here/consumer" -B "$work/wrong-version" -DCMAKE_PREFIX_PATH="$prefix" \
  -DBRNET32_WANTED=2.0 >/dev/null 2>&1; then
  bad "find_package(brnet32 2.0) accepted the 1.x package"
else
  ok "find_package(brnet32 2.0) refused by the version file"
fi

# The whole tree moved: the CMake package and the plug-in's link still hold.
mv "$prefix" "$work/moved"
prefix=$work/moved
if build_with_cmake "CMake, tree moved" -DCMAKE_PREFIX_PATH="$prefix"; then
  attach_with "$work/consumer-build/attach" "find_package program, tree moved"
fi
check_plugin "$prefix/$plugin"

version=$("$prefix/bin/brnet" --version)
[ "$version" = "brnet $project_version" ] && ok "brnet --version: $version" ||
  bad "brnet --version: '$version'"
page=$(MANPATH="$prefix/share/man" man -w brnet || true)
[ "$page" = "$prefix/share/man/man1/brnet.1.gz" ] && ok "man -w brnet: the installed page" ||
  bad "man -w brnet: '$page'"

echo "install tree checks: $fail failed"
[ "$fail" -eq 0 ]
