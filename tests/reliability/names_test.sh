#!/usr/bin/env bash
# Hostile file names and planted links, through the engine's tool, `component
# call` and Talhaz's start-up argument. A name gives an exact round trip or a
# clear error; a link's target is never written; an input is never lost.
set -u
engine=$(realpath "${1:?usage: names_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
tool=$(realpath "${2:?usage: names_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
module=$(realpath "${3:?usage: names_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
talhaz=$(realpath "${4:?usage: names_test.sh FRAGMENT_TOOL COMPONENT TESSIK_MODULE TALHAZ}")
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
use_scratch_registry
"$tool" register "$module" >/dev/null || { echo "cannot register $module" >&2; exit 1; }
mkdir "$work/files"
cd "$work/files" || exit 1
head -c 300001 /dev/urandom >"$work/original"

# Every program's split and join of a name relative to the current folder.
split_with() {  # split_with PROGRAM NAME [PARTS]
  case $1 in
    engine) "$engine" split "$2" "${3:-3}" ;;
    component) "$tool" call Tessik.FileSplit "InputFile=$2" "SubFilesNumber=${3:-3}" Split >/dev/null ;;
  esac
}
join_with() {
  case $1 in
    engine) "$engine" join "$2" ;;
    component) "$tool" call Tessik.FileSplit "OutputFile=$2" Join >/dev/null ;;
  esac
}
# The checksum file is checked by sha256sum itself (escapes included), except
# where its name would not fit in the 255 bytes a name may have.
round_trip() {
  local program=$1 name=$2
  rm -f ./*
  cp "$work/original" "./$name" && split_with "$program" "$name" 2>/dev/null || return 1
  [ "$(printf %s "$name" | wc -c)" -gt 248 ] || sha256sum --quiet -c "./$name.sha256" >/dev/null || return 1
  [ -e "./$name.3" ] && [ ! -e "./$name.4" ] && rm "./$name" && join_with "$program" "$name" 2>/dev/null &&
    cmp -s "./$name" "$work/original"
}
# Talhaz loads a file named by its start-up argument: no box, still running.
talhaz_loads() {
  rm -f "$work/boxes"
  MESSAGE_BOX_LOG="$work/boxes" QT_QPA_PLATFORM=offscreen timeout 3 "$talhaz" "$@" >/dev/null 2>&1
  [ $? = 124 ] && [ ! -s "$work/boxes" ]
}

long=$(printf 'n%.0s' $(seq 250))  # ".1" to ".9999" still fit in 255 bytes
names=("a b  c" "-leading dash" $'new\nline' 'back\slash' $'carriage\rreturn' "ação ñ 文件.dat" $'bad\xff\xfe bytes' "it's (1), \"a=b\" *?[x].txt" "$long")
for name in "${names[@]}"; do
  shown=$(printf '%q' "$name" | cut -c1-40)
  for program in engine component; do
    check "$program round trip of $shown" round_trip "$program" "$name"
  done
  [ "$name" = $'bad\xff\xfe bytes' ] && continue
  cp "$work/original" "./$name"
  check "Talhaz loads $shown" talhaz_loads "$name"
done
# Bytes that are not valid text cannot survive the window's text fields:
# Talhaz says so rather than load whatever file the mangled name reaches.
cp "$work/original" $'bad\xff\xfe bytes'
cp "$work/original" $'bad\xef\xbf\xbd\xef\xbf\xbd bytes'
MESSAGE_BOX_LOG="$work/boxes" QT_QPA_PLATFORM=offscreen timeout 3 "$talhaz" "$PWD/"$'bad\xff\xfe bytes' >/dev/null 2>&1
check "Talhaz refuses a name that is not text" test "$(cat "$work/boxes")" = "Erro 52	48	Bad file name or number"

# A name so long that only fragments up to ".9" fit: a split into twelve is
# refused with error 52 before anything is written, the input whole.
toolong=$(printf 'm%.0s' $(seq 253))
for program in engine component; do
  rm -f ./*
  cp "$work/original" "$toolong"
  split_with "$program" "$toolong" 12 2>/dev/null
  check "$program: a fragment name too long is refused" test $? = 2
  check "$program: the input is whole" cmp -s "$toolong" "$work/original"
  check "$program: no fragment is written" test ! -e "$toolong.1"
done

# Links planted where the system writes. Each case prepares the folder, runs
# one operation with the component and says what must hold afterwards. The
# victim outside the folder must never change.
head -c 1000 /dev/urandom >"$work/victim"
cp "$work/victim" "$work/victim.original"
set_of() { cp "$work/original" x && "$engine" split x 3 && rm x; }
holds() {  # holds DESCRIPTION PREPARE OPERATION EXPECTATION...
  local what=$1 prepare=$2 operation=$3 status; shift 3
  rm -rf ./* "$work/nowhere"
  eval "$prepare"
  if [ "$operation" = split ]; then "$tool" call Tessik.FileSplit InputFile=x SubFilesNumber=3 Split >/dev/null 2>"$work/err"
  else "$tool" call Tessik.FileSplit OutputFile=x Join >/dev/null 2>"$work/err"; fi
  status=$?
  check "$what: exits 0, 1 or 2" test "$status" -le 2
  check "$what: the victim is untouched" cmp -s "$work/victim" "$work/victim.original"
  check "$what: nothing is created through a dangling link" test ! -e "$work/nowhere"
  check "$what: $*" eval "$@"
}
exact_set='[ ! -L x.2 ] && cat x.1 x.2 x.3 | cmp -s - "$work/original"'
exact_join='[ ! -L x ] && cmp -s x "$work/original"'
holds "a link to a victim as fragment 2" 'cp "$work/original" x; ln -s "$work/victim" x.2' split "$exact_set"
holds "a dangling link as fragment 2" 'cp "$work/original" x; ln -s "$work/nowhere" x.2' split 'cmp -s x "$work/original"'
refused="grep -qx 'x.[12] is the input file itself' \"\$work/err\" && [ ! -e x.3 ] && "
holds "fragment 1 a hard link to the input" 'cp "$work/original" x; ln x x.1' split "$refused"'cmp -s x "$work/original"'
holds "the input a link to its own fragment 1" 'cp "$work/original" x.1; ln -s x.1 x' split "$refused"'cmp -s x.1 "$work/original"'
holds "fragment 2 a link back to the input" 'cp "$work/original" x; ln -s x x.2' split "$refused"'[ -L x.2 ] && [ ! -e x.1 ] && cmp -s x "$work/original"'
holds "a link to a victim as the joined file" 'set_of; ln -s "$work/victim" x' join "$exact_join"
holds "a dangling link as the joined file" 'set_of; ln -s "$work/nowhere" x' join 'cat x.1 x.2 x.3 | cmp -s - "$work/original"'
refused="grep -qx 'x.[12] is the output file itself' \"\$work/err\" && [ -e x ] && "
holds "the joined file a link to fragment 1" 'set_of; ln -s x.1 x' join "$refused"'cat x.1 x.2 x.3 | cmp -s - "$work/original"'
holds "the joined file a hard link to fragment 2" 'set_of; ln x.2 x' join "$refused"'cat x.1 x.2 x.3 | cmp -s - "$work/original"'
holds "fragment 2 a link to the joined file" 'cp "$work/original" x; printf a >x.1; ln -s x x.2' join "$refused"'cmp -s x "$work/original"'

report
