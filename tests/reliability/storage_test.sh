#!/usr/bin/env bash
# What the file system can do to a split or a join, done for real through
# `component call` (and the engine's own tool for a file-size limit): a full
# disk (tmpfs and a loop-mounted ext4), a file-size limit, programs racing on
# one name, and read-only files that root cannot write either. Kills at every
# step are in crash_test. (Another program's lock is in fragment_tool_test and
# file_rules_test.) The rule every time: the exact result, or a reported
# failure that leaves the input or the fragments as they were and nothing
# half-made beside them.
set -u
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
use_scratch_registry register
mounts=()
cleanup() {
  jobs -p | xargs -r kill -9 2>/dev/null; wait 2>/dev/null
  for point in "${mounts[@]}"; do chattr -R -i "$point" 2>/dev/null; umount "$point"; done
  rm -rf "$work"
}
trap cleanup EXIT

# The component's way of saying false: exit 1 and its box.
said_false() { test "$1" = 1 && grep -qx "Tessik: Error $2!" "$work/err"; }
# Checksums of every file in a folder, to show that a failure changed nothing.
snapshot() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0r sha256sum); }
# True when the fragments of $1 (fewer than ten) hold all of $2, in order.
set_holds() { [ -e "$1.1" ] && cat "$1".[1-9] | cmp -s - "$2"; }
# True when a failed split left no set to be joined: no fragment 1, no
# checksum file.
no_set_left() { [ ! -e "$1.1" ] && [ ! -e "$1.sha256" ]; }
free_bytes() { sync; df --output=avail -B1 "$1" | tail -1; }
# Leaves `bytes` free on the file system of folder $1 with a filler file.
leave_free() { local fill=$(( $(free_bytes "$1") - $2 )); [ "$fill" -le 0 ] || head -c "$fill" /dev/zero >"$1/filler"; }

# Mounts a small file system of kind $1 (tmpfs, or ext4 in a file on a loop
# device) at $work/$1. False, with a reason, when this machine refuses.
mount_small() {
  mkdir -p "$work/$1"
  if [ "$1" = tmpfs ]; then mount -t tmpfs -o size=8M tmpfs "$work/$1"
  else truncate -s 16M "$work/ext4.img" && mkfs.ext4 -q -F -m 0 "$work/ext4.img" && mount -o loop "$work/ext4.img" "$work/$1"
  fi 2>/dev/null && mounts+=("$work/$1") || { skip "cannot mount $1 here"; false; }
}

# 1. A full disk during a split, then during a join: false and the box, the
# input and the fragments untouched, what was being written removed; once
# there is room again the same call gives the exact result.
full_disk() {
  local kind=$1 disk=$work/$1 fragment status before
  fragment=$(( $(free_bytes "$disk") / 10 ))
  head -c $((3 * fragment)) /dev/urandom >"$work/original"
  cp "$work/original" "$disk/film"
  leave_free "$disk" $((fragment * 5 / 2))  # two fragments fit, the third does not
  check "$kind full: split reports false, the input untouched, the fragments written removed" eval \
    'said_false "$(status_of split_call "$disk/film" 3)" "splitting file" && cmp -s "$disk/film" "$work/original" &&
     no_set_left "$disk/film"'
  rm -f "$disk/filler"
  check "$kind with room again: the split's set is exact" eval \
    '[ "$(status_of split_call "$disk/film" 3)" = 0 ] && set_holds "$disk/film" "$work/original"'
  rm "$disk/film"
  leave_free "$disk" $((fragment * 3 / 2))  # the join stops in its second fragment
  before=$(sha256sum "$disk"/film.*)
  check "$kind full: join reports false, the joined file removed, the fragments untouched" eval \
    'said_false "$(status_of join_call "$disk/film")" "joining files" && [ ! -e "$disk/film" ] &&
     [ "$(sha256sum "$disk"/film.*)" = "$before" ]'
  rm -f "$disk/filler"
  check "$kind with room again: the joined file is exact" eval \
    '[ "$(status_of join_call "$disk/film")" = 0 ] && cmp -s "$disk/film" "$work/original"'
}
if [ "$(id -u)" != 0 ]; then
  skip "full disks, immutable files and read-only mounts need root"
else
  ! mount_small tmpfs || full_disk tmpfs
  ! mount_small ext4 || full_disk ext4
fi

# 2. A file-size limit: a write past it fails like a full disk, whether
# SIGXFSZ is ignored by whoever started us or not; never a silent death.
head -c 3000000 /dev/urandom >"$work/original"
for program in engine component; do
  for signal in default ignored; do
    rm -f "$work"/limited*
    cp "$work/original" "$work/limited"
    command=("$FRAGMENT_TOOL" split "$work/limited" 2)
    [ "$program" = engine ] || command=("$COMPONENT" call Tessik.FileSplit "InputFile=$work/limited" SubFilesNumber=2 Split)
    ignore=; [ "$signal" = default ] || ignore='trap "" XFSZ;'
    # 1024 blocks of 1 KiB: the first 1.5 MB fragment crosses the limit.
    status=$(status_of bash -c "$ignore ulimit -f 1024; \"\$@\"" limit "${command[@]}")
    check "file-size limit, SIGXFSZ $signal: the $program fails cleanly, its fragment removed, the input untouched" \
      eval '[ "$status" = 1 ] && no_set_left "$work/limited" && cmp -s "$work/limited" "$work/original"'
  done
done
# The window program, however it was started, ignores SIGXFSZ.
QT_QPA_PLATFORM=offscreen "$TALHAZ" >/dev/null 2>&1 &
window=$!
ignores_xfsz() { local mask; mask=$(awk '/^SigIgn:/ {print $2}' "/proc/$window/status") && (( 0x$mask >> 24 & 1 )); }
for _ in $(seq 50); do ignores_xfsz 2>/dev/null && break; sleep 0.1; done
check "Talhaz ignores SIGXFSZ" ignores_xfsz
kill "$window"; wait "$window" 2>/dev/null

# 3. Two programs on one name at once: split and join, join and join, split
# and split. Each ends exact or reports failure, and the data survives whole
# in the file or in the set after every round.
head -c 30000000 /dev/urandom >"$work/original"
run_of() { if [ "$1" = split ]; then split_call "$work/big" 4; else join_call "$work/big"; fi; }
succeeded() {  # succeeded OPERATION STATUS: it failed, or its result is exact
  [ "$2" != 0 ] || if [ "$1" = join ]; then cmp -s "$work/big" "$work/original"
  else set_holds "$work/big" "$work/original" && (cd "$work" && sha256sum --quiet -c --ignore-missing big.sha256 >/dev/null 2>&1); fi
}
declare -A failed_once
for pair in "split join" "join split" "join join" "split split"; do
  read -r a b <<<"$pair"
  for run in $(seq 8); do
    rm -f "$work"/big*
    cp "$work/original" "$work/big" && run_of split >/dev/null 2>&1
    run_of "$a" >"$work/first" 2>&1 & first=$!
    run_of "$b" >"$work/second" 2>&1 & second=$!
    wait "$first"; sa=$?; wait "$second"; sb=$?
    [ "$sa$sb" = 00 ] || failed_once[$pair]=1
    check "$a ∥ $b $run: each exits 0, 1 or 2, exact where it succeeded; the data survives" eval \
      '[ "$sa" -le 2 ] && [ "$sb" -le 2 ] && succeeded "$a" "$sa" && succeeded "$b" "$sb" &&
       { cmp -s "$work/big" "$work/original" || set_holds "$work/big" "$work/original"; }'
  done
done
echo "concurrent pairs that overlapped at least once: ${!failed_once[*]}"

# A fragment replaced or removed while a join waits to open it, or cut short
# while it is copied (strace holds the open or the copy back): the join reads
# each fragment whole through one descriptor, or reports it; it never creates
# a fragment, never takes a fragment as shorter than it was when opened.
if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
  late_change() {  # late_change CHECKSUMS HELD CHANGE EXPECTATION: $late is the join's status
    rm -f "$work"/late* && head -c 3000000 /dev/urandom >"$work/late" &&
      call "InputFile=$work/late" SubFilesNumber=3 "Checksums=$1" Split >/dev/null && rm "$work/late"
    local via=(env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -o /dev/null -P "$work/late.2"
      -e trace="$2" -e inject="$2:delay_enter=1500000:when=1")
    call "OutputFile=$work/late" "Checksums=$1" Join >"$work/out" 2>"$work/err" &
    sleep 0.7
    eval "$3"
    wait $!
    late=$? && eval "$4"
  }
  # Cuts late.2 short once the join has it open (its length taken).
  cut_short() {
    for _ in $(seq 100); do ! find /proc/[0-9]*/fd -lname "$work/late.2" 2>/dev/null | grep -q . || break; sleep 0.05; done
    sleep 0.2 && truncate -s 500000 "$work/late.2"
  }
  replace='head -c 1500000 /dev/urandom >"$work/new" && mv "$work/new" "$work/late.2"'
  check "a fragment replaced before its open: the join is exact with the new one" late_change False openat "$replace" \
    '[ $late = 0 ] && cat "$work"/late.[123] | cmp -s - "$work/late"'
  check "a fragment replaced before its open: the verified join names it" late_change True openat "$replace" \
    '[ $late = 1 ] && grep -qx "late.2 does not match late.sha256" "$work/err" && [ ! -e "$work/late" ]'
  check "a fragment removed before its open: error 53, and it is not created" late_change False openat 'rm "$work/late.2"' \
    '[ $late = 2 ] && grep -q "^error 53: " "$work/err" && [ ! -e "$work/late.2" ]'
  for checksums in False True; do
    check "a fragment cut short while it is copied, Checksums=$checksums: a failure naming it, no joined file" \
      late_change $checksums copy_file_range,read,pread64 cut_short '[[ $late == [12] ]] && grep -q "late\.2 " "$work/err" && [ ! -e "$work/late" ]'
  done
else
  skip "strace cannot trace here (fragments changed during a join)"
fi

# 4. Read-only files that root cannot write: mode bits, an immutable file on
# ext4, a read-only mount. Every operation fails and changes nothing.
read_only_cases() {  # read_only_cases DISK HOW MAKE UNDO (MAKE and UNDO run in DISK)
  local disk=$1 how=$2 before
  head -c 300000 /dev/urandom >"$disk/ro"
  cp "$disk/ro" "$work/ro.original"
  split_call "$disk/ro" 3 >/dev/null
  (cd "$disk" && eval "$3")
  before=$(snapshot "$disk")
  check "read-only by $how: the split and the join fail and change nothing" eval \
    '[[ $(status_of split_call "$disk/ro" 3) == [12] ]] && [[ $(status_of join_call "$disk/ro") == [12] ]] &&
     [ "$(snapshot "$disk")" = "$before" ] && cmp -s "$disk/ro" "$work/ro.original"'
  (cd "$disk" && eval "$4")
}
mkdir -p "$work/plain"
read_only_cases "$work/plain" mode "chmod a-w ro ro.2" "chmod u+w ro ro.2"
if [ -d "$work/ext4" ] && mountpoint -q "$work/ext4"; then
  read_only_cases "$work/ext4" immutable "chattr +i ro ro.2" "chattr -i ro ro.2"
  read_only_cases "$work/ext4" mount "mount -o remount,ro ." "mount -o remount,rw ."
else
  skip "immutable files and read-only mounts: no ext4 loop mount"
fi

report
