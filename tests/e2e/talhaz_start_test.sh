#!/usr/bin/env bash
# The real Talhaz binary at start-up, on Qt's offscreen platform with its
# boxes written to a log: without its component it says how to register it
# and exits; with a file argument that cannot be read (a FIFO, a device, a
# missing folder) it says why at once and keeps running with its window.
set -u
talhaz=$(realpath "${1:?usage: talhaz_start_test.sh TALHAZ COMPONENT TESSIK_MODULE}")
tool=$(realpath "${2:?usage: talhaz_start_test.sh TALHAZ COMPONENT TESSIK_MODULE}")
module=$(realpath "${3:?usage: talhaz_start_test.sh TALHAZ COMPONENT TESSIK_MODULE}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export COMPONENT_REGISTRY="$work/registry.reg" MESSAGE_BOX_LOG="$work/boxes.log" QT_QPA_PLATFORM=offscreen
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"

# Starts Talhaz with the arguments given for 3 seconds at most; echoes its
# exit status (124 when it was still running, as a window program should).
start() { rm -f "$MESSAGE_BOX_LOG"; timeout 3 "$talhaz" "$@" >/dev/null 2>&1; echo $?; }
boxes() { cat "$MESSAGE_BOX_LOG" 2>/dev/null; }

# Its options, answered without a display; "--" ends them.
no_display() { env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY "$talhaz" "$@" >"$work/out"; echo $?; }
check "--help prints the usage" eval '[ "$(no_display --help)" = 0 ] && grep -qF "Talhaz [--] [FICHEIRO]" "$work/out"'
check "--version prints the version" eval '[ "$(no_display --version)" = 0 ] && grep -qxE "Talhaz [0-9.]+" "$work/out"'

check "without its component it exits 1" test "$(start)" = 1
check "saying how to register it" grep -qF "component register $module" <(boxes)
check "in one error box" test "$(boxes | cut -f1,2)" = "Talhaz	16"

"$tool" register "$module" >/dev/null
check "no argument: it runs" test "$(start)" = 124
check "with no box" test -z "$(boxes)"
check "a missing file: it runs" test "$(start "$work/absent")" = 124
check "after the error-53 box" test "$(boxes)" = "Erro 53	48	File not found"
echo "fragment" >"$work/film avi.1"
check "arguments joined by a space name the file" test "$(start "$work/film" "avi.1")" = 124
check "that loads without a box" test -z "$(boxes)"
echo "fragment" | tee "$work/--help" >"$work/film --version"
check "after --, --help is a file name, which loads" eval '[ "$(cd "$work" && start -- --help)" = 124 ] && [ -z "$(boxes)" ]'
check "--version after the first argument is part of the name" eval \
  '[ "$(start "$work/film" --version)" = 124 ] && [ -z "$(boxes)" ]'
check "a lone quote loads nothing" test "$(start '"')" = 124
check "and says nothing" test -z "$(boxes)"
# What cannot be read through is refused at once, never waited on.
mkfifo "$work/fifo"
for name in "$work/fifo" /dev/zero; do
  check "$name: it runs" test "$(start "$name")" = 124
  check "$name: after the error-75 box" test "$(boxes)" = "Erro 75	48	Path/File access error"
done
check "a missing folder: it runs" test "$(start "$work/nofolder/x")" = 124
check "after the error-76 box" test "$(boxes)" = "Erro 76	48	Path not found"

report
