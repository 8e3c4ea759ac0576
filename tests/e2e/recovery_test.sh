#!/usr/bin/env bash
# Recovery data through tessik and the real registry: par2cmdline accepts and
# uses what a split writes, a join rebuilds from it (and from what par2cmdline
# wrote for a set that split(1) made), a table of damage at one and three
# recovery fragments, repair on disk, the older set's recovery data on a new
# split, and random round trips.
set -u
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
use_scratch_registry register
command -v par2 >/dev/null || { skip "par2 (par2cmdline) is not installed"; exit 77; }
mkdir "$work/t" && cd "$work/t" || exit 1

run() { timeout -k 5 120 "$TESSIK_CLI" "$@" >"$work/out" 2>"$work/err"; echo $?; }
quietly() { "$@" >/dev/null 2>&1; }
# 5 fragments of 200,001 bytes, the last 199,999: neither a multiple of 4.
head -c 1000003 /dev/urandom >original

check "split -n 2 -r 3: more recovery than parts refused, nothing written" eval '[ "$(run split original -n 2 -r 3)" = 1 ] &&
  grep -qF "give at most 2" "$work/err" && [ "$(ls)" = original ]'

# What we write, par2cmdline checks and repairs byte for byte.
cp original film && run split film -n 5 -r 2 >/dev/null && mkdir kept && cp film.? kept/
check "split -r 2: the index and two volumes, as par2cmdline names them" \
  [ "$(ls film.*par2 | tr '\n' ' ')" = "film.par2 film.vol0+1.par2 film.vol1+1.par2 " ]
check "par2 verify of a fresh set: every fragment correct" eval 'par2 verify film.par2 >"$work/out" 2>&1 && grep -q "All files are correct" "$work/out"'
rm film.1 && printf X | dd of=film.4 bs=1 seek=7 conv=notrunc status=none
check "par2 repair restores a missing and a damaged fragment byte for byte" eval 'quietly par2 repair film.par2 &&
  cmp -s film.1 kept/film.1 && cmp -s film.4 kept/film.4 && sha256sum --quiet -c film.sha256'
rm -f film.* && rm -r kept

# What par2cmdline writes for a set that split(1) made, our join uses: one
# slice per fragment, and two slices per fragment.
for slice in 250000 125000; do
  cp original s && split -n 4 -a 1 --numeric-suffixes=1 s s. && rm s
  quietly par2 create -s"$slice" -c4 -n1 s.par2 s.1 s.2 s.3 s.4
  rm s.2
  check "join from par2cmdline's data at slices of $slice: s.2 rebuilt, the file exact" eval '[ "$(run join s.1)" = 0 ] &&
    cmp -s s original && grep -qxF "s.2 rebuilt with s.par2" "$work/out"'
  rm -f s s.*
done

# Damage, at one and three recovery fragments, with and without the checksum
# file: the join's output is exact, or it is refused with the count and the
# older output stays as it was; a status of [01] takes either. Never a wrong
# file: a damaged recovery block is left out, the others still serve.
for k in 1 3; do
  while IFS='~' read -r what damage status said; do
    for sums in "" --no-checksums; do
      rm -f film film.* && cp original film && run split film -n 5 -r "$k" $sums >/dev/null && rm film
      echo older >out && damage=${damage//K/$k} said=${said//K/$k} && eval "$damage"
      # shellcheck disable=SC2086
      # shellcheck disable=SC2016
      check "k=$k ${sums:-with sums}, $what: $status" eval 'got=$(run join film.5 -o out -f) && [[ $got = $status ]] &&
        if [ "$got" = 0 ]; then cmp -s out original && grep -q "rebuilt with film.par2" "$work/out"
        else grep -qxF older out && grep -qF "$said" "$work/err"; fi'
    done
  done <<'TABLE'
one fragment missing~rm film.3~0~
K fragments missing, the first among them~rm $(seq -f film.%g 1 K)~0~
the last, shorter fragment missing~rm film.5~0~
a fragment cut short~truncate -s 1000 film.2~0~
a byte changed in the first~printf X | dd of=film.1 bs=1 seek=0 conv=notrunc status=none~0~
a byte changed in a middle one~printf X | dd of=film.3 bs=1 seek=100000 conv=notrunc status=none~0~
a byte changed in the last~printf X | dd of=film.5 bs=1 seek=199998 conv=notrunc status=none~0~
K+1 fragments lost~rm $(seq -f film.%g 1 $((K + 1)))~1~fragments are damaged or missing; film.par2 rebuilds at most K
a damaged recovery volume and one fragment missing~rm film.2; for v in film.vol*; do printf X | dd of=$v bs=1 seek=100000 conv=notrunc status=none; done~[01]~film.vol
TABLE
done

# Repair on disk: check says it can, repair restores every fragment under its
# own name and leaves no copy of a damaged one; par2cmdline agrees after.
rm -f film film.* out && cp original film && run split film -n 5 -r 2 >/dev/null && cp film.3 three && rm film
rm film.2 && printf X | dd of=film.3 bs=1 seek=5 conv=notrunc status=none
check "check of a damaged set: 1, the repair it can do" eval '[ "$(run check film.4)" = 1 ] &&
  grep -qF "film.par2 can rebuild film.2, film.3" "$work/err" && grep -qF "tessik repair film" "$work/err"'
flock -o -x film.3 sleep 30 & until ! flock -n film.3 true; do sleep 0.05; done
check "repair while another program holds the damaged fragment: 1, nothing changed" eval '[ "$(run repair film)" = 1 ] &&
  grep -qF "film.3 is in use by another program" "$work/err" && ! ls film.2 2>/dev/null && ! cmp -s film.3 three'
kill %% 2>/dev/null; wait
check "repair: 0, both rebuilt, the damaged one replaced, nothing else left" eval '[ "$(run repair film.1)" = 0 ] &&
  grep -qxF "film.3 rebuilt with film.par2" "$work/out" && cmp -s film.3 three &&
  [ "$(ls -A | tr "\n" " ")" = "film.1 film.2 film.3 film.4 film.5 film.par2 film.sha256 film.vol0+1.par2 film.vol1+1.par2 original three " ] &&
  sha256sum --quiet --ignore-missing -c film.sha256 && quietly par2 verify film.par2'
check "repair of a sound set: 0, nothing to do" eval '[ "$(run repair film)" = 0 ] && grep -q "every part is sound" "$work/out"'
mv film.sha256 sums && rm film.2
awk '$2 == "film.2" { $1 = (substr($1, 1, 1) == "0" ? "1" : "0") substr($1, 2) } 1' OFS="  " sums >film.sha256
check "repair against a checksum file that lists other content: 1, nothing changed" eval '[ "$(run repair film)" = 1 ] &&
  grep -qF "film.2 as rebuilt does not match film.sha256" "$work/err" && ! ls film.2 2>/dev/null'
mv sums film.sha256 && run repair film >/dev/null

# A new split takes the older set's recovery data away, and refuses data it
# cannot show to be that set's.
check "split again without recovery: the older recovery files go" eval '[ "$(run split original -n 3 -q)" = 0 ] &&
  cp original film && [ "$(run split film -n 3)" = 0 ] && ! ls film*.par2 2>/dev/null'
rm -f film.* && quietly par2 create -c1 film.par2 film && cp film.par2 foreign
check "split -r 0 beside another program's film.par2: done, film.par2 left alone" eval '[ "$(run split film -n 3)" = 0 ] &&
  cmp -s film.par2 foreign'
check "split -r 1 then: refused before any change, the older set and film.par2 as they were" eval '[ "$(run split film -n 4 -r 1)" = 1 ] &&
  grep -qF "film.par2 is in the way" "$work/err" && cmp -s film.par2 foreign && ! ls film.4 2>/dev/null &&
  sha256sum --quiet --ignore-missing -c film.sha256'
rm -f film.* foreign

# Random round trips: sizes, parts, recovery fragments and losses up to them.
for round in $(seq 12); do
  size=$((RANDOM * 7 + RANDOM % 5)) parts=$((2 + RANDOM % 9))
  head -c "$size" /dev/urandom >r && cp r expected
  k=$((1 + RANDOM % parts))
  quietly "$TESSIK_CLI" split r -n "$parts" -r "$k" -q && rm r
  count=$(ls r.[0-9]* | wc -l)
  lost=$(seq "$count" | shuf -n $((RANDOM % (k + 1))) | tr '\n' ' ')
  for n in $lost; do if [ $((RANDOM % 2)) = 0 ]; then rm "r.$n"; else printf X | dd of="r.$n" bs=1 seek=0 conv=notrunc status=none; fi; done
  check "round $round: $size bytes in $parts, k=$k, lost $lost: exact" eval '[ "$(run join r.1)" = 0 ] && cmp -s r expected'
  rm -f r r.* expected
done
report
