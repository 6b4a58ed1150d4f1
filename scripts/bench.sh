#!/usr/bin/env bash
# Runs every benchmark and prints, after each program, its ratios to
# baselines measured in the same run, with the targets they must meet:
#   attach into an outbound of 10,000 entries <= 3x attach into an empty one
#   attach into an empty outbound <= 1.5x the same lock protocol written
#     bare with the same safety steps (the bare protocol without them is
#     printed beside, with no target)
#   rescan of 10,000 nodes <= 3x a walk with the same I/O (readdir, read
#     each flow file, stat each file it names)
#   growth of the rescan from 1,000 to 10,000 nodes <= 1.25x the growth of
#     that walk in the same run
#   one call attaching 20,000 files <= 5x a stat of each plus one append
#   peak memory of a rescan of 10,000 nodes <= 20 MiB
# A full run (the default) builds the release configuration first, repeats
# each benchmark and takes the fastest repetition (the others also measure
# whatever else the machine was doing), and fails when a target is missed.
#
#   bash scripts/bench.sh                  full run in build/release
#   bash scripts/bench.sh --brief [DIR]    one short pass over an existing
#                                          build (scripts/test.sh): the
#                                          ratios are printed, not enforced
set -euo pipefail
cd "$(dirname "$0")/.."

brief=0
if [[ "${1:-}" == --brief ]]; then
  brief=1
  shift
fi
build=${1:-build/release}

if ((brief)); then
  args=(--benchmark_min_time=0.05)
else
  scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target bench_log bench_attach bench_rescan
  args=(--benchmark_min_time=0.5 --benchmark_repetitions=5 --brnet_enforce)
fi

# The benchmarks' trees go to a RAM file system when there is one: on a
# virtual machine's disk the cost of creating and removing a file swings by
# tens of times from one minute to the next, which drowns the ratios.
# BRNET_BENCH_DIR chooses another place.
bench_dir=${BRNET_BENCH_DIR:-}
if [[ -z "$bench_dir" && -d /dev/shm && -w /dev/shm ]]; then
  bench_dir=$(mktemp -d /dev/shm/brnet-bench.XXXXXX)
  trap 'rm -rf "$bench_dir"' EXIT
fi
[[ -n "$bench_dir" ]] && export TMPDIR=$bench_dir

status=0
for bench in "$build"/benchmarks/bench_*; do
  [[ -x "$bench" ]] || continue
  echo "== $(basename "$bench") =="
  if ((brief)); then
    # Only the ratio lines go into the test log, unless the program fails.
    if output=$("$bench" --benchmark_color=false "${args[@]}" 2>&1); then
      grep -E '^(ratio|counter) ' <<<"$output" || true
    else
      echo "$output"
      status=1
    fi
  else
    "$bench" --benchmark_color=false "${args[@]}" || status=1
  fi
done
if ((status)); then
  echo "bench.sh: a benchmark failed or missed its target" >&2
fi
exit "$status"
