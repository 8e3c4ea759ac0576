#!/usr/bin/env bash
# Faults injected into real splits and joins through `component call`:
# failing system calls (strace), short reads, writes and kernel copies (the
# short_io library), a refused kernel copy. Every run must end in the exact
# result with exit 0 and "True", or report failure: exit 1 with the
# component's box on standard error, or exit 2 with "error N: ...", and
# leave nothing half-made. Exiting 0 over a wrong result, dying of a signal,
# hanging or leaving a set half new and half old fails. (fragment-tool runs
# the same engine code and reaches no call site of it that this does not.)
set -u
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
one_thread=1  # strace counts the calls of each thread apart
use_scratch_registry register
head -c 2000001 /dev/urandom >"$work/data"
head -c 30001 /dev/urandom >"$work/small"
declare -A injected_runs

# Runs OPERATION (split or join) of $work/rt behind the command words given
# after it, if any; standard output and error go to $work/out and $work/err.
operate() { local via=("${@:2}"); if [ "$1" = split ]; then split_call "$work/rt" 3; else join_call "$work/rt"; fi >"$work/out" 2>"$work/err"; }

# A split's input beside stale fragments of an earlier split in 5, or a
# join's set of 3 beside a stale file under the output name, so that every
# operation also replaces and removes files. Each set has a checksum file,
# written by sha256sum, which the split reads and replaces and the join is
# verified against. The expected result goes to $work/rt.original. (A set is
# any cut into consecutive pieces.)
prepare() {  # prepare split|join INPUT
  rm -f "$work"/rt*
  cp "$2" "$work/rt" && cp "$2" "$work/rt.original" || return 1
  local parts=5; [ "$1" = split ] || parts=3
  split -a 1 --numeric-suffixes=1 -b $((($(stat -c %s "$2") + parts - 1) / parts)) "$work/rt" "$work/rt." &&
    (cd "$work" && sha256sum rt.[1-5] rt >rt.sha256) && cp "$work/rt.1" "$work/older.1" || return 1
  [ "$1" = split ] || echo stale >"$work/rt"
}

# Whether the finished run kept the rule: exit 0 with the exact result (and
# "True"), or a reported failure that left nothing half-made:
# no fragment 1 of the split's own (the older set may stay whole), and under
# the joined file's name the older file or, when only the folder's flush
# after the rename failed, the exact new one. A failed write to standard error ($work/trace
# shows it) may have swallowed the report's text. A close failed by strace
# keeps its descriptor, and with it the lock, which no real close does: the
# clean-up then reports what it could not remove, and that is all it can do.
outcome_holds() {  # outcome_holds OPERATION STATUS
  local operation=$1 status=$2 box="Tessik: Error splitting file!" lost_output=false
  [ "$operation" = split ] || box="Tessik: Error joining files!"
  grep -qE '^([0-9]+ +)?write\(2[<,].*\(INJECTED\)' "$work/trace" 2>/dev/null && lost_output=true
  # A failed write of the result to standard output fails a call whose work was done.
  [ "$status" = 2 ] && grep -q ': standard output$' "$work/err" && status=done_but_unprinted
  if ! grep -qE '^([0-9]+ +)?close\(.*\(INJECTED\)' "$work/trace" 2>/dev/null ||
     ! grep -q "could not be removed" "$work/err"; then
    # No checksum file survives that does not describe the set beside it.
    [ "$operation" = join ] || [ ! -e "$work/rt.sha256" ] ||
      (cd "$work" && sha256sum --quiet -c rt.sha256 >/dev/null 2>&1) || { echo "a stale checksum file" >&2; return 1; }
    [ "$status" = 0 ] || [ "$status" = done_but_unprinted ] || if [ "$operation" = split ]; then
      [ ! -e "$work/rt.1" ] || cmp -s "$work/rt.1" "$work/older.1" || { echo "a half-made set" >&2; return 1; }
    else
      [ ! -e "$work/rt" ] || echo stale | cmp -s - "$work/rt" || cmp -s "$work/rt" "$work/rt.original" ||
        { echo "a half-made joined file" >&2; return 1; }
    fi
  fi
  case $status in
    0)
      if [ "$operation" = split ]; then [ ! -e "$work/rt.4" ] && cat "$work"/rt.[123] | cmp -s - "$work/rt.original"
      else cmp -s "$work/rt" "$work/rt.original"; fi || { echo "exit 0 over a wrong result" >&2; return 1; }
      [ "$(cat "$work/out")" = True ] ;;
    1) $lost_output || grep -qxF "$box" "$work/err" ;;
    2|done_but_unprinted) $lost_output || grep -qE '^error [0-9]+: ' "$work/err" ;;
    *) echo "exit status $status" >&2; false ;;
  esac
}

can_trace=false
command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null && can_trace=true
# LeakSanitizer cannot run under ptrace; the rest of the sanitizers can.
traced=(env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0" strace -f --seccomp-bpf -o "$work/trace")
if $can_trace; then
  # Fails the calls of SYSCALL that the operation makes after start-up, one
  # per run, with EIO: every run must keep the rule and one run at least must
  # report the failure. A failed flush, write, kernel copy or removal must
  # always be reported: even when the bytes compare equal, they may never
  # reach the disk, or a stale file stays. "fallback" refuses the kernel copy
  # too, so that the ordinary copy runs. Calls on a pipe, /proc or /sys are
  # left alone: that is how the sanitizer runtime probes memory and maps the
  # modules it loads. Above 150 calls, every k-th call and the last 20 are
  # failed.
  fault_holds() {  # fault_holds OPERATION SYSCALL [fallback]
    local operation=$1 syscall=$2 status when first sites step=1 runs=0 injected=0 reported=0 skipped=0
    local -a trace=("${traced[@]}" -y -e trace="$syscall,copy_file_range,openat")
    [ -z "${3:-}" ] || trace+=(-e inject=copy_file_range:error=ENOSYS)
    # The calls of SYSCALL made before main, by the dynamic loader and the
    # sanitizer runtime: failing one only stops the program from starting.
    # They are counted in a run that just prints its usage.
    "${traced[@]}" -e trace="$syscall,write" "$COMPONENT" >/dev/null 2>&1
    first=$(awk -v pattern="^([0-9]+ +)?$syscall\\\\(" '/write\(2, "usage/ { exit } $0 ~ pattern { n++ } END { print n + 0 }' "$work/trace")
    prepare "$operation" "$work/data" && operate "$operation" "${trace[@]}" || return 1
    # Every file the operation makes reaches the disk, and so do their names:
    # each, then the folder, is flushed.
    [ "$syscall" != fsync ] || awk -v work="$work" 'BEGIN { made["<" work ">"] = 1 }
      /openat\(.*O_CREAT.* = [0-9]+</ && index($NF, "<" work "/rt") { sub(/^[0-9]+/, "", $NF); made[$NF] = 1 }
      /fsync\(/ { sub(/.*fsync\([0-9]+/, ""); sub(/(\)| <unfinished).*/, ""); flushed[$0] = 1 }
      END { for (file in made) if (!(file in flushed)) { print "never flushed: " file; bad = 1 }; exit bad }' "$work/trace" >&2 || return 1
    awk -v pattern="^([0-9]+ +)?$syscall\\\\(" -v first="$first" \
      '$0 ~ pattern && ++n > first && $0 !~ /\(.*<(pipe:|\/proc\/|\/sys\/)/ { print n }' "$work/trace" >"$work/sites"
    sites=$(wc -l <"$work/sites")
    [ "$sites" -le 150 ] || { step=$(((sites + 129) / 130)) && local sampled=" (every ${step}th and the last 20)"; }
    for when in $(awk -v step="$step" -v last=$((sites - 20)) 'step == 1 || NR % step == 1 || NR > last' "$work/sites"); do
      prepare "$operation" "$work/data" || return 1
      operate "$operation" "${trace[@]}" -e inject="$syscall:error=EIO:when=$when"
      status=$?
      runs=$((runs + 1))
      # The numbering can shift (threads, and the sanitizer's reads of
      # /proc/self/maps, which vary with the memory layout) onto a call left
      # alone as above, or past the last call: such a run tells nothing.
      # So can a call of the sanitizer's own whose line another thread split in two.
      grep -q "CHECK failed: sanitizer_" "$work/err" ||
      grep -qE "^([0-9]+ +)?$syscall\(.*<(pipe:|/proc/|/sys/).*\(INJECTED\)" "$work/trace" ||
        ! grep -qE "^([0-9]+ +)?($syscall\(|<\.\.\. $syscall resumed).*\(INJECTED\)" "$work/trace" &&
        { skipped=$((skipped + 1)); continue; }
      [ "$status" = 1 ] || [ "$status" = 2 ] && reported=$((reported + 1))
      if grep -qE "^([0-9]+ +)?$syscall\(.*EIO.*\(INJECTED\)" "$work/trace"; then
        injected=$((injected + 1))
        # A temporary file of its own that stays is a leftover the next operation removes.
        [ "$status" != 0 ] || [[ ! $syscall =~ ^(fsync|write|copy_file_range|unlink)$ ]] ||
          grep -qE "^([0-9]+ +)?unlink\(\"[^\"]*\.tessik-.*\(INJECTED\)" "$work/trace" || status="0 over a failed $syscall"
        # So must a failed close of a file it created: its bytes may not be on the disk.
        [ "$status" != 0 ] || [ "$syscall" != close ] || ! awk '/openat\(.* = [0-9]+</ { made[$NF] = /O_CREAT/ }
          /close\(.*INJECTED/ { sub(/.*close\(/, ""); sub(/\).*/, ""); made_it = made[$0]; exit } END { exit !made_it }' "$work/trace" ||
          status="0 over a failed close of a file it made"
      fi
      outcome_holds "$operation" "$status" ||
        { echo "component $operation: $syscall failing at call $when broke the rule; standard error:" >&2; cat "$work/err" >&2; return 1; }
    done
    injected_runs[$syscall]=$((${injected_runs[$syscall]:-0} + injected))
    echo "component $operation, $syscall${3:+ in the $3}: $sites call sites, $runs runs${sampled:-}, $injected injected, $reported reported failure"
    [ "$sites" = "$skipped" ] || [ "$reported" -gt 0 ]
  }
  # Nothing writes with pwrite64 today; the loop finds out if something does.
  for operation in split join; do
    for syscall in read pread64 write pwrite64 fsync close unlink copy_file_range; do
      check "component $operation with $syscall failing" fault_holds "$operation" "$syscall"
    done
    for syscall in pread64 write; do check "component $operation with $syscall failing in the ordinary copy" \
      fault_holds "$operation" "$syscall" fallback; done
  done
  for syscall in "${!injected_runs[@]}"; do echo "injected runs with $syscall failing: ${injected_runs[$syscall]}"; done
else
  echo "skipped: strace cannot trace here (the injected failures and refusals)" >&2
fi

# The operation made exact with a refused or short kernel copy, short reads
# and short writes. The library's log shows that it did cut transfers short.
exact_despite() {  # exact_despite OPERATION INPUT SHORT_IO REFUSAL
  local operation=$1 input=$2 mode=$3 refusal=$4 status options=${ASAN_OPTIONS:-}
  local -a command=(env)
  [ "$refusal" = - ] ||
    { command=("${traced[@]}" -e trace=copy_file_range -e inject="copy_file_range:error=$refusal" env); options+=:detect_leaks=0; }
  # The library goes in front of the sanitizer runtime, which then must not
  # insist on being first.
  [ "$mode" = - ] || command+=(SHORT_IO="$mode" SHORT_IO_LOG="$work/short_io.log" LD_PRELOAD="$SHORT_IO_LIBRARY"
    ASAN_OPTIONS="$options:verify_asan_link_order=0")
  prepare "$operation" "$input" && rm -f "$work/short_io.log" "$work/trace" || return 1
  operate "$operation" "${command[@]}"
  status=$?
  if [ "$status" != 0 ] || ! outcome_holds "$operation" 0; then cat "$work/err" >&2; return 1; fi
  [ "$refusal" = - ] || grep -q "$refusal (.*INJECTED" "$work/trace" || return 1
  [ "$mode" = - ] || [ "$(awk '{ n += $2 } END { print n + 0 }' "$work/short_io.log")" -gt 0 ]
}
for operation in split join; do
  for refusal in ENOSYS EXDEV EOPNOTSUPP; do
    ! $can_trace || check "component $operation with the kernel copy refused with $refusal" \
      exact_despite "$operation" "$work/data" - "$refusal"
  done
  check "component $operation with every transfer one byte" exact_despite "$operation" "$work/small" 1 -
  check "component $operation with transfers cut short" exact_despite "$operation" "$work/data" mix -
  ! $can_trace || check "component $operation with one-byte reads and writes" exact_despite "$operation" "$work/small" 1 ENOSYS
done

report
