#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
# binkd and crashmail are the real peers of the interoperability tests; mc
# runs the brnet menu test; strace counts the system calls of an attach.
# With --demo only what scripts/demo.sh uses: the native build, binkd, and
# python3 and ss for its free ports.
#   install-deps.sh [--demo]
set -euo pipefail
demo_packages=(cmake ninja-build g++ binkd python3 iproute2)
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev
          libbenchmark-dev binutils tmux binkd crashmail mc strace
          # Windows: MinGW-w64 with the POSIX thread model (GoogleTest needs
          # std::mutex); wine64 runs the 64-bit tests, wine32 (from the i386
          # architecture, added below) the 32-bit ones and 32-bit FAR.
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 wine32:i386 locales
          # Packages: CPack's DEB generator (file, dpkg-shlibdeps), lintian,
          # and what the package checks use (pkg-config, man, unzip).
          file dpkg-dev lintian pkgconf man-db unzip)
demo=false
if [[ ${1-} == --demo ]]; then
  demo=true
  packages=("${demo_packages[@]}")
fi
# wine32 is an i386 package: the architecture must be known before the
# package lists are read (the update below then fetches its lists too).
if ! $demo && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture (for wine32)"
  dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Wine takes the Windows ANSI/OEM code pages (1251/866) from a Russian
# locale, and non-ASCII file names need it to exist.
if ! $demo && ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
