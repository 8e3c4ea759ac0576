#!/usr/bin/env bash
# The real Talhaz binary at start-up, on Qt's offscreen platform with its
# boxes written to a log: without its component it says how to register it
# and exits; with a file argument that cannot be read (a FIFO, a device, a
# missing folder) it says why at once and keeps running with its window.
set -u
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
use_scratch_registry
cd "$work" || exit 1

# Its options, answered without a display; "--" ends them.
no_display() { env -u QT_QPA_PLATFORM "$TALHAZ" "$@" >"$work/out"; echo $?; }
check "--help prints the usage" eval '[ "$(no_display --help)" = 0 ] && grep -qF "Talhaz [--] [FICHEIRO]" out'
check "--version prints the version" eval '[ "$(no_display --version)" = 0 ] && grep -qxE "Talhaz [0-9.]+" out'

talhaz_bg unregistered && wait
check "without its component it exits 1, saying in one error box how to register it" eval \
  '[ "$(cat unregistered.status)" = 1 ] && [ "$(cut -f1,2 unregistered.boxes)" = "Talhaz	16" ] &&
   grep -qF "component register $TESSIK" unregistered.boxes'

"$COMPONENT" register "$TESSIK" >/dev/null
echo "fragment" >"film avi.1"
echo "fragment" | tee -- --help >"film --version"
mkfifo fifo
talhaz_expect "no argument: it runs with no box" ""
talhaz_expect "a missing file: it runs after the error-53 box" "Erro 53	48	File not found" "$work/absent"
talhaz_expect "arguments joined by a space name the file, which loads without a box" "" "$work/film" "avi.1"
talhaz_expect "after --, --help is a file name, which loads" "" -- --help
talhaz_expect "--version after the first argument is part of the name" "" "$work/film" --version
talhaz_expect "a lone quote loads nothing and says nothing" "" '"'
# What cannot be read through is refused at once, never waited on.
talhaz_expect "a FIFO: it runs after the error-75 box" "Erro 75	48	Path/File access error" "$work/fifo"
talhaz_expect "a device: it runs after the error-75 box" "Erro 75	48	Path/File access error" /dev/zero
talhaz_expect "a missing folder: it runs after the error-76 box" "Erro 76	48	Path not found" "$work/nofolder/x"
# Logout (SIGTERM), a closed terminal (SIGHUP) and Ctrl-C close the window
# as its close button does, also with a box shown over it (not logged).
for signal in TERM HUP; do stop=$signal talhaz_bg "$signal"; done
(QT_QPA_PLATFORM=offscreen timeout -k 5 -s INT --preserve-status 8 "$TALHAZ" "$work/absent" >/dev/null 2>&1
 echo $? >"$work/INT.status") &
talhaz_checks
for signal in TERM HUP INT; do check "SIG$signal closes it: exit 0" test "$(cat "$work/$signal.status")" = 0; done
# A logout may ask again and again while the window closes: still exit 0.
MESSAGE_BOX_LOG="$work/again.boxes" QT_QPA_PLATFORM=offscreen "$TALHAZ" >/dev/null 2>&1 &
pid=$!
catches_term() { (( 0x$(awk '/^SigCgt/ { print $2 }' "/proc/$pid/status") & 1 << 14 )); }
for _ in $(seq 400); do catches_term 2>/dev/null && break; sleep 0.05; done
for _ in $(seq 1000); do
  grep -qs '^State:.*[ZX]' "/proc/$pid/status" || ! kill -TERM "$pid" 2>/dev/null && break
  sleep 0.01
done
wait "$pid"
check "SIGTERM again and again while it closes: exit 0" test $? = 0

report
