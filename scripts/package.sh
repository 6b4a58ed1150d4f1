#!/usr/bin/env bash
# Makes the packages into build/packages:
#   deb    libbrnet32-1, libbrnet32-dev and brnet (.deb, from build/release,
#          which is configured for the prefix /usr)
#   win32  sendrel-VERSION-win32.zip and brnet32-VERSION-win32-dev.zip
#          (MinGW i686, build/win32)
#   win64  sendrel-VERSION-win64.zip and brnet32-VERSION-win64-dev.zip
#          (MinGW x86_64, build/win64)
# Builds only what the packages hold. Without arguments: all three.
#
#   bash scripts/package.sh [deb] [win32] [win64]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
out=build/packages
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(deb win32 win64)
mkdir -p "$out"
# Only what the chosen packages need: the Debian packages want no Windows
# tool chain, wine, clang or the test peers. The release tree configures its
# tests and benchmarks too, hence GoogleTest and Google Benchmark.
need=(cmake ninja-build file)
for kind in "${kinds[@]}"; do
  case $kind in
    deb) need+=(g++ dpkg-dev googletest libgtest-dev libgmock-dev libbenchmark-dev) ;;
    win32 | win64) need+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix) ;;
  esac
done
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for kind in "${kinds[@]}"; do
  case $kind in
    deb)
      cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
      cmake --build build/release -j "$jobs" --target brnet32 sendrel farhost brnet brnet_manual
      rm -f "$out"/*.deb
      cpack --config build/release/CPackConfig.cmake -B "$out"
      ;;
    win32 | win64)
      build=build/$kind
      toolchain=cmake/toolchains/mingw-$([ "$kind" = win32 ] && echo i686 || echo x86_64).cmake
      cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
      cmake --build "$build" -j "$jobs" --target brnet32 sendrel sendrel_readme
      rm -f "$out"/*-"$kind".zip "$out"/*-"$kind"-dev.zip
      cpack --config "$build/CPackConfig.cmake" -B "$out"
      ;;
    *)
      echo "package.sh: unknown package kind '$kind' (deb, win32, win64)" >&2
      exit 2
      ;;
  esac
done
rm -rf "$out/_CPack_Packages"
echo "-- in $out:"
ls -l "$out"
