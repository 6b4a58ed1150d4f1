#!/usr/bin/env bash
# The Debian packages as a user gets them (run as root): their names, fields
# and contents, lintian (no errors allowed), then installed with apt-get:
# the SONAME and twelve exports of the installed library, a C program built
# with pkg-config and one with find_package(brnet32) that parse an address
# and attach a file, brnet from PATH, its manual page, the far2l plug-in
# loaded as far2l loads it. The packages are purged at the end, also when a
# check fails, and the list of installed packages must then be what it was.
#
#   check_debs.sh PACKAGE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
pkgdir=$(cd "$1" && pwd)
work=$(mktemp -d)
# shellcheck source=consumers.sh
. "$here/consumers.sh"

names=(libbrnet32-1 libbrnet32-dev brnet)
debs=()
for name in "${names[@]}"; do
  found=("$pkgdir/${name}"_*.deb)
  if [ ${#found[@]} -ne 1 ] || [ ! -f "${found[0]}" ]; then
    echo "FAIL $pkgdir: expected one ${name}_*.deb, found: ${found[*]}" >&2
    exit 1
  fi
  debs+=("${found[0]}")
done

echo "== the packages"
version=$(dpkg-deb -f "${debs[0]}" Version)
for deb in "${debs[@]}"; do
  printf '     %-34s %8d bytes, installed %5d KiB; Depends: %s\n' "$(basename "$deb")" \
    "$(stat -c %s "$deb")" "$(dpkg-deb -f "$deb" Installed-Size)" "$(dpkg-deb -f "$deb" Depends)"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || bad "$deb: version differs from $version"
done
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./||' | grep -v '/$' | sort; }
expect_files() {
  local deb=$1
  shift
  local listing
  listing=$(contents "$deb")
  for pattern in "$@"; do
    printf '%s\n' "$listing" | grep -qx "$pattern" || bad "$(basename "$deb") lacks $pattern"
  done
}
expect_files "${debs[0]}" 'usr/lib/[^/]*/libbrnet32\.so\.1' 'usr/lib/[^/]*/libbrnet32\.so\.1\.0' \
  'usr/share/doc/libbrnet32-1/copyright' 'usr/share/doc/libbrnet32-1/changelog\.Debian\.gz'
expect_files "${debs[1]}" 'usr/include/brnet32\.h' 'usr/lib/[^/]*/libbrnet32\.so' \
  'usr/lib/[^/]*/pkgconfig/brnet32\.pc' 'usr/lib/[^/]*/cmake/brnet32/brnet32Config\.cmake' \
  'usr/lib/[^/]*/cmake/brnet32/brnet32ConfigVersion\.cmake'
expect_files "${debs[2]}" 'usr/bin/brnet' 'usr/share/man/man1/brnet\.1\.gz' \
  'usr/share/brnet/mc\.menu' 'usr/share/bash-completion/completions/brnet' \
  'usr/lib/far2l/Plugins/sendrel/plug/sendrel\.far-plug-mb' \
  'usr/lib/far2l/Plugins/sendrel/plug/libbrnet32\.so' \
  'usr/lib/far2l/Plugins/sendrel/plug/Sendrel\(Eng\|Rus\)\.lng' \
  'usr/lib/far2l/Plugins/sendrel/plug/SendrelEng\.hlf' 'usr/lib/far2l/Plugins/sendrel/plug/SendrelRus\.hlf'
if contents "${debs[2]}" | grep -qE 'farhost|/brnet/sendrel/'; then
  bad "brnet holds the test host farhost or its plug-in build"
fi
# The library package holds the run-time files only: the .so link and the
# header belong to the -dev package.
if contents "${debs[0]}" | grep -qE 'libbrnet32\.so$|\.h$|\.pc$'; then
  bad "libbrnet32-1 holds development files"
fi
dpkg-deb -f "${debs[1]}" Depends | grep -qF "libbrnet32-1 (= $version)" ||
  bad "libbrnet32-dev does not depend on libbrnet32-1 (= $version)"
dpkg-deb -f "${debs[2]}" Depends | grep -qE '(^|, )libbrnet32-1( |,|$)' ||
  bad "brnet does not depend on libbrnet32-1"
dpkg-deb -f "${debs[2]}" Depends | grep -qE '(^|, )libc6 ' ||
  bad "brnet: no dependencies from dpkg-shlibdeps"
shlibs=$(dpkg-deb -I "${debs[0]}" shlibs 2>/dev/null || true)
[ "$shlibs" = "libbrnet32 1 libbrnet32-1 (>= $version)" ] && ok "shlibs: $shlibs" ||
  bad "libbrnet32-1 shlibs: '$shlibs'"
[ "$fail" -eq 0 ] && ok "names, versions, dependencies and contents"

echo "== lintian"
lintian_out=$(lintian "${debs[@]}" 2>&1 | grep -v 'running with root privileges' || true)
printf '%s\n' "$lintian_out" | sed 's/^/     /'
errors=$(printf '%s\n' "$lintian_out" | grep -c '^E:' || true)
warnings=$(printf '%s\n' "$lintian_out" | grep -c '^W:' || true)
[ "$errors" -eq 0 ] && ok "lintian: $errors errors, $warnings warnings" ||
  bad "lintian: $errors errors, $warnings warnings"

# Installing: only onto a machine that has none of the three, so that
# purging them afterwards leaves it as it was.
for name in "${names[@]}"; do
  if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'installed$'; then
    echo "FAIL $name is installed already: not replacing it" >&2
    rm -rf "$work"
    exit 1
  fi
done
before=$(dpkg-query -W -f='${Package} ${Version} ${Status}\n' | sort)
apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"
}
purge() {
  apt_get purge "${names[@]}" >"$work/purge.log" 2>&1 || cat "$work/purge.log"
}
cleanup() {
  purge
  rm -rf "$work"
}
trap cleanup EXIT
# Interrupted (ctest's or CI's timeout, Ctrl+C): still purged.
trap 'exit 130' INT TERM

echo "== apt-get install ./*.deb"
apt_get install "${debs[@]}" >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  echo "FAIL apt-get install"
  exit 1
}
ok "apt-get install: ${names[*]}"
library=$(dpkg -L libbrnet32-1 | grep 'libbrnet32\.so\.1\.0$')
check_library "$library"
# Built without a run path: the program finds libbrnet32.so.1 through
# ld.so's cache, which the package's ldconfig trigger brought up to date.
if build_with_pkgconfig "pkg-config (packages)"; then
  attach_with "$work/attach-pkgconfig" "pkg-config program (packages)"
fi
if build_with_cmake "CMake (packages)"; then
  attach_with "$work/consumer-build/attach" "find_package program (packages)"
fi
brnet_path=$(command -v brnet || true)
version_text=$(brnet --version 2>&1 || true)
[ "$brnet_path" = /usr/bin/brnet ] && [ "$version_text" = "brnet ${version%-*}" ] &&
  ok "brnet from PATH ($brnet_path): $version_text" ||
  bad "brnet from PATH: '$brnet_path' says '$version_text'"
page=$(man -w brnet 2>&1 || true)
[ "$page" = /usr/share/man/man1/brnet.1.gz ] && ok "man -w brnet: $page" ||
  bad "man -w brnet: '$page'"
check_plugin "$(dirname "$(dpkg -L brnet | grep '/sendrel\.far-plug-mb$')")"

echo "== apt-get purge"
trap 'rm -rf "$work"' EXIT
purge
after=$(dpkg-query -W -f='${Package} ${Version} ${Status}\n' | sort)
if [ "$before" = "$after" ] && [ ! -e "$library" ]; then
  ok "purged: the installed packages are as before"
else
  diff <(printf '%s\n' "$before") <(printf '%s\n' "$after") || true
  bad "after apt-get purge the installed packages differ"
fi

echo "Debian package checks: $fail failed"
[ "$fail" -eq 0 ]
