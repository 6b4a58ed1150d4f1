# Sourced by the interactive tests: a program in a tmux session of its own,
# keys sent to it, its screen read back.
#   tmux_session_init WORKDIR SETTLE_SECONDS  (the pause after each key)
#   start_session COMMAND                      runs COMMAND; "finished" tells its exit
command -v tmux >/dev/null || { echo "tmux is not installed"; exit 1; }

tmux_session_init() {
  work=$1 settle=$2
  sock="farhost-test-$$"
  trap session_cleanup EXIT
}
T() { tmux -u -L "$sock" "$@"; }
# Scripts may add their own clean-up by defining extra_cleanup.
session_cleanup() {
  T kill-server 2>/dev/null || true
  if declare -F extra_cleanup >/dev/null; then extra_cleanup; fi
  rm -rf "$work"
}
fail() { echo "FAIL: $*"; echo "--- screen"; T capture-pane -p -t main 2>/dev/null || true; exit 1; }
screen() { T capture-pane -p -t main; }
# Waits (up to 15 s) until TEXT is on the screen.
wait_for() {
  for _ in $(seq 150); do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  fail "\"$1\" never appeared"
}
keys() { T send-keys -t main "$@"; sleep "$settle"; }
type_text() { T send-keys -t main -l "$1"; sleep "$settle"; }
# Runs COMMAND (shell text) in a fresh session that stays after it ends.
start_session() {
  T kill-session -t main 2>/dev/null || true
  rm -f "$work/exit"
  T new-session -d -s main -x 100 -y 30 "$1; echo EXIT=\$? > '$work/exit'; echo DONE; sleep 60"
}
# The program's exit, as "EXIT=N", once it has ended.
finished() {
  wait_for DONE
  cat "$work/exit"
}
