#!/bin/sh
# One short fuzz run as a test: TARGET for SECONDS on CORPUS, then the edges
# it covered, split into the harness's own (tests/fuzz), those inside the
# code it drives (the rest of SOURCE_DIR) and the standard library's
# templates. A run that stays near what its harness alone covers fails: in
# all less than ten times the harness's own edges, or no more edges inside
# the code than in the harness. Then the code under test was built without
# coverage, or the harness never gets into it, and the fuzzer is blind there.
#   run_fuzz.sh TARGET SECONDS CORPUS SOURCE_DIR
set -u
target=$1 seconds=$2 corpus=$3 src=$(cd "$4" && pwd -P)
name=$(basename "$target")
log=$corpus.log
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_coverage=1 \
  -artifact_prefix="$corpus-" "$corpus" >"$log" 2>&1
status=$?
if [ "$status" -ne 0 ]; then
  grep -v '^COVERED_FUNC\|^UNCOVERED_FUNC' "$log" | tail -n 60
  echo "$name: the fuzzer failed (exit $status); its log: $log"
  exit 1
fi
# COVERED_FUNC: hits: H edges: COVERED/ALL NAME FILE:LINE
grep '^COVERED_FUNC' "$log" | awk -v src="$src/" -v name="$name" '
  {
    split($5, e, "/")
    file = $NF
    sub(/:[0-9]+$/, "", file)
    while (sub(/\/[^\/]+\/\.\.\//, "/", file)) {}
    # Ours is all but the system headers: a compiler cache may hand out a name
    # relative to the build, or one of the tree the object was first built in.
    ours = index(file, src) == 1 || file !~ /^\/usr\//
    if (ours && file ~ /(^|\/)tests\/fuzz\//) harness += e[1]
    else if (ours) inside += e[1]
    else other += e[1]
  }
  END {
    printf "%s: coverage %d edges: %d inside the code it drives, %d in the harness, %d in system headers\n",
           name, inside + harness + other, inside, harness, other
    if (inside + harness + other < 10 * harness || inside <= harness) {
      printf "%s: the code it drives is barely covered (in all less than ten times the harness, or no more inside than in the harness)\n", name
      exit 1
    }
  }'
