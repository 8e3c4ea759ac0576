# Shared by the end-to-end and reliability scripts: `check DESCRIPTION
# COMMAND...` counts a check that passes when the command succeeds; `report`
# prints the counts and fails the script when any check failed. The programs
# under test come from the environment, set by CMake: FRAGMENT_TOOL,
# COMPONENT, TESSIK (the module), TESSIK_CLI, TALHAZ and SHORT_IO_LIBRARY; BUILD_DIR is
# the build folder.
passed=0 failed=0

check() {
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; fi
}

report() {
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}

# Makes $work, a scratch folder removed when the script ends, with a
# component registry of the script's own in it; message boxes go to
# standard error. With "register", Tessik is registered in it.
use_scratch_registry() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export COMPONENT_REGISTRY="$work/registry.reg"
  unset MESSAGE_BOX_LOG DISPLAY WAYLAND_DISPLAY
  [ "${1:-}" != register ] || "$COMPONENT" register "$TESSIK" >"$work/out" 2>&1 || { cat "$work/out" >&2; exit 1; }
}

skip() { echo "skipped: $*" >&2; }
# Each ELF program or library under FOLDER whose RUNPATH or RPATH has an
# empty entry, which the dynamic loader takes for the current folder.
runpath_holes() {
  find "$1" -type f \( -perm /111 -o -name '*.so*' \) -print0 | while IFS= read -rd '' file; do
    readelf -d "$file" 2>/dev/null | sed -n 's/.*Library r[a-z]*path: \[\(.*\)\]$/\1/p' |
      grep -E '^$|^:|:$|::' | sed "s|^|$file: |"
  done
}
# Whether the programs were built with a sanitizer runtime.
sanitized() { ldd "$COMPONENT" "$TESSIK" | grep -q 'lib[at]san\|libubsan'; }
# Runs a command with its output in $work/out and $work/err; echoes its status.
status_of() { "$@" >"$work/out" 2>"$work/err"; echo $?; }

# `call STEP...` runs steps of Tessik.FileSplit through `component call`,
# behind the command words in the array `via` if set (strace, valgrind), and
# kills it should it ever hang. split_call FILE PARTS [STEP...] and
# join_call FILE [STEP...] are the two operations. With one_thread set, the
# engine runs on the calling thread, for scripts that count each thread's calls.
call() {
  timeout -k 5 600 ${via[@]+"${via[@]}"} "$COMPONENT" call Tessik.FileSplit ${one_thread:+WorkerThread=False} "$@"
}
split_call() { call "InputFile=$1" "SubFilesNumber=$2" Split "${@:3}"; }
join_call() { call "OutputFile=$1" Join "${@:2}"; }

# talhaz_bg NAME ARGUMENT... starts Talhaz in the background (at most four
# at once) on Qt's offscreen platform, for 3 seconds at most: its exit status
# goes to $work/NAME.status (124: still running, as a window program should)
# and its boxes to $work/NAME.boxes. With stop=SIGNAL it is sent SIGNAL
# after 8 seconds instead (time enough to start on a loaded machine), and its
# own exit status is kept.
talhaz_bg() {
  local name=$1 seconds=3; shift
  [ -z "${stop:-}" ] || seconds=8
  while [ "$(jobs -pr | wc -l)" -ge 4 ]; do wait -n; done
  # shellcheck disable=SC2086
  (MESSAGE_BOX_LOG="$work/$name.boxes" QT_QPA_PLATFORM=offscreen timeout ${stop:+-k 5 -s $stop --preserve-status} $seconds \
     "$TALHAZ" "$@" >/dev/null 2>&1
   echo $? >"$work/$name.status") &
}
# talhaz_expect DESCRIPTION BOXES ARGUMENT... starts Talhaz so; after all are
# started, `talhaz_checks` waits and checks that each still ran after
# showing exactly its BOXES (none when empty).
talhaz_whats=() talhaz_boxes=()
talhaz_expect() { talhaz_bg "t${#talhaz_whats[@]}" "${@:3}"; talhaz_whats+=("$1") talhaz_boxes+=("$2"); }
talhaz_checks() {
  wait
  for i in "${!talhaz_whats[@]}"; do check "${talhaz_whats[i]}" \
    test "$(cat "$work/t$i.status") $(cat "$work/t$i.boxes" 2>/dev/null)" = "124 ${talhaz_boxes[i]}"; done
}
