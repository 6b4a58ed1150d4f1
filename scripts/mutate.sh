#!/usr/bin/env bash
# A short mutation check: plants each fault of a list (scripts/mutations.txt)
# in the sources, one at a time, rebuilds only the test program that reaches
# it in the release tree, runs that program's tests for it, and counts the
# faults some test caught. Prints each fault's fate and the score; the
# sources are put back after every fault, and when the script is stopped.
#   scripts/mutate.sh [BUILD_DIR] [FAULT_LIST]     (default build/release)
# A fault whose text is not in its file (the code moved on) is reported and
# left out of the score: mend its entry. Run by hand; not part of test.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
list=${2:-scripts/mutations.txt}
[ -d "$build" ] || { echo "mutate.sh: no build tree $build (configure it as CONTRIBUTING.md shows)" >&2; exit 2; }

backup=$(mktemp)
planted=
restore() {
  if [ -n "$planted" ]; then cp -p "$backup" "$planted"; touch "$planted"; planted=; fi
}
trap 'restore; rm -f "$backup"' EXIT
trap 'exit 130' INT TERM

# Replaces the one occurrence of FROM in FILE by TO ("<NL>" in them stands
# for a line break); status 3 when FROM is not there exactly once.
plant() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("<NL>", "\n"), sys.argv[3].replace("<NL>", "\n")
text = open(path).read()
if text.count(old) != 1:
    sys.exit(3)
open(path, "w").write(text.replace(old, new))
PY
}

# One fault: its file, the test program and gtest filter that reach it,
# the text taken out and the text put in.
run_fault() {
  local name=$1 file=$2 program=$3 filter=$4 from=$5 to=$6
  cp -p "$file" "$backup"
  planted=$file
  if ! plant "$file" "$from" "$to"; then
    restore
    echo "STALE     $name: its text is not (once) in $file"
    stale=$((stale + 1))
    return
  fi
  local path
  programs[$program]=1
  if ! cmake --build "$build" -j 2 --target "$program" >"$build/mutate-build.log" 2>&1; then
    echo "NO BUILD  $name (the compiler caught it)"
    killed=$((killed + 1)); total=$((total + 1))
  else
    path=$(find "$build/tests" -name "$program" -type f -perm -u+x | head -n 1)
    if timeout 600 "$path" --gtest_filter="$filter" >"$build/mutate-test.log" 2>&1; then
      echo "SURVIVED  $name"
      survivors+=("$name")
    else
      echo "caught    $name"
      killed=$((killed + 1))
    fi
    total=$((total + 1))
  fi
  restore
}

killed=0 total=0 stale=0
survivors=()
declare -A programs
# Entries: "name @@ file @@ program @@ gtest filter @@ from @@ to" on one
# line, blanks around each field dropped; "#" starts a comment line.
while IFS= read -r -d '' name && IFS= read -r -d '' file && IFS= read -r -d '' program &&
  IFS= read -r -d '' filter && IFS= read -r -d '' from && IFS= read -r -d '' to; do
  run_fault "$name" "$file" "$program" "$filter" "$from" "$to"
done < <(python3 - "$list" <<'PY'
import sys
for number, line in enumerate(open(sys.argv[1]), 1):
    if not line.strip() or line.startswith("#"):
        continue
    fields = [f.strip() for f in line.rstrip("\n").split("@@")]
    if len(fields) != 6:
        sys.exit(f"{sys.argv[1]}:{number}: six fields, separated by @@")
    sys.stdout.write("\0".join(fields) + "\0")
PY
)
# The tree as it was, built again for whatever runs next.
[ ${#programs[@]} -eq 0 ] || cmake --build "$build" -j 2 --target "${!programs[@]}" >/dev/null 2>&1

echo "--"
echo "caught $killed of $total faults: $((total > 0 ? killed * 100 / total : 0)) %"
[ "$stale" -eq 0 ] || echo "$stale stale entries left out"
for s in "${survivors[@]}"; do echo "survived: $s"; done
