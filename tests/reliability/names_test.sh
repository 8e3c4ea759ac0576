#!/usr/bin/env bash
# Hostile file names and planted links, through `component call` and
# Talhaz's start-up argument. A name gives an exact round trip or a clear
# error; a link's target is never written; an input is never lost.
set -u
# shellcheck source=../e2e/checks.sh
source "$(dirname "$0")/../e2e/checks.sh"
use_scratch_registry register
mkdir "$work/files" "$work/shown"
head -c 300001 /dev/urandom >"$work/original"
long=$(printf 'n%.0s' $(seq 250))  # ".1" to ".9999" still fit in 255 bytes
names=("a b  c" "-leading dash" $'new\nline' 'back\slash' $'carriage\rreturn' "ação ñ 文件.dat" $'bad\xff\xfe bytes' "it's (1), \"a=b\" *?[x].txt" "$long")
shown() { printf '%q' "$1" | cut -c1-40; }

# Talhaz loads a file named by its start-up argument (no box, still running),
# in its own folder while the round trips go on. Bytes that are not valid
# text cannot survive the window's text fields: Talhaz says so rather than
# load whatever file the mangled name reaches.
cd "$work/shown" || exit 1
for name in "${names[@]}"; do
  cp "$work/original" "./$name"
  [ "$name" = $'bad\xff\xfe bytes' ] || talhaz_expect "Talhaz loads $(shown "$name")" "" "$name"
done
cp "$work/original" $'bad\xef\xbf\xbd\xef\xbf\xbd bytes'
talhaz_expect "Talhaz refuses a name that is not text" "Erro 52	48	Bad file name or number" "$PWD/"$'bad\xff\xfe bytes'
cd "$work/files" || exit 1

# The checksum file is checked by sha256sum itself (escapes included), except
# where its name would not fit in the 255 bytes a name may have.
round_trip() {
  rm -f ./*
  cp "$work/original" "./$1" && split_call "$1" 3 >/dev/null 2>&1 || return 1
  [ "$(printf %s "$1" | wc -c)" -gt 248 ] || sha256sum --quiet -c "./$1.sha256" >/dev/null || return 1
  [ -e "./$1.3" ] && [ ! -e "./$1.4" ] && rm "./$1" && join_call "$1" >/dev/null 2>&1 && cmp -s "./$1" "$work/original"
}
for name in "${names[@]}"; do check "round trip of $(shown "$name")" round_trip "$name"; done

# A name so long that only fragments up to ".9" fit: a split into twelve is
# refused with error 52 before anything is written, the input whole.
toolong=$(printf 'm%.0s' $(seq 253))
rm -f ./*
cp "$work/original" "$toolong"
check "a fragment name too long is refused, the input whole, no fragment written" eval \
  '[ "$(status_of split_call "$toolong" 12)" = 2 ] && cmp -s "$toolong" "$work/original" && [ ! -e "$toolong.1" ]'

# Links planted where the system writes. Each case prepares the folder, runs
# one operation with the component and says what must hold afterwards. The
# victim outside the folder must never change.
head -c 1000 /dev/urandom >"$work/victim"
cp "$work/victim" "$work/victim.original"
set_of() { cp "$work/original" x && split_call x 3 >/dev/null && rm x; }
holds() {  # holds DESCRIPTION PREPARE OPERATION EXPECTATION...
  local what=$1 prepare=$2 operation=$3 status; shift 3
  rm -rf ./* "$work/nowhere"
  eval "$prepare"
  if [ "$operation" = split ]; then split_call x 3; else join_call x; fi >/dev/null 2>"$work/err"
  status=$?
  check "$what: exits 0, 1 or 2" test "$status" -le 2
  check "$what: the victim is untouched" cmp -s "$work/victim" "$work/victim.original"
  check "$what: nothing is created through a dangling link" test ! -e "$work/nowhere"
  check "$what: $*" eval "$@"
}
exact_join='[ ! -L x ] && cmp -s x "$work/original"'
holds "a link to a victim as fragment 2" 'cp "$work/original" x; ln -s "$work/victim" x.2' split \
  '[ -L x.2 ] && [ ! -e x.1 ] && grep -q "^x.2 is in the way" "$work/err"'
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

talhaz_checks
report
