#!/usr/bin/env bash
# The engine through a real binary: round trips checked with cmp and exit
# statuses. Locks and injected faults are in tests/reliability/.
set -u
tool=$(realpath "${1:?usage: fragment_tool_test.sh PATH/TO/fragment-tool}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"

status_of() { "$@" >/dev/null 2>"$work/stderr"; echo $?; }

# Splits $1 into $2 parts, joins the set under another name, compares.
round_trip() {
  local file=$1 parts=$2
  rm -f "$work"/rt*
  cp "$file" "$work/rt" || return 1
  "$tool" split "$work/rt" "$parts" || return 1
  mv "$work/rt" "$work/rt.original"
  "$tool" join "$work/rt" || return 1
  cmp -s "$work/rt" "$work/rt.original"
}

head -c 3000001 /dev/urandom >"$work/data"
: >"$work/empty"
for parts in 2 3 7 64; do check "round trip in $parts" round_trip "$work/data" "$parts"; done
check "a path with blanks and a leading dash" bash -c "cp '$work/data' '$work/-a b' && cd '$work' && '$tool' split ./-a\ b 3 && '$tool' join ./-a\ b"
check "empty file gives no fragment" test "$(status_of "$tool" split "$work/empty" 2)" = 0 -a ! -e "$work/empty.1"
check "missing input is error 53" test "$(status_of "$tool" split "$work/absent" 2)" = 2
check "error 53 is described" grep -q '^error 53: File not found: ' "$work/stderr"
check "no set to join" test "$(status_of "$tool" join "$work/absent")" = 1
check "bad usage" test "$(status_of "$tool" split "$work/data" x)" = 3


report
