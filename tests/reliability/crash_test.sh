#!/usr/bin/env bash
# Crash points: a split over an older set (with its checksum file), the same
# split of an input in another folder into the set's folder (SetFolder), a
# split with recovery data over an older set that has its own, and
# a join over an older file of the output's name, through `component call`, killed
# with SIGKILL before each system call that may change the disk, a run per
# call (strace counts calls per kind and thread; every open is a kill point). After every kill the name holds the older
# file or the new one, byte for byte, and nothing else: the split's input is
# untouched, a join gives one of the two or refuses, `sha256sum -c` passes
# over no other set, and the same call run again is exact and leaves no
# `.tessik-` file. A full run, traced, must keep the order a power cut needs:
# the files that commit (a split's checksum file and fragment 1, the joined
# file) flushed before they are renamed into place, the folder flushed after
# each and before the next; for a split, every fragment flushed before the
# checksum file is renamed in, and fragment 1 renamed in last, after the
# recovery files, each flushed before it is renamed in. Whatever recovery
# data a kill leaves, par2cmdline repairs with it only to the older file or
# the new one.
set -u
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
one_thread=1  # strace counts the calls of each thread apart
command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null || { skip "strace cannot trace here"; exit 77; }
use_scratch_registry register
cd "$work" || exit 1  # the traces then name the set's folder only where the operation does
folder=$work/crash-set base=$work/crash-set/film parts=4
head -c 320001 /dev/urandom >"$work/older"
head -c 250003 /dev/urandom | tee "$work/film" >"$work/newer"  # film: an input outside the set's folder
calls=open,openat,unlink,unlinkat,rename,renameat,renameat2,linkat,write,pwrite64,copy_file_range,fallocate,ftruncate,fchmod,fsync,fdatasync,sync_file_range
# LeakSanitizer cannot run under ptrace; the sanitizer build tries every third kill point.
traced=(env "ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -o "$work/trace")
stride=$(sanitized && echo 3 || echo 1)

# The split's folder: the new file beside the older file's set of 5 and its
# checksum file. The join's: the new file's set of 4 beside the older file.
template() {  # template OPERATION SET_OF PARTS FILE_AT_THE_NAME [STEP...]
  mkdir "$folder" && cp "$work/$2" "$base" && split_call "$base" "$3" "${@:5}" >/dev/null &&
    cp "$work/$4" "$base" && mv "$folder" "$work/$1.template"
}
template split older 5 newer && template join newer "$parts" older &&
  template split-recovery older 5 newer Recovery=2 || exit 1
recovery() { [ "$1" != split-recovery ] || echo Recovery=1; }
prepare() { rm -rf "$folder" && cp -a "$work/${1%-into}.template" "$folder"; }
operate() {  # operate OPERATION [COMMAND WORDS IN FRONT]
  local via=("${@:2}") input=$base into=
  [ "$1" != split-into ] || input=$work/film into=$folder
  if [ "$1" != join ]; then call "SetFolder=$into" "InputFile=$input" "SubFilesNumber=$parts" $(recovery "$1") Split
  else join_call "$base"; fi >"$work/out" 2>"$work/err"
}
either_file() { cmp -s "$1" "$work/older" || cmp -s "$1" "$work/newer"; }
# Joins the set in a scratch copy of its folder, into $work/scratch/film.
scratch_join() { rm -rf "$work/scratch" && cp -a "$folder" "$work/scratch" && join_call "$work/scratch/film" >/dev/null 2>&1; }
checksums_pass() { (cd "$folder" && sha256sum --quiet -c film.sha256) >/dev/null 2>&1; }
# The fragments film.sha256 lists, one after the other, in $work/listed.
listed_set() { (cd "$folder" && sed -n 's/^[0-9a-f]\{64\} [ *]//p' film.sha256 | grep -vx film | xargs cat) >"$work/listed"; }

# What a kill of OPERATION broke, a line each; nothing when all held.
broken_by_kill() {
  local status
  if [ "$1" != join ]; then cmp -s "$base" "$work/newer" && cmp -s "$work/film" "$work/newer" || echo "the input changed"
  else either_file "$base" || echo "film is neither the older file nor the new one"; fi
  scratch_join
  status=$?
  case $status in
    0) either_file "$work/scratch/film" || echo "a join said True over neither file" ;;
    1|2) ;;
    *) echo "a join exited $status" ;;
  esac
  ! checksums_pass || { listed_set && either_file "$work/listed"; } || echo "sha256sum -c passed over neither file"
  par2_repairs_to_either || echo "par2 repair made neither file"
  operate "$1"
  status=$?
  [ "$status $(cat "$work/out")" = "0 True" ] || { echo "the same $1 again exited $status:"; cat "$work/err"; }
  if [ "$1" != join ]; then
    scratch_join && cmp -s "$work/scratch/film" "$work/newer" && checksums_pass ||
      echo "the set made again does not join to the input, or sha256sum -c fails"
  else cmp -s "$base" "$work/newer" || echo "the join made again is not the new file"; fi
  ! compgen -G "$folder/.tessik-*" >/dev/null || echo "left after the same $1 again: $(cd "$folder" && echo .tessik-*)"
}
# Whether par2cmdline, repairing a scratch copy of the set with whatever
# recovery data is there, makes the older file or the new one, or refuses.
par2_repairs_to_either() {
  [ -e "$folder/film.par2" ] || return 0
  rm -rf "$work/scratch" && cp -a "$folder" "$work/scratch" && rm -f "$work/scratch/film"
  (cd "$work/scratch" && par2 repair film.par2 >"$work/par2.out" 2>&1) || return 0
  # The fragments the recovery data describes, in order: others may be left beyond them.
  (cd "$work/scratch" && sed -n 's/^Target: "\(film\.[0-9]*\)".*/\1/p' "$work/par2.out" | sort -u -t. -k2n |
    xargs cat) >"$work/listed"
  either_file "$work/listed"
}
kill_held() { local broken; broken=$(broken_by_kill "$1"); [ -z "$broken" ] || { echo "$broken" >&2; false; }; }

# Whether the full run of OPERATION traced in TRACE (with -y) kept the order
# a power cut needs (see the top).
order_held() {  # order_held OPERATION TRACE
  awk -v folder="$folder" -v operation="$1" -v parts="$parts" '
    function fail(why) { print "component " operation ": " why >"/dev/stderr"; bad = 1 }
    function name(path) { sub(/.*\//, "", path); return path }
    function flushed_now(path) {
      if (path == folder) pending = ""; else if (!(name(path) in flushed)) flushed[name(path)] = ++events
    }
    # A flush counts once it has returned (a thread of its own may make it).
    /^[0-9]+ +f(data)?sync\(/ {
      path = $0; sub(/^[^<]*</, "", path); sub(/>.*/, "", path)
      if (/<unfinished \.\.\.>$/) waiting[$1] = path; else flushed_now(path)
    }
    /^[0-9]+ +<\.\.\. f(data)?sync resumed>/ { flushed_now(waiting[$1]) }
    /^[0-9]+ +rename(at2?)?\(/ {
      split($0, quoted, "\""); from = name(quoted[2]); to = name(quoted[4])
      last = to; renamed[to] = ++events; source[to] = from
      if (to ~ /\.par2$/ && !(from in flushed)) fail(to " renamed in before it was flushed")
      if (to !~ /^film(\.1|\.sha256)?$/) next  # fragments 2 on: flushed before the checksum file
      if (!(from in flushed)) fail(to " renamed in before it was flushed")
      if (pending != "") fail(to " renamed in before the folder was flushed after renaming in " pending)
      pending = to
    }
    END {
      want = operation != "join" ? "film.1" : "film"
      if (last != want) fail("the last file renamed in is \"" last "\", not " want)
      if (pending != "") fail("the folder is not flushed after " pending " is renamed in")
      if (operation == "split-recovery" && !("film.par2" in renamed && renamed["film.par2"] < renamed["film.1"]))
        fail("film.par2 is not renamed in before film.1")
      if (operation != "join" && !("film.sha256" in renamed)) fail("film.sha256 is never renamed in")
      else if (operation != "join") for (k = 1; k <= parts; k++) {
        fragment = k == 1 ? source["film.1"] : "film." k
        if (!(fragment in flushed) || flushed[fragment] > renamed["film.sha256"])
          fail("fragment " k " is not flushed before film.sha256 is renamed in")
      }
      exit bad
    }' "$2"
}

# The first call of SYSCALL worth a kill: a kill before the operation first
# names its folder finds it as prepared (the main thread's count).
first_call() {
  awk -v call="$1(" -v folder="$folder" 'NR == 1 { main = $1 } index($0, folder) { exit }
    $1 == main && index($2, call) == 1 { n++ } END { print n + 1 }' "$work/$2.trace"
}

declare -A kills
for operation in split split-into split-recovery join; do
  prepare "$operation" && check "component $operation, traced in full" operate "$operation" "${traced[@]}" -y -e trace="$calls"
  cp "$work/trace" "$work/$operation.trace"
  check "component $operation: the order a power cut needs" order_held "$operation" "$work/$operation.trace"
  for syscall in $(sed -nE 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p' "$work/$operation.trace" | sort -u); do
    when=$(first_call "$syscall" "$operation")
    while prepare "$operation"; do
      operate "$operation" "${traced[@]}" -e trace="$syscall" -e inject="$syscall:signal=KILL:when=$when"
      status=$?
      [ "$status" = 137 ] || break
      kills[$operation]=$((${kills[$operation]:-0} + 1))
      check "component $operation killed before $syscall call $when" kill_held "$operation"
      when=$((when + stride))
    done
    check "component $operation run to its end without a $syscall call $when" test "$status $(cat "$work/out")" = "0 True"
  done
done
echo "crash points: split ${kills[split]:-0}, split-into ${kills[split-into]:-0}," \
  "split-recovery ${kills[split-recovery]:-0}, join ${kills[join]:-0}"
report
