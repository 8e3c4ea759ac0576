#!/usr/bin/env bash
# A split and a join of a few megabytes through the component under
# Memcheck: no invalid access, no use of uninitialised memory, no lost
# memory (definitely, indirectly or possibly), and the exact file back.
# Memory still reachable at exit is not counted: the window system's
# libraries, loaded with the module, keep what their initialisers allocate.
set -u
usage="usage: valgrind_test.sh COMPONENT TESSIK_MODULE"
component=$(realpath "${1:?$usage}")
module=$(realpath "${2:?$usage}")
command -v valgrind >/dev/null || { echo "skipped: valgrind is not installed"; exit 77; }
if ldd "$component" "$module" | grep -q 'lib[at]san\|libubsan'; then
  echo "skipped: a sanitizer build, which valgrind cannot run"
  exit 77
fi
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
use_scratch_registry

"$component" register "$module" >/dev/null || exit 1
head -c 3000001 /dev/urandom >"$work/film"
cp "$work/film" "$work/original"
memcheck() {  # memcheck LOG STEP...
  local log=$1
  shift
  valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible --log-file="$work/$log" \
    "$component" call Tessik.FileSplit "$@" >/dev/null || { cat "$work/$log" >&2; return 1; }
}
check "split under memcheck" memcheck split.log "InputFile=$work/film" SubFilesNumber=3 Split
rm "$work/film"
check "join under memcheck" memcheck join.log "OutputFile=$work/film" Join
check "the joined file is exact" cmp -s "$work/film" "$work/original"

report
