# Steps shared by the drivers that run a real file manager in tmux (sourced):
# keys sent, the screen polled, every check counted. The driver defines T
# (tmux on its own socket), sets run (its folder) and screens (where the
# screen of a failed step is kept), and may define diagnose (more to show
# when a step fails). Its window is "far".
step_name=start checks=0 started=$SECONDS

screen() { T capture-pane -p -t far 2>/dev/null; }
save_screen() { screen > "$screens/$1.txt"; }
fail() {
  local shot
  shot="$screens/FAIL-$(echo "$step_name" | tr -c 'a-zA-Z0-9\n' '-').txt"
  screen > "$shot"
  echo "FAIL [$step_name]: $*"
  echo "--- screen (kept in $shot)"
  cat "$shot"
  if declare -F diagnose >/dev/null; then diagnose; fi
  exit 1
}
step() { step_name=$1; echo "-- $1 ($((SECONDS - started)) s)"; }
ok() { checks=$((checks + 1)); }
check() { # check WHAT COMMAND...
  local what=$1
  shift
  "$@" || fail "$what"
  ok
}

# Screen waits poll: start-ups and key handling are slow on a busy machine.
wait_for() { # TEXT [SECONDS]
  local tries=$(( ${2:-30} * 5 ))
  while ((tries-- > 0)); do
    screen | grep -qF -- "$1" && return 0
    sleep 0.2
  done
  fail "\"$1\" never appeared"
}
wait_gone() { # TEXT [SECONDS]
  local tries=$(( ${2:-30} * 5 ))
  while ((tries-- > 0)); do
    screen | grep -qF -- "$1" || return 0
    sleep 0.2
  done
  fail "\"$1\" did not go away"
}
shows() { screen | grep -qF -- "$1"; }
matches_none() { ! screen | grep -qE -- "$1"; } # REGEX
# Nothing new for a while: none of TEXT... appears.
stays_quiet() { # SECONDS TEXT...
  local tries=$(( $1 * 5 )) t
  shift
  while ((tries-- > 0)); do
    for t in "$@"; do screen | grep -qF -- "$t" && return 1; done
    sleep 0.2
  done
  return 0
}
keys() { T send-keys -t far "$@"; sleep 0.3; }
# Types TEXT into the focused field and waits until the field shows it.
type_text() {
  T send-keys -t far -l "$1"
  wait_for "$1" 20
}
# Esc, again if a slow console swallowed it, until TEXT is gone.
escape_from() {
  local n
  for n in 1 2 3; do
    keys Escape
    local tries=25
    while ((tries-- > 0)); do
      shows "$1" || return 0
      sleep 0.2
    done
  done
  fail "Esc did not close \"$1\""
}

# Message N of a language file in code page 866 (the one source of the
# texts), as UTF-8 and without the hotkey mark.
lng_msg() { # FILE N
  iconv -f CP866 -t UTF-8 "$1" |
    awk -v n="$2" '/^"/ { if (i++ == n) { s = substr($0, 2, length($0) - 2); gsub("&", "", s); print s; exit } }'
}

# Files of a run: folder NAME with files NAME=CONTENT...
fixture() {
  local dir="$run/$1" f
  shift
  mkdir -p "$dir"
  for f in "$@"; do printf '%s' "${f#*=}" > "$dir/${f%%=*}"; done
}
same_lines() { # FILE LINE... : FILE holds exactly these CRLF lines (any case)
  local file=$1
  shift
  [ -f "$file" ] || { echo "no $file"; return 1; }
  diff -i <(printf '%s\r\n' "$@") "$file"
}
wait_file() { local t=100; while ((t-- > 0)); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }
