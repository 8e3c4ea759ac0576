#!/usr/bin/env bash
# The engine through a real binary: round trips checked with cmp, exit
# statuses, a lock held by another program, and system-call faults injected
# with strace (a failed read or copy must never pass for success).
set -u
tool=$(realpath "${1:?usage: fragment_tool_test.sh PATH/TO/fragment-tool}")
work=$(mktemp -d)
holder=
stop_holder() { [ -z "$holder" ] || { pkill -P "$holder"; kill "$holder"; wait "$holder"; } 2>/dev/null; holder=; }
trap 'stop_holder; rm -rf "$work"' EXIT
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"

status_of() { "$@" >/dev/null 2>"$work/stderr"; echo $?; }

# Splits $1 into $2 parts, joins the set under another name, compares.
round_trip() {
  local file=$1 parts=$2 run=${3:-}
  rm -f "$work"/rt*
  cp "$file" "$work/rt" || return 1
  $run "$tool" split "$work/rt" "$parts" || return 1
  mv "$work/rt" "$work/rt.original"
  $run "$tool" join "$work/rt" || return 1
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

cp "$work/data" "$work/locked"
flock "$work/locked" sleep 30 >/dev/null 2>&1 &
holder=$!
for _ in $(seq 50); do flock -n "$work/locked" true || break; sleep 0.1; done
check "a locked input is refused at once" test "$(timeout 5 "$tool" split "$work/locked" 2; echo $?)" = 1
check "no fragment of a locked input" test ! -e "$work/locked.1"
stop_holder

if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
  # LeakSanitizer cannot run under ptrace; the rest of the sanitizers can.
  inject() {
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" \
      strace -f -o /dev/null -e trace="$1" -e inject="$1:$2" "${@:3}"
  }
  for refusal in ENOSYS EXDEV EOPNOTSUPP; do
    check "copy refused with $refusal falls back exactly" \
      round_trip "$work/data" 3 "inject copy_file_range error=$refusal --"
  done

  # Makes a fresh input (split) or a fresh set (join) in $work/rt.
  prepare() {
    rm -f "$work"/rt*
    cp "$work/data" "$work/rt"
    [ "$1" = split ] || { "$tool" split "$work/rt" 3 && mv "$work/rt" "$work/rt.original"; }
  }
  run_operation() {  # run_operation split|join [PREFIX...]
    local operation=$1; shift
    if [ "$operation" = split ]; then "$@" "$tool" split "$work/rt" 3; else "$@" "$tool" join "$work/rt"; fi
  }
  # How often the operation makes the system call, the loader's and the
  # sanitizers' own calls included.
  calls_made() {
    prepare "$1"
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" run_operation "$1" strace -f -o "$work/trace" -e trace="$2"
    grep -c "$2(" "$work/trace"
  }
  # Fails each call of a system call in turn: every run must succeed with
  # the exact result or report failure, and the engine itself must report
  # at least one failure.
  fault_holds() {
    local operation=$1 syscall=$2 error=$3 when status reported=0
    for when in $(seq "$(calls_made "$operation" "$syscall")"); do
      prepare "$operation"
      run_operation "$operation" inject "$syscall" "error=$error:when=$when" 2>/dev/null
      status=$?
      if [ "$operation" = split ]; then
        mv "$work/rt" "$work/rt.original"
        [ "$status" -ne 0 ] || "$tool" join "$work/rt" || return 1
      fi
      if [ "$status" -eq 0 ]; then
        cmp -s "$work/rt" "$work/rt.original" || { echo "silent wrong result at call $when" >&2; return 1; }
      elif [ "$status" -eq 1 ]; then
        reported=$((reported + 1))
      fi
    done
    [ "$reported" -gt 0 ]
  }
  # A join reads its fragments with the kernel copy alone; a split also
  # looks ahead with pread64.
  for syscall in pread64 copy_file_range fsync close; do
    check "split with $syscall failing" fault_holds split "$syscall" EIO
  done
  for syscall in copy_file_range fsync close; do
    check "join with $syscall failing" fault_holds join "$syscall" EIO
  done
else
  echo "skipped the injected faults: strace cannot trace here" >&2
fi

report
