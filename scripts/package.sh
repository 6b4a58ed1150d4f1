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
scripts/install-deps.sh
jobs=$(nproc)
out=build/packages
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(deb win32 win64)
mkdir -p "$out"

for kind in "${kinds[@]}"; do
  case $kind in
    deb)
      cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
      cmake --build build/release -j "$jobs" --target brnet32 sendrel_far2l brnet brnet_manual
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
