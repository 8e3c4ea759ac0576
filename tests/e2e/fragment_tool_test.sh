#!/usr/bin/env bash
# The engine's rules through its real binary, one table row a case: the
# fragments a split makes, the set a join takes, the older fragments a split
# removes, what a checksum file refuses and what a failure leaves behind.
# Kills and injected faults are in tests/reliability/.
set -u
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
use_scratch_registry
tool=$FRAGMENT_TOOL
cd "$work" || exit 1

# Runs the tool with its output in out and err; echoes the exit status (124
# for a tool that waits: a held file is refused at once, never waited for).
ft() { timeout -k 1 20 "$tool" "$@" >out 2>err; echo $?; }
said() { [ "$(cat err)" = "$1" ]; }
lengths() { local n=1 s=; while [ -e "$1.$n" ]; do s+=" $(stat -c %s "$1.$n")"; n=$((n + 1)); done; echo "${s# }"; }

# length | parts | fragment lengths. Fragments of length / parts + 1 bytes,
# to the nearest and a tie to the even one (3, 2 and 1 byte in 2: part sizes
# L - 1, L and L + 1); the input stays as it was and joins back exactly.
while IFS='|' read -r length parts sizes; do
  rm -rf "$work"/*; head -c "$length" /dev/urandom >f; cp f copy
  check "$length bytes in $parts: fragments $sizes, joined exactly" eval '[ "$(ft split f "$parts")" = 0 ] &&
    [ "$(lengths f)" = "$sizes" ] && cmp -s f copy && rm f && if [ -z "$sizes" ]; then [ ! -e f.sha256 ]; else [ "$(ft join f)" = 0 ] && cmp -s f copy; fi'
done <<'EOF'
10|3|4 4 2
7|2|4 3
769|2|386 383
100|10|11 11 11 11 11 11 11 11 11 1
3|2|2 1
2|2|2
1|2|1
0|2|
3145728|3|1048577 1048577 1048574
EOF

# fragments present (N=content, N/ a folder) | joined, or !why refused.
# Without a checksum file a join takes x.1, x.2, ... to the first gap (an
# empty fragment is not one) and replaces a longer older x; a refused join
# leaves x as it was. Holes and entries that are not files: component_tool_test.
while IFS='|' read -r present joined; do
  rm -rf "$work"/*; printf %0100d 0 >x
  for p in $present; do if [ "${p%/}" != "$p" ]; then mkdir "x.${p%/}"; else printf %s "${p#*=}" >"x.${p%%=*}"; fi; done
  if [ "${joined#!}" != "$joined" ]; then expect=(1 "fragment-tool: not done: ${joined#!}" "$(cat x)"); else expect=(0 "" "$joined"); fi
  check "join of $present: $joined" eval '[ "$(ft join x)" = "${expect[0]}" ] && said "${expect[1]}" && [ "$(cat x)" = "${expect[2]}" ]'
done <<'EOF'
1=ab 2= 3=cd|abcd
1=a 2=b 14=n|ab
2=b 3=c|!there is no x.1
EOF

# beside | new content | older numbered files | older set of ten listed | status | numbers after.
# A split replaces or removes only the older fragments that the older
# checksum file lists as they are: f.12, beyond a gap, and a fragment changed
# since are not its own (files in the way are refused: component_tool_test).
while IFS='|' read -r what content older listed status after; do
  rm -rf "$work"/*; printf 0123456789 >f
  [ "$listed" = no ] || "$tool" split f 30  # ten fragments of one byte
  for n in $older 12; do echo log >"f.$n"; done; printf %s "$content" >f
  check "split beside $what: $status, $after left" eval '[ "$(ft split f 2)" = "$status" ] &&
    [ "$(ls | sed -n "s/^f\.\([0-9]*\)$/\1/p" | sort -n | xargs)" = "$after" ]'
done <<'EOF'
an earlier set of ten|abcdefghij||yes|0|1 2 12
a set whose third is changed|abcdefghij|3|yes|0|1 2 3 12
a set, the input empty|||yes|0|1 2 3 4 5 6 7 8 9 10 12
EOF

# what | change to a set of 668, 668 and 664 bytes | reason. A checksum
# file stops a join of a wrong set and says why; the fragments and the older
# x stay as they were, and nothing of the joined file is left.
damage() { printf '~' | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
while IFS='|' read -r what change reason; do
  rm -rf "$work"/*; seq 1000 | head -c 2000 >x; "$tool" split x 3; echo older >x
  eval "$change"; sum=$(cat x.[123] | md5sum)
  check "checksums, $what: $reason" eval '[ "$(ft join x)" = 1 ] && said "fragment-tool: not done: $reason" &&
    [ "$(cat x.[123] | md5sum)" = "$sum" ] && [ "$(cat x)" = older ] && [ -z "$(ls -A | grep "^\.")" ]'
done <<'EOF'
a missing fragment|rm x.2|x.2 is missing
a fragment too long|echo z >>x.2|x.2 has a length that cannot match x.sha256
the last fragment too long|{ cat x.1; echo z; } >x.3|x.3 has a length that cannot match x.sha256
a damaged first fragment|damage x.1 0|x.1 does not match x.sha256
a damaged last fragment|damage x.3 663|x.3 does not match x.sha256
a wrong whole file|sed -i "4s/^[0-9a-f]*/$(printf %064d 0)/" x.sha256|x does not match x.sha256
bad hex|sed -i '2s/^./g/' x.sha256|x.sha256, line 2: not a SHA-256 in hexadecimal
not a checksum line|sed -i '1s/.*/x.1/' x.sha256|x.sha256, line 1: not a checksum line
another file|sed -i '2s/x\.2$/..\/x.2/' x.sha256|x.sha256, line 2: expected x.2
a bad escape|sed -i '2s/^/\\/;2s/x\.2$/x\\q2/' x.sha256|x.sha256, line 2: a name with a bad escape
a line after the whole file's|sed -n 1p x.sha256 >>x.sha256|x.sha256, line 5: a line after the whole file's
EOF

# blocked | how | command | status | standard error | f.1 f.2 f.3 x, then f.sha256 (+/-).
# Before each row: f.1-f.3 (aa bb cc) and f.sha256 from a split of f, f now
# xxyyzz, x "old" beside the set x.1-x.3. A read-only older fragment and a
# held input refuse a split, a read-only older x a join, before anything
# changes. Locks are another open file's flock, as another program's.
rm -rf "$work"/*; printf ab >x.1; printf cd >x.2; printf ef >x.3
state() { for n in f.1 f.2 f.3 x; do cat "$n" 2>/dev/null || printf -; printf ' '; done; [ -e f.sha256 ] && echo + || echo -; }
while IFS='|' read -r blocked how command status message left; do
  rm -f f f.* x; printf aabbcc >f; "$tool" split f 6; printf xxyyzz >f; printf old >x
  if [ "$how" = locked ]; then exec 9<"$blocked"; flock 9; else chmod 0444 "$blocked"; fi
  got=$(ft $command); exec 9<&-; chmod 0644 "$blocked"
  check "$command, $blocked $how: $status, $left" eval '[ "$got" = "$status" ] && said "$message" && [ "$(state)" = "$left" ]'
done <<'EOF'
f.2|read-only|split f 6|2|error 75: Path/File access error: f.2|aa bb cc old +
f|locked|split f 6|1|fragment-tool: not done: f is in use by another program|aa bb cc old +
x|read-only|join x|2|error 75: Path/File access error: x|aa bb cc old +
EOF
check "a folder as the joined file is refused" eval 'mkdir blocked && printf ab >blocked.1 && [ "$(ft join blocked)" = 1 ] &&
  said "fragment-tool: not done: blocked is in the way and is not a file that may be replaced" && [ -d blocked ]'
check "the set x outlived every failure" eval '[ "$(ft join x)" = 0 ] && [ "$(cat x)" = abcdef ]'

check "--exact cuts 28 bytes into exactly 10 (not 7 of 4); 9 bytes into 4 is bad usage, nothing written" eval \
  'head -c 28 /dev/zero >e && [ "$(ft --exact split e 10)" = 0 ] && [ "$(lengths e)" = "3 3 3 3 3 3 3 3 3 1" ] &&
   head -c 9 /dev/zero >n && [ "$(ft --exact split n 4)" = 3 ] && [ ! -e n.1 ]'
check "a missing input is error 53, described; bad usage exits 3" eval '[ "$(ft split absent 2)" = 2 ] &&
  grep -q "^error 53: File not found: " err && [ "$(ft split x 1)" = 3 ] && [ "$(ft split x 2x)" = 3 ]'
report
