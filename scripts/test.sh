#!/usr/bin/env bash
# Builds everything and runs every test: once with GCC, once with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer (the latter with short fuzz
# runs of the parsers), then the Windows DLLs with MinGW-w64: the 32-bit build
# checked statically, the 64-bit build's tests run under wine64 (both make
# their zips and check them); last the packages: an install tree and the
# Debian packages, installed, used and purged again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

stage_start=$SECONDS
stage_done() { echo "-- stage took $((SECONDS - stage_start)) s"; stage_start=$SECONDS; }

echo "== release build (gcc) =="
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE bench
# The benchmarks once, briefly, so that they keep working; their ratios to
# the baselines of the same run go into the log (a full run with the targets
# enforced is scripts/bench.sh).
scripts/bench.sh --brief build/release
stage_done

echo "== sanitizer build (clang, ASan + UBSan, fuzzers) =="
CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DBRNET_SANITIZE=ON -DBRNET_FUZZ=ON -DBRNET_BENCHMARKS=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"
stage_done

# 32-bit programs cannot run on this machine: the DLL's export table, imports
# and stdcall argument removal are checked from the binary.
echo "== Windows 32-bit build (MinGW i686, static ABI checks) =="
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake >/dev/null
cmake --build build/win32 -j "$jobs"
ctest --test-dir build/win32 --output-on-failure -j "$jobs"
stage_done

# The same sources for 64-bit Windows, every unit test run under wine64 (its
# prefix lives in build/win64/wineprefix).
echo "== Windows 64-bit build (MinGW x86_64, tests under wine64) =="
cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake >/dev/null
cmake --build build/win64 -j "$jobs"
ctest --test-dir build/win64 --output-on-failure -j "$jobs"
stage_done

# What a user installs: `cmake --install` of the release build into a scratch
# prefix, then the Debian packages, checked with lintian, installed with
# apt-get, used from C through pkg-config and CMake, and purged (also when a
# check fails). The zips were checked by the Windows stages' ctest;
# package.sh collects them with the Debian packages in build/packages.
echo "== packages (install tree, Debian packages, zips) =="
tests/packaging/check_install.sh build/release
scripts/package.sh deb win32 win64
tests/packaging/check_debs.sh build/packages
stage_done
