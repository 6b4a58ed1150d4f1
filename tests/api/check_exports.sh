#!/bin/sh
# The library exports the twelve br names and nothing else.
set -eu
lib="$1"
expected="brAttachFiles brFreeLog brFreeOutbound brGetLastError brInitLog brInitOutbound brLog brParseAddr brRescanOutbound brSetMainAddr brSetOutboundBsy brValidAddr"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[A-Za-z]$/ && $2 != "A" {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exports differ:"; echo "  expected: $expected"; echo "  actual:   $actual"; exit 1
fi
echo "exports: $actual"
