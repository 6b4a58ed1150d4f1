#!/usr/bin/env bash
# Counts the system calls of one Bink attach (one file, flags {Bink,
# semaphore}, the flow file there already) with strace, and fails when they
# are more than BUDGET; the calls are printed then, so that whoever added
# one sees which. Exit 77 (skipped) where strace cannot trace: not
# installed, no ptrace permission (a container without CAP_SYS_PTRACE, a
# Yama setting), or a sanitizer build whose run-time makes calls of its own.
#
#   syscall_budget.sh SYSCALL_ATTACH BUDGET [sanitized]
set -uo pipefail
helper=$1
budget=$2
if [[ "${3:-}" == sanitized ]]; then
  echo "SKIP: sanitizer builds make system calls of their own; the count is taken in the release build"
  exit 77
fi
if ! command -v strace >/dev/null; then
  echo "SKIP: strace is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
if ! strace -f -qq -o /dev/null true 2>/dev/null; then
  echo "SKIP: strace cannot trace here (no ptrace permission)"
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/brnet-syscalls.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! strace -f -qq -o "$work/trace" "$helper" "$work/tree"; then
  echo "FAIL: the attach failed under strace"
  exit 1
fi
# The calls between the markers of the counted attach, without the markers.
calls=$(sed -n '/write(-1, "attach-begin counted"/,/write(-1, "attach-end counted"/p' \
  "$work/trace" | sed '1d;$d')
first=$(sed -n '/write(-1, "attach-begin first"/,/write(-1, "attach-end first"/p' \
  "$work/trace" | sed '1d;$d' | grep -c .)
if ! grep -q 'attach-end counted' "$work/trace"; then
  echo "FAIL: the markers of the counted attach are missing from the trace"
  cat "$work/trace"
  exit 1
fi
count=$(grep -c . <<<"$calls")
echo "system calls of one attach: $count (budget $budget); the process's first attach: $first"
if ((count > budget)); then
  echo "FAIL: more system calls than the budget of $budget:"
  echo "$calls"
  exit 1
fi
# The calls go into the log either way: the list is short.
echo "$calls"
