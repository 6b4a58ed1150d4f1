#!/usr/bin/env bash
# Builds everything and runs every test: once with GCC, once with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer (the latter with short fuzz
# runs of the parsers), then the Windows DLLs with MinGW-w64: the 32-bit
# build's tests run under wine32 and the 64-bit build's under wine64, side by
# side (both make their zips and check them, both run the plug-in in the real
# FAR 3 of their bitness); last the packages: an install tree and the Debian
# packages, installed, used and purged again.
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

# Windows: the same sources for 32-bit (FAR's home, and FAR 3 x86) and for
# 64-bit Windows (FAR 3 x64). Both are built first; then each build's whole
# ctest suite runs under wine of its bitness, every unit test, the plug-in in
# farhost.exe and in FAR, the zips. The two suites run side by side: they
# spend most of their time waiting for wine, each in its own wine prefix
# (build/winNN/wineprefix), and their output is shown once both are done.
echo "== Windows builds (MinGW i686 and x86_64) =="
for bits in 32 64; do
  toolchain=cmake/toolchains/mingw-$([ $bits = 32 ] && echo i686 || echo x86_64).cmake
  cmake -S . -B build/win$bits -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=$toolchain >/dev/null
  cmake --build build/win$bits -j "$jobs"
done
stage_done

echo "== Windows tests (32-bit under wine32, 64-bit under wine64, side by side) =="
declare -A ctest_pid
# An interrupted run takes both suites with it.
trap 'kill "${ctest_pid[@]}" 2>/dev/null' EXIT
for bits in 32 64; do
  ctest --test-dir build/win$bits --output-on-failure -j "$jobs" >build/win$bits/ctest.log 2>&1 &
  ctest_pid[$bits]=$!
done
windows_failed=0
for bits in 32 64; do
  wait "${ctest_pid[$bits]}" || windows_failed=1
  echo "-- Windows $bits-bit tests (build/win$bits/ctest.log):"
  cat build/win$bits/ctest.log
done
trap - EXIT
((windows_failed == 0)) || { echo "Windows tests failed" >&2; exit 1; }
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
