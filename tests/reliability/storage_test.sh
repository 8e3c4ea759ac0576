#!/usr/bin/env bash
# What the file system can do to a split or a join, done for real through
# `component call` and the engine's own tool: a full disk (tmpfs and a
# loop-mounted ext4), a file-size limit, kill -9 at random moments, locks held
# by other programs, and read-only files that root cannot write either. The
# rule every time: the exact result, or a reported failure that leaves the
# input or the fragments as they were and nothing half-made beside them.
set -u
engine=$(realpath "${1:?usage: storage_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
tool=$(realpath "${2:?usage: storage_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
module=$(realpath "${3:?usage: storage_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
talhaz=$(realpath "${4:?usage: storage_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
use_scratch_registry
mounts=()
cleanup() {
  jobs -p | xargs -r kill -9 2>/dev/null
  wait 2>/dev/null
  local point
  for point in "${mounts[@]}"; do chattr -R -i "$point" 2>/dev/null; umount "$point"; done
  rm -rf "$work"
}
trap cleanup EXIT
"$tool" register "$module" >/dev/null || { echo "cannot register $module" >&2; exit 1; }

skip() { echo "skipped: $*" >&2; }
# Runs a command; echoes its exit status.
status_of() { "$@" >"$work/out" 2>"$work/err"; echo $?; }
# The component's split and join, killed should one ever hang.
split_call() { timeout -s KILL 60 "$tool" call Tessik.FileSplit "InputFile=$1" "SubFilesNumber=$2" Split; }
join_call() { timeout -s KILL 60 "$tool" call Tessik.FileSplit "OutputFile=$1" Join; }
# The component's way of saying false: exit 1 and its box.
said_false() { test "$1" = 1 && grep -qx "Tessik: Error $2!" "$work/err"; }
# Checksums of every file in a folder, to show that a failure changed nothing.
snapshot() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0r sha256sum); }
# True when the fragments of $1 are consecutive slices of $2 from its start;
# with "whole", when they are all of it.
slices_of() {
  local set=$1 original=$2 number=1 offset=0 size
  while [ -e "$set.$number" ]; do
    size=$(stat -c %s "$set.$number")
    cmp -s "$set.$number" <(tail -c +$((offset + 1)) "$original" | head -c "$size") || return 1
    offset=$((offset + size)) number=$((number + 1))
  done
  [ "$number" -gt 1 ] && { [ "${3:-}" != whole ] || [ "$offset" = "$(stat -c %s "$original")" ]; }
}
# True when a failed split left no set to be joined: no fragment 1, no
# checksum file.
no_set_left() { [ ! -e "$1.1" ] && [ ! -e "$1.sha256" ]; }
free_bytes() { sync; df --output=avail -B1 "$1" | tail -1; }
# Leaves `bytes` free on the file system of folder $1 with a filler file.
leave_free() { local fill=$(( $(free_bytes "$1") - $2 )); [ "$fill" -le 0 ] || head -c "$fill" /dev/zero >"$1/filler"; }

# Mounts a small file system of kind $1 (tmpfs, or ext4 in a file on a loop
# device) at $work/$1. False, with a reason, when this machine refuses.
mount_small() {
  local kind=$1 point=$work/$1
  mkdir -p "$point"
  if [ "$kind" = tmpfs ]; then
    mount -t tmpfs -o size=8M tmpfs "$point" 2>/dev/null || { skip "cannot mount tmpfs"; return 1; }
  else
    { truncate -s 16M "$work/ext4.img" && mkfs.ext4 -q -F -m 0 "$work/ext4.img" &&
      mount -o loop "$work/ext4.img" "$point"; } 2>/dev/null || { skip "cannot mount ext4 on a loop device"; return 1; }
  fi
  mounts+=("$point")
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
  status=$(status_of split_call "$disk/film" 3)
  check "$kind full: split reports false" said_false "$status" "splitting file"
  check "$kind full: the input is untouched" cmp -s "$disk/film" "$work/original"
  check "$kind full: the fragments written are removed" no_set_left "$disk/film"
  rm -f "$disk/filler"
  check "$kind with room again: split succeeds" test "$(status_of split_call "$disk/film" 3)" = 0
  check "$kind: its set is exact" slices_of "$disk/film" "$work/original" whole

  rm "$disk/film"
  leave_free "$disk" $((fragment * 3 / 2))  # the join stops in its second fragment
  before=$(sha256sum "$disk"/film.*)
  status=$(status_of join_call "$disk/film")
  check "$kind full: join reports false" said_false "$status" "joining files"
  check "$kind full: the joined file is removed" test ! -e "$disk/film"
  check "$kind full: the fragments are untouched" test "$(sha256sum "$disk"/film.*)" = "$before"
  rm -f "$disk/filler"
  check "$kind with room again: join succeeds" test "$(status_of join_call "$disk/film")" = 0
  check "$kind: the joined file is exact" cmp -s "$disk/film" "$work/original"
}
if [ "$(id -u)" != 0 ]; then
  skip "full disks, immutable files and read-only mounts need root"
else
  ! mount_small tmpfs 4M || full_disk tmpfs
  ! mount_small ext4 16M || full_disk ext4
fi

# 2. A file-size limit: a write past it fails like a full disk, whether
# SIGXFSZ is ignored by whoever started us or not; never a silent death.
head -c 3000000 /dev/urandom >"$work/original"
for program in engine component; do
  for signal in default ignored; do
    rm -f "$work"/limited*
    cp "$work/original" "$work/limited"
    command=("$engine" split "$work/limited" 2)
    [ "$program" = engine ] || command=("$tool" call Tessik.FileSplit "InputFile=$work/limited" SubFilesNumber=2 Split)
    ignore=; [ "$signal" = default ] || ignore='trap "" XFSZ;'
    # 1024 blocks of 1 KiB: the first 1.5 MB fragment crosses the limit.
    status=$(status_of bash -c "$ignore ulimit -f 1024; \"\$@\"" limit "${command[@]}")
    check "file-size limit, SIGXFSZ $signal: the $program fails cleanly" test "$status" = 1
    check "file-size limit, SIGXFSZ $signal: the $program's fragment is removed" no_set_left "$work/limited"
    check "file-size limit, SIGXFSZ $signal: the input is untouched" cmp -s "$work/limited" "$work/original"
  done
done
# The window program, however it was started, ignores SIGXFSZ.
ignores_file_size_signal() {
  local mask; mask=$(awk '/^SigIgn:/ {print $2}' "/proc/$1/status" 2>/dev/null)
  [ -n "$mask" ] && (( 0x$mask >> 24 & 1 ))
}
QT_QPA_PLATFORM=offscreen "$talhaz" >/dev/null 2>&1 &
window=$!
for _ in $(seq 50); do ignores_file_size_signal "$window" && break; sleep 0.1; done
check "Talhaz ignores SIGXFSZ" ignores_file_size_signal "$window"
kill "$window"; wait "$window" 2>/dev/null

# 3. kill -9 at random moments, then the same call again: exact, and no lock
# outlives the killed process.
head -c 100000000 /dev/urandom >"$work/original"
cp "$work/original" "$work/big"
start=$(date +%s%N)
split_call "$work/big" 5 >/dev/null 2>&1
duration_ms=$(( ($(date +%s%N) - start) / 1000000 + 1 ))
killed=0
for run in 1 2 3 4 5 6; do
  for operation in split join; do
    # The victim is the tool's own process, started directly.
    if [ "$operation" = split ]; then
      "$tool" call Tessik.FileSplit "InputFile=$work/big" SubFilesNumber=5 Split >/dev/null 2>&1 &
    else
      rm -f "$work/big"
      "$tool" call Tessik.FileSplit "OutputFile=$work/big" Join >/dev/null 2>&1 &
    fi
    victim=$!
    sleep "$(awk -v r="$RANDOM" -v d="$duration_ms" 'BEGIN { printf "%.3f", r % d / 1000 }')"
    kill -9 "$victim" 2>/dev/null && killed=$((killed + 1))
    wait "$victim" 2>/dev/null
    locked=0
    for file in "$work"/big*; do flock -n "$file" true || locked=1; done
    check "kill -9 $operation run $run: no lock outlives the process" test "$locked" = 0
    if [ "$operation" = split ]; then
      check "kill -9 split run $run: the repeated split succeeds" test "$(status_of split_call "$work/big" 5)" = 0
      check "kill -9 split run $run: the input is exact" cmp -s "$work/big" "$work/original"
    else
      check "kill -9 join run $run: the repeated join succeeds" test "$(status_of join_call "$work/big")" = 0
      check "kill -9 join run $run: the joined file is exact" cmp -s "$work/big" "$work/original"
    fi
  done
done
echo "kill -9: $killed processes killed mid-operation (of 12 runs, ${duration_ms} ms per split)"

# 4. Locks: another program's lock makes the open fail at once and nothing is
# written; two splits of one file at the same time: at most one succeeds
# while they overlap, the other reports false, and the set is exact.
holder=
stop_holder() { [ -z "$holder" ] || { pkill -P "$holder"; kill "$holder"; wait "$holder"; } 2>/dev/null; holder=; }
hold() { flock "$1" sleep 30 >/dev/null 2>&1 & holder=$!; for _ in $(seq 50); do flock -n "$1" true || break; sleep 0.1; done; }
rm -f "$work"/big.*
hold "$work/big"
check "a locked input: the split fails at once" said_false "$(status_of timeout 5 "$tool" call Tessik.FileSplit "InputFile=$work/big" SubFilesNumber=2 Split)" "splitting file"
check "and writes no fragment" test ! -e "$work/big.1"
stop_holder
split_call "$work/big" 3 >/dev/null 2>&1
rm "$work/big"
hold "$work/big.2"
check "a locked fragment: the join fails at once" said_false "$(status_of timeout 5 "$tool" call Tessik.FileSplit "OutputFile=$work/big" Join)" "joining files"
check "the joined file is removed" test ! -e "$work/big"
stop_holder
# Two programs on one name at once: split and join, join and join, split and
# split. Each ends exact or reports failure, and the data survives whole in
# the file or in the set after every round.
head -c 30000000 /dev/urandom >"$work/original"
succeeded() {  # succeeded OPERATION: its result is exact
  if [ "$1" = split ]; then slices_of "$work/big" "$work/original" whole &&
    (cd "$work" && sha256sum --quiet -c --ignore-missing big.sha256 >/dev/null 2>&1)
  else cmp -s "$work/big" "$work/original"; fi
}
run_of() { if [ "$1" = split ]; then split_call "$work/big" 4; else join_call "$work/big"; fi; }
declare -A failed_once
for pair in "split join" "join split" "join join" "split split"; do
  read -r a b <<<"$pair"
  for run in $(seq 8); do
    rm -f "$work"/big*
    cp "$work/original" "$work/big" && split_call "$work/big" 4 >/dev/null 2>&1
    run_of "$a" >"$work/first" 2>&1 & first=$!
    run_of "$b" >"$work/second" 2>&1 & second=$!
    wait "$first"; sa=$?; wait "$second"; sb=$?
    [ "$sa$sb" = 00 ] || failed_once[$pair]=1
    check "$a ∥ $b $run: each exits 0, 1 or 2" test "$sa" -le 2 -a "$sb" -le 2
    [ "$sa" != 0 ] || check "$a ∥ $b $run: the $a that succeeded is exact" succeeded "$a"
    [ "$sb" != 0 ] || check "$a ∥ $b $run: the $b that succeeded is exact" succeeded "$b"
    check "$a ∥ $b $run: the data survives" eval 'cmp -s "$work/big" "$work/original" || slices_of "$work/big" "$work/original" whole'
  done
done
echo "concurrent pairs that overlapped at least once: ${!failed_once[*]}"

# A fragment replaced or removed while a join waits to open it (strace holds
# the open back): the join reads each fragment whole through one descriptor,
# or reports it; it never creates a fragment.
if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
  delayed_join() {  # delayed_join CHECKSUMS CHANGE
    rm -f "$work"/late*
    head -c 3000000 /dev/urandom >"$work/late"
    "$tool" call Tessik.FileSplit "InputFile=$work/late" SubFilesNumber=3 "Checksums=$1" Split >/dev/null
    rm "$work/late"
    env ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -o /dev/null -P "$work/late.2" \
      -e trace=openat -e inject=openat:delay_enter=1500000 \
      "$tool" call Tessik.FileSplit "OutputFile=$work/late" "Checksums=$1" Join >"$work/out" 2>"$work/err" &
    sleep 0.7
    eval "$2"
    wait $!
  }
  delayed_join False 'head -c 1500000 /dev/urandom >"$work/new" && mv "$work/new" "$work/late.2"'
  late=$?
  check "a fragment replaced before its open: the join is exact with the new one" eval \
    '[ $late = 0 ] && cat "$work"/late.[123] | cmp -s - "$work/late"'
  delayed_join True 'head -c 1000000 /dev/urandom >"$work/new" && mv "$work/new" "$work/late.2"'
  late=$?
  check "a fragment replaced before its open: the verified join names it" eval \
    '[ $late = 1 ] && grep -qx "late.2 does not match late.sha256" "$work/err" && [ ! -e "$work/late" ]'
  delayed_join False 'rm "$work/late.2"'
  late=$?
  check "a fragment removed before its open: error 53, and it is not created" eval \
    '[ $late = 2 ] && grep -q "^error 53: " "$work/err" && [ ! -e "$work/late.2" ]'
else
  skip "strace cannot trace here (fragments changed during a join)"
fi

# 5. Read-only files that root cannot write: mode bits, an immutable file on
# ext4, a read-only mount. Every operation fails and changes nothing.
read_only_cases() {
  local disk=$1 how=$2 before status
  head -c 300000 /dev/urandom >"$disk/ro"
  cp "$disk/ro" "$work/ro.original"
  "$engine" split "$disk/ro" 3
  case $how in
    mode) chmod a-w "$disk/ro" "$disk/ro.2" ;;
    immutable) chattr +i "$disk/ro" "$disk/ro.2" ;;
    mount) mount -o remount,ro "$disk" ;;
  esac
  before=$(snapshot "$disk")
  status=$(status_of split_call "$disk/ro" 3)
  check "read-only by $how: the split fails" test "$status" = 1 -o "$status" = 2
  status=$(status_of join_call "$disk/ro")
  check "read-only by $how: the join fails" test "$status" = 1 -o "$status" = 2
  check "read-only by $how: nothing changed" test "$(snapshot "$disk")" = "$before"
  check "read-only by $how: the input is whole" cmp -s "$disk/ro" "$work/ro.original"
  case $how in
    mode) chmod u+w "$disk/ro" "$disk/ro.2" ;;
    immutable) chattr -i "$disk/ro" "$disk/ro.2" ;;
    mount) mount -o remount,rw "$disk" ;;
  esac
}
mkdir -p "$work/plain"
read_only_cases "$work/plain" mode
if [ -d "$work/ext4" ] && mountpoint -q "$work/ext4"; then
  read_only_cases "$work/ext4" immutable
  read_only_cases "$work/ext4" mount
else
  skip "immutable files and read-only mounts: no ext4 loop mount"
fi

report
