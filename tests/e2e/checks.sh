# Shared by the end-to-end scripts: `check DESCRIPTION COMMAND...` counts a
# check that passes when the command succeeds; `report` prints the counts and
# fails the script when any check failed.
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
# standard error.
use_scratch_registry() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export COMPONENT_REGISTRY="$work/registry.reg"
  unset MESSAGE_BOX_LOG DISPLAY WAYLAND_DISPLAY
}
