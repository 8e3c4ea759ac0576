#!/usr/bin/env bash
# tessik as people and scripts use it, through the real binary and registry:
# every verb and option, bad usage, joins from each kind of member, never
# replacing without -f, check naming every bad fragment, a dry run at the
# FAT32 limit, exit statuses after signals, and the bash completion.
set -u
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
use_scratch_registry register
completion=$(dirname "$0")/../../cli/completion/tessik
mkdir "$work/t" && cd "$work/t" || exit 1

# Runs tessik with its output in $work/out and $work/err; echoes the status.
run() { timeout -k 5 120 "$TESSIK_CLI" "$@" >"$work/out" 2>"$work/err"; echo $?; }
# The lengths of NAME's fragments in order, and whether its checksum file is there.
fragments() { echo "$(stat -c %s "$1".[0-9]* 2>/dev/null | tr '\n' ' ')$([ -e "$1.sha256" ] && echo +sum)"; }
head -c 2500000 /dev/urandom >original

# Bad usage: status 2, the problem said, nothing written.
while IFS='|' read -r words said; do
  # shellcheck disable=SC2086
  check "tessik $words: 2, $said" eval '[ "$(run $words)" = 2 ] && grep -qF -- "$said" "$work/err" && [ "$(ls)" = original ]'
done <<'EOF'
|no command given
frob original|unknown command 'frob'
split|name the file
split original -n 1|from 2 to 32767
split original -n 3x|'3x' is not a number of parts
split original --max-size 7Q|'7Q' is not a size
split original --max-size 0.5|at least 1 byte
split original --fit floppy|unknown medium 'floppy'
split original -n 3 --fit cd|give one of -n, --max-size and --fit
join original --fit cd|'--fit' is not an option of this command
split original other|one file at a time
join original -o|-o needs a value
split original --dry-run=yes|'--dry-run' takes no value
EOF
check "--help and --version: 0" eval '[ "$(run --help)" = 0 ] && grep -q "^Usage: tessik split" "$work/out" && [ "$(run --version)" = 0 ] && grep -q "^tessik [0-9]" "$work/out"'

# Splits: the fragments each option makes of 2,500,000 bytes, then a join
# from a member, checked; options before or after the file, and after "--".
while IFS='|' read -r options made; do
  cp original f
  # shellcheck disable=SC2086
  check "split $options: $made" eval '[ "$(run split $options)" = 0 ] && [ "$(fragments f)" = "$made" ] &&
    rm f && [ "$(run join f.1 -q)" = 0 ] && cmp -s f original'
  rm -f f f.*
done <<'EOF'
f|1250001 1249999 +sum
-n 3 f|833334 833334 833332 +sum
f --parts=7 -q|357144 357144 357144 357144 357144 357144 357136 +sum
--max-size 1MB -- f|833334 833334 833332 +sum
f --max-size=2M|1250000 1250000 +sum
f --max-size 1.5m|1250000 1250000 +sum
f --fit mail|2500000 +sum
f --no-checksums -n 2|1250001 1249999 
EOF
mkdir stick && cp original film
check "split -C DIR: the set there, under the file's name, nothing beside it" eval '[ "$(run split film -C stick -n 3)" = 0 ] &&
  [ "$(fragments stick/film)" = "833334 833334 833332 +sum" ] && [ "$(fragments film)" = "" ]'

# Joins from each kind of member, into the set's name or elsewhere; an
# existing file is replaced with -f only, even a link.
while IFS='|' read -r before words status after; do
  rm -f film && eval "$before"
  # shellcheck disable=SC2086
  check "join $words: $status, $after" eval '[ "$(run join $words)" = "$status" ] && eval "$after"'
done <<'EOF'
|stick/film|0|cmp -s stick/film original
rm stick/film|stick/film.2|0|cmp -s stick/film original
rm stick/film|stick/film.sha256 -q|0|cmp -s stick/film original
echo older >copy|stick/film.1 -o copy|1|grep -qxF older copy && grep -q "copy already exists; -f replaces it" "$work/err"
|stick/film.1 -o copy -f|0|cmp -s copy original && [ "$(ls stick | wc -l)" = 5 ]
echo older >stick/film|stick/film.1|1|grep -qxF older stick/film
|stick/film.1 --force|0|cmp -s stick/film original
ln -s nowhere link|stick/film.1 -o link|1|[ -L link ] && [ ! -e nowhere ]
EOF

# check: every missing and damaged fragment named at once.
check "check of a sound set: 0, OK" eval '[ "$(run check stick/film.3)" = 0 ] && grep -qxF "stick/film: OK" "$work/out"'
printf '~' | dd of=stick/film.2 bs=1 seek=5 conv=notrunc status=none && cp -p stick/film.3 saved && rm stick/film.3
check "check: 1, the damaged and the missing fragment both named" eval '[ "$(run check stick/film)" = 1 ] &&
  grep -q "film.2 does not match" "$work/err" && grep -q "film.3 is missing" "$work/err"'
mv saved stick/film.3 && rm stick/film.sha256
check "check with no checksum file: 1, said" eval '[ "$(run check stick/film)" = 1 ] && grep -q "film.sha256" "$work/err"'

# A dry run at the FAT32 limit, on a sparse file of 10 GiB: nothing written.
truncate -s 10G sparse
check "split --fit fat32 --dry-run: the plan, nothing written" eval '[ "$(run split sparse --fit fat32 --dry-run)" = 0 ] &&
  [ "$(head -1 "$work/out")" = "sparse: 3 parts of 3579139414 bytes (3.3 GiB), the last 3579139412 bytes (3.3 GiB)" ] &&
  [ "$(ls sparse* | tr "\n" " ")" = "sparse " ]'
rm sparse

# Signals cancel cleanly, with the shell's status; a progress line on a terminal.
head -c 10000000 /dev/urandom >slow
while read -r signal status; do
  env --default-signal="$signal" SHORT_IO_PACE=10 LD_PRELOAD="$SHORT_IO_LIBRARY" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" "$TESSIK_CLI" split slow -n 4 2>"$work/err" & pid=$!
  sleep 0.5 && kill -"$signal" $pid
  wait $pid; got=$?
  check "SIG$signal mid-split: $status, nothing left" eval '[ $got = "$status" ] && [ "$(ls -A | grep -c "^slow.\|^.tessik")" = 0 ]'
done <<'EOF'
INT 130
TERM 143
HUP 129
EOF
check "a terminal shows the progress line" eval 'script -qec "$TESSIK_CLI split slow -n 2" /dev/null | grep -q "100%"'

check "the completion offers the verbs, the options of a verb and the media" eval '
  [ "$(bash -c "source $completion; COMP_WORDS=(tessik \"\"); COMP_CWORD=1; _tessik; echo \${COMPREPLY[*]}")" = "split join check repair --help --version" ] &&
  [ "$(bash -c "source $completion; COMP_WORDS=(tessik join --f); COMP_CWORD=2; _tessik; echo \${COMPREPLY[*]}")" = "--force" ] &&
  [ "$(bash -c "source $completion; COMP_WORDS=(tessik split f --fit d); COMP_CWORD=4; _tessik; echo \${COMPREPLY[*]}")" = "dvd dvd-dl" ]'
report
