#!/usr/bin/env bash
# Builds the library and runs the demo in ./demo: addresses parsed through
# the br functions with main address 2:5020/100, and a log file written.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target brdemo
mkdir -p demo
rm -f demo/brdemo.log
build/release/tools/demo/brdemo demo/brdemo.log
echo "--- demo/brdemo.log"
cat demo/brdemo.log
