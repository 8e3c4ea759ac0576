#!/usr/bin/env bash
# A split and a join of a few megabytes through the component under
# Memcheck: no invalid access, no use of uninitialised memory, no lost
# memory (definitely, indirectly or possibly), and the exact file back.
# Memory still reachable at exit is not counted: the window system's
# libraries, loaded with the module, keep what their initialisers allocate.
set -u
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
command -v valgrind >/dev/null || { skip "valgrind is not installed"; exit 77; }
! sanitized || { skip "a sanitizer build, which valgrind cannot run"; exit 77; }
use_scratch_registry register

head -c 3000001 /dev/urandom >"$work/film"
cp "$work/film" "$work/original"
via=(valgrind --error-exitcode=1 --suppressions="$(dirname "$0")/valgrind.supp" --leak-check=full --show-leak-kinds=definite,indirect,possible
  --errors-for-leak-kinds=definite,indirect,possible --log-file="$work/memcheck.log")
memcheck() { "$@" >/dev/null || { cat "$work/memcheck.log" >&2; false; }; }
check "split under memcheck" memcheck split_call "$work/film" 3
rm "$work/film"
check "join under memcheck" memcheck join_call "$work/film"
check "the joined file is exact" cmp -s "$work/film" "$work/original"
report
