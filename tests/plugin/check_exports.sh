#!/bin/sh
# The plug-in exports its five entry points and nothing else, and does not
# depend on brnet32 at link time.
set -eu
module="$1"
expected="Configure ExitFAR GetPluginInfo OpenPlugin SetStartupInfo"
actual=$(nm -D --defined-only "$module" | awk '$2 ~ /^[A-Za-z]$/ && $2 != "A" {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exports differ:"; echo "  expected: $expected"; echo "  actual:   $actual"; exit 1
fi
if nm -D "$module" | grep -q ' br[A-Z]'; then
  echo "the plug-in refers to br functions at link time:"; nm -D "$module" | grep ' br[A-Z]'; exit 1
fi
if readelf -d "$module" | grep NEEDED | grep -q brnet32; then
  echo "the plug-in links brnet32"; exit 1
fi
echo "exports: $actual"
