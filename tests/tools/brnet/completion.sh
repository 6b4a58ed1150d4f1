#!/usr/bin/env bash
# bash completion of brnet as a person types: each row is a command line
# (the cursor at its end) and words the completion must offer, or "-" for
# none. Addresses keep their ":" and "/", options are offered for every
# command, flavours after reflavour's address.
#   completion.sh COMPLETION_FILE
set -uo pipefail
source "$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'domain fidonet /o 2\naddress 2:5020/100@fidonet\nnode 2:5020/1234@fidonet x\nnode 2:5020/99 y\n' \
  >"$work/binkd.cfg"
export BRNET_BINKD_CFG=$work/binkd.cfg
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'

# As bash calls it: the line, and its words split at blanks and at ":".
offers() {
  COMP_LINE=$1 COMP_POINT=${#1} COMPREPLY=()
  read -ra COMP_WORDS <<<"${1//:/ : }"
  [[ $1 == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _brnet
  printf '%s\n' "${COMPREPLY[@]}"
}

failed=0
while IFS='|' read -r line expected; do
  got=$(offers "$line" | sort | tr '\n' ' ')
  for word in $expected; do
    if [[ $word == - ]]; then
      [[ -z ${got// } ]] && continue
    elif [[ " $got" == *" $word "* ]]; then
      continue
    fi
    echo "FAIL: '$line' offers '$got', not '$word'"
    failed=1
  done
done <<'ROWS'
brnet unl|unlock
brnet attach 2:50|5020/1234 5020/99
brnet attach 2:5020/12|5020/1234
brnet poll 2:5020/1234 2:5020/9|5020/99
brnet reflavour 2:5020/1234 |crash hold immediate
brnet reflavour 2:5020/1234 c|crash
brnet attach --ag|--again
brnet attach -f |normal hold
brnet drop --le|--leftovers
brnet queue --q|--quiet
brnet unlock --w|--wait
brnet addr -|--quiet --main
brnet queue x|-
ROWS
[[ $failed == 0 ]] && echo "PASS: brnet's completion"
exit $failed
