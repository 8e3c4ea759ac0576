#!/usr/bin/env bash
# The component tool as people and scripts use it: registering the real
# module into a registry of its own, listing, calling members by name and by
# identifier, a split and a join of a real file, progress and interruption,
# what a refused, failed, cancelled or killed operation leaves on disk, every
# exit status and runtime error, and the registry's files, layers and trust
# rules.
set -u
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
use_scratch_registry
tool=$COMPONENT module=$TESSIK

# Runs the tool with its output in $work/out and $work/err; echoes the status.
run() { "$tool" "$@" >"$work/out" 2>"$work/err"; echo $?; }
# Runs a call of Tessik.FileSplit; echoes its status, output and errors on one line.
said() { echo "$(run call Tessik.FileSplit "$@")|$(tr '\n' '/' <"$work/out")|$(tr '\n' '/' <"$work/err")"; }

check "the module exports the four entry points only" test \
  "$(nm -D --defined-only "$module" | awk '{print $3}' | tr '\n' ' ')" = \
  "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
section() { objcopy -O binary --only-section="$1" "$module" "$work/section" && cat "$work/section"; }
check "the module carries the toolbox bitmap" cmp -s <(section .rsrc.BITMAP.30000) "$RESOURCES/toolbox.bmp"
check "and its version" grep -qaF "ProductName=Tessik ActiveX control" <(section .rsrc.VERSION)
check "and the interface identifier" test "$(section .rsrc._IID_FILESPLIT | od -An -tx1 | tr -d ' \n')" = \
  10000000a323e753ea864e1da566d509db991fb4

# registration NAME NN MODULE: a class's registration, written by hand.
registration() {
  local clsid="{00000000-0000-0000-0000-0000000000$2}"
  printf '[%s\\CLSID]\n@="%s"\n[CLSID\\%s\\ProgID]\n@="%s"\n[CLSID\\%s\\InprocServer32]\n@="%s"\n' \
    "$1" "$clsid" "$clsid" "$1" "$clsid" "$3"
}
# Another class, one with no module path, must come through Tessik's
# registration and unregistration.
registration Other.Thing 01 "" >"$COMPONENT_REGISTRY"
check "register, as an apartment-threaded control with its toolbox bitmap" eval '[ "$(run register "$module")" = 0 ] &&
  grep -qxF "\"ThreadingModel\"=\"Apartment\"" "$COMPONENT_REGISTRY" &&
  grep -qxF "@=\"$module, 30000\"" "$COMPONENT_REGISTRY" && grep -qF "\\Control]" "$COMPONENT_REGISTRY"'
check "list names the class, its identifier, module and layer" grep -qxF \
  "Tessik.FileSplit	{14700B8D-5D35-427B-BFFD-DDDF1216FC53}	$module	$COMPONENT_REGISTRY" <(run list >/dev/null; cat "$work/out")
check "created by its class identifier too" test "$(run call '{14700B8D-5D35-427B-BFFD-DDDF1216FC53}' Checksums) $(cat "$work/out")" = "0 True"
run members Tessik.FileSplit >/dev/null
check "thirty-eight members, the workers, VerifiedWith, LargestSubFilesNumber, WorkerThread, the plans, VerifyReport, SetNameOf, SetBase, Replace and Rebuilt hidden" test "$(wc -l <"$work/out") $(awk -F'\t' '$5 == "hidden" {
  sub(/\(.*/, "", $3); print $3 }' "$work/out" | tr '\n' ' ')" = "38 SplitFiles JoinFiles VerifiedWith LargestSubFilesNumber WorkerThread WorkerThread FitPartsCount FitPartSize SplitPartsCount SplitPartSize VerifyReport SetNameOf SetBase SetBase Replace Replace Rebuilt "
check "members carry identifiers, kinds, types, help; the worker's size is by reference" eval 'grep -qxF \
  "0x68030000	put	SubFilesNumber(New_SubFilesNumber As Integer)	-	visible	Number of file fragments to make" "$work/out" &&
  grep -qF "0x60030008	method	SplitFiles(inputFilename As String, ByRef newFileSizeBytes As Long)	Boolean	hidden" "$work/out"'
check "a new control's properties" test "$(said InputFile OutputFile SubFilesNumber Checksums PartSizeLimit SetFolder Recovery)" = "0|//2/True/0//0/|"

head -c 2500000 /dev/urandom | tee "$work/film avi" >"$work/original"
check "split prints True and makes four fragments" eval '[ "$(said "InputFile=$work/film avi" SubFilesNumber=4 Split)" = "0|True/|" ] &&
  [ -e "$work/film avi.4" ] && [ ! -e "$work/film avi.5" ]'
rm "$work/film avi"
check "join rebuilds the file, verified against the checksum file" eval '
  [ "$(said "OutputFile=$work/film avi" Join VerifiedWith)" = "0|True/$work/film avi.sha256/|" ] &&
  cmp -s "$work/film avi" "$work/original"'

# A set cut and listed by coreutils joins verified; a damaged piece is named.
(cd "$work" && split -a 1 --numeric-suffixes=1 -b 1000000 original cut. && sha256sum cut.[1-3] >cut.sha256 &&
  sha256sum <original | sed 's/-$/cut/' >>cut.sha256)
check "a checksum file sha256sum wrote is accepted, named and the join exact" eval '
  [ "$(said "OutputFile=$work/cut" Join VerifiedWith)" = "0|True/$work/cut.sha256/|" ] && cmp -s "$work/cut" "$work/original"'
printf x | dd of="$work/cut.2" bs=1 seek=5 conv=notrunc 2>/dev/null
check "a damaged piece: False, and the box names it" test "$(said "OutputFile=$work/cut" Join)" = \
  "1|False/|Tessik: Error joining files!/cut.2 does not match cut.sha256/"
check "Checksums=False ignores the checksum file" test "$(run call Tessik.FileSplit Checksums=False "OutputFile=$work/cut" Join)" = 0
rm "$work"/cut*
cp "$work/original" "$work/plain"
run call Tessik.FileSplit "InputFile=$work/plain" SubFilesNumber=3 Split
check "Checksums=False splits in 2 with no checksum file, the older one and older .3 gone" eval '
  [ "$(said Checksums=False "InputFile=$work/plain" Split Checksums)" = "0|True/False/|" ] &&
  [ ! -e "$work/plain.sha256" ] && [ -e "$work/plain.2" ] && [ ! -e "$work/plain.3" ]'

# Split and Join say False (exit 1) when they did nothing; a box on standard
# error only for a failure the user has to hear of.
while IFS='|' read -r what box steps; do
  eval "set -- $steps"
  check "$what: False" test "$(said "$@")" = "1|False/|$box"
done <<EOF
no input file||InputFile= Split
one part||"InputFile=$work/original" SubFilesNumber=1 Split
no output file||jOiN
no fragments|Tessik: Error joining files!/there is no none.1/|"OutputFile=$work/none" Join
the worker, no fragments||'JoinFiles("$work/none")'
EOF
check "a locked input: False, and the box says it is in use" test \
  "$(flock "$work/original" "$tool" call Tessik.FileSplit "InputFile=$work/original" Split 2>&1 | tr '\n' /)" = \
  "Tessik: Error splitting file!/original is in use by another program/False/"

# Runtime errors (exit 2) with the number a host reports, for each way a
# step can go wrong: no such member, wrong argument count, a value that
# does not convert or fit, a missing input, the About box with no display.
while read -r number steps; do
  eval "set -- $steps"
  check "error $number from $steps" test "$(run call Tessik.FileSplit "$@") $(cut -d: -f1 "$work/err")" = "2 error $number"
done <<EOF
438 '#0x60030005'
438 '#0'
438 Split=1
438 Splits
450 'jOiN(1)'
450 'JoinFiles()'
13 SubFilesNumber=abc
6 SubFilesNumber=40000
6 'SplitFiles(x,3e9)'
5 '#-552'
5 PartSizeLimit=-1
5 Recovery=-1
5 "InputFile=$work/original" SubFilesNumber=2 Recovery=3 Split
5 PartSizeLimit=0.5
5 "InputFile=$work/original" SplitToFit
5 'PresetLimit(dvd)'
6 "InputFile=$(truncate -s 32767000 "$work/over"; echo "$work/over")" PartSizeLimit=1000 SplitToFit
6 "InputFile=$work/over" PartSizeLimit=1000 FitPartsCount
53 "InputFile=$work/none" PartSizeLimit=1 FitPartSize
53 "InputFile=$work/none" Split
53 "InputFile=$work/none" LargestSubFilesNumber
EOF
check "error 53 says File not found and writes nothing" eval '[ "$(cat "$work/err")" = "error 53: File not found" ] &&
  [ ! -e "$work/none.1" ]'

# Split to fit, asked of sparse files across lengths around each limit: the
# fewest parts, ceil(L/M), of a size S up to M that cuts exactly as many,
# the last no longer: n*S >= L > n*(S-1).
fits() { truncate -s "$2" "$work/fit" && local n s && read -r n s < <(call "InputFile=$work/fit" "PartSizeLimit=$1" FitPartsCount FitPartSize | paste -sd ' ') &&
  [ "$n" = $((($2 + $1 - 1) / $1)) ] && [ "$s" -le "$1" ] && [ $((n * s)) -ge "$2" ] && [ $((n * (s - 1))) -lt "$2" ]; }
while IFS='|' read -r limit lengths; do
  m=$(if [ "${limit//[0-9]/}" ]; then call "PresetLimit($limit)"; else echo "$limit"; fi)
  for length in $lengths; do length=$((length)) && check "fit $limit ($m) for $length bytes" fits "$m" "$length"; done
done <<'EOF'
1000|1 m-1 m m+1 3*m-1 3*m 3*m+1 32766*m
FAT32|m m+1 2*m 5*m-1
CD|m m+1 2*m-1 7*m+1
DVD|m m+1 2*m 3*m-1
DVD DL|m m+1 2*m+1
BD|m m+1 3*m
mail|m-1 m m+1 32766*m
EOF
check "an empty file: no part; nothing written for it nor for 32767 parts (above)" eval '[ "$(: >"$work/empty"; said "InputFile=$work/empty" PartSizeLimit=9 FitPartsCount FitPartSize SplitToFit)" = "0|0/0/True/|" ] &&
  [ "$(ls "$work" | grep -c "over\|empty")" = 2 ]'
# Discs: whole sectors, 4 MiB for the file system, a file of 4 GiB - 1 bytes at most on ISO 9660.
while IFS='|' read -r name capacity largest; do
  m=$(call "PresetLimit($name)") room=$((capacity - 4194304 < largest ? capacity - 4194304 : largest))
  check "$name: whole sectors, and one more would not fit" test $((m % 2048 == 0 && m <= room && m + 2048 > room)) = 1
done <<'EOF'
CD|737280000|4294967295
DVD|4700372992|4294967295
DVD DL|8543666176|1<<62
BD|25025314816|1<<62
EOF
check "FAT32: its largest file" test "$(call 'PresetLimit(FAT32)')" = 4294967295
# A message: base64 in lines of 76 with CRLF, and 64 KiB of headers, within 25,000,000 bytes.
mailed() { head -c "$1" /dev/zero | base64 -w 76 | wc -lc | (read -r lines bytes; echo $((lines + bytes + 65536))); }
m=$(call 'PresetLimit(mail)') && check "mail: $m bytes fit a message, one more does not" test "$(mailed "$m")" -le 25000000 -a "$(mailed $((m + 1)))" -gt 25000000
# What Split will make, asked before: as many fragments as it then writes
# (fewer than the parts for a short file), the first of the size said.
while read -r length parts; do
  head -c "$length" /dev/urandom >"$work/plan" && read -r n s < <(call "InputFile=$work/plan" SubFilesNumber="$parts" SplitPartsCount SplitPartSize | paste -sd ' ')
  call "InputFile=$work/plan" SubFilesNumber="$parts" Split >/dev/null
  check "Split of $length bytes in $parts: $n fragments of $s said" eval '[ "$(ls "$work" | grep -c "^plan\.[0-9]")" = "$n" ] &&
    { [ "$n" = 0 ] || [ "$(stat -c %s "$work/plan.1")" = "$s" ]; }'
  rm -f "$work"/plan*
done <<'EOF'
10 4
2500000 7
1 2
9 1
EOF

# A set rebuilt elsewhere (SetBase): the set and its folder untouched, the
# output never one of the set's own files.
mkdir "$work/stick" && cp "$work/original" "$work/stick/film" && call "InputFile=$work/stick/film" SubFilesNumber=3 Split >/dev/null && rm "$work/stick/film"
check "a set joined into another folder and name, verified, the set as it was" eval '[ "$(said "SetBase=$work/stick/film" "OutputFile=$work/copy" Join VerifiedWith)" = "0|True/$work/stick/film.sha256/|" ] &&
  cmp -s "$work/copy" "$work/original" && [ "$(ls "$work/stick" | tr "\n" " ")" = "film.1 film.2 film.3 film.sha256 " ]'
echo older >"$work/kept"
check "Recovery=1: Join rebuilds a lost fragment into the output only, Repair on disk, Rebuilt names it" eval '
  mkdir "$work/heal" && cp "$work/original" "$work/heal/film" &&
  [ "$(said "InputFile=$work/heal/film" SubFilesNumber=3 Recovery=1 Split)" = "0|True/|" ] && rm "$work/heal/film.2" "$work/heal/film" &&
  [ "$(said "OutputFile=$work/heal/film" Join Rebuilt)" = "0|True/film.2/|" ] && cmp -s "$work/heal/film" "$work/original" &&
  [ "$(said "OutputFile=$work/heal/film" Repair Rebuilt)" = "0|True/film.2/|" ] &&
  (cd "$work/heal" && sha256sum --quiet -c film.sha256)'
check "Replace=False keeps a file at the output: False, the file as it was" eval '[ "$(said "SetBase=$work/stick/film" "OutputFile=$work/kept" Replace=False Join)" = "1|False/|Tessik: Error joining files!/kept already exists/" ] &&
  [ "$(cat "$work/kept")" = older ] && [ "$(said "SetBase=$work/stick/film" "OutputFile=$work/new" Replace=False Join)" = "0|True/|" ]'
for own in film.2 film.sha256; do
  check "$own as the output: refused, untouched" eval '[ "$(said "SetBase=$work/stick/film" "OutputFile=$work/stick/$own" Join)" = "1|False/|Tessik: Error joining files!/$own is the output file itself/" ] &&
    [ "$(ls "$work/stick" | wc -l)" = 4 ]'
done
rm -r "$work/stick" "$work/copy" "$work/kept" "$work/new"

# Progress and signals, on a disk made slow by the short_io library: each
# transfer waits 10 ms and moves at most 64 KiB.
slow_env=(env --default-signal=INT SHORT_IO_PACE=10 LD_PRELOAD="$SHORT_IO_LIBRARY"
  ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0")
slow_tool=("${slow_env[@]}" "$tool")
slowly() { "${slow_tool[@]}" "$@" >"$work/out" 2>"$work/err"; }
head -c 3000000 /dev/urandom | tee "$work/slow" >"$work/slow-original"
slowly call --progress Tessik.FileSplit "InputFile=$work/slow" SubFilesNumber=2 Split
check "--progress off a terminal: percentages rising to 100%" eval \
  '[ "$(cut -d% -f1 "$work/err" | tr "\n" " ")" = "$(cut -d% -f1 "$work/err" | sort -nu | tr "\n" " ")" ] &&
   [ "$(wc -l <"$work/err")" -ge 2 ] && [ "$(tail -1 "$work/err")" = "100% 2.9 MiB of 2.9 MiB" ]'
cp "$work/slow-original" "$work/slow"
# Progress into a pipe whose reader has gone: the reports stop, the work does not.
"${slow_tool[@]}" call --progress Tessik.FileSplit "InputFile=$work/slow" SubFilesNumber=2 Split 2>&1 >"$work/out" | true
piped=${PIPESTATUS[0]}
check "progress into a closed pipe: a whole set, then exit 2" eval '[ "$piped" = 2 ] &&
  (cd "$work" && sha256sum --quiet -c slow.sha256) && [ ! -e "$work/slow.3" ]'

# All or nothing, a case a row, in a fresh folder: set-up | how the call runs
# | steps | status/output (a pattern) | what holds after. `data NAME` writes 2.6 MB to NAME
# and `whole`; `set_of N [STEP]` splits f so, then puts an older output in f's
# place; `same [PATTERN]` says every entry of the folder but those matching is
# as it was, none added.
snap() { find . -mindepth 1 -printf '%y %m %p %l\n' | sort; find . -type f -exec sha256sum {} + | sort; }
same() { [ "$(snap | grep -v "${1:-^$}")" = "$(grep -v "${1:-^$}" <<<"$before")" ]; }
names() { grep -qF "$1" "$work/err"; }
data() { seq 400000 | tee "$1" >whole; }
set_of() { data f && call InputFile=f "SubFilesNumber=$1" "${@:2}" Split && echo older >f; }
damage() { printf '~' | dd of="$1" bs=1 seek=5 conv=notrunc status=none; }
pieces_hold() { cat f.[1-9] | cmp -s - whole; }
left_over() { compgen -G '.tessik-*' >/dev/null; }
# lockf FILE COMMAND...: COMMAND while another process holds a record lock on FILE.
lockf() { perl -MFcntl -e 'open(my $f, "+<", shift) or die "$!"; my $lock = pack("s s x4 q q i x4", F_WRLCK, 0, 0, 0, 0);
  fcntl($f, F_SETLK, $lock) or die "$!"; exit system(@ARGV) >> 8' "$@"; }
# signal SIGNAL COMMAND...: COMMAND on the slow disk, sent SIGNAL (twice) once a tenth is done.
signal() {
  "${slow_env[@]}" "${@:2}" & local call=$!
  for _ in $(seq 200); do ! grep -q % "$work/err" || break; sleep 0.02; done
  # A second signal, during the clean-up or before it, changes nothing.
  if [ "$1" = KILL ]; then kill -KILL "$(cat "/proc/$call/task/$call/children")"; else kill -"$1" "$call" "$call"; fi
  wait "$call"
}
case_holds() (  # case_holds SET-UP HOW STEPS EXPECTED AFTER
  local how=$2 expected=$4 after=$5 before status
  rm -rf "$work/t" && mkdir "$work/t" && cd "$work/t" && eval "$1" >/dev/null && before=$(snap) || exit 1
  eval "set -- $3"
  $how timeout -k 1 20 "$tool" call --progress Tessik.FileSplit "$@" >"$work/out" 2>"$work/err"
  status=$?
  # shellcheck disable=SC2254 # the expected status/output is a pattern
  case "$status/$(cat "$work/out")" in $expected) eval "$after" && exit 0; esac
  { echo "got $status/$(cat "$work/out"):"; grep -v % "$work/err"; diff <(echo "$before") <(snap); } >&2; exit 1
)
while IFS='|' read -r what setup how steps expected after; do
  check "$what" case_holds "$setup" "$how" "$steps" "$expected" "$after"
done <<'EOF'
a damaged f.2 beside an older output: False, the output as it was|set_of 3; damage f.2||OutputFile=f Join|1/False|names "f.2 does not match" && same
SIGINT mid-split: exit 130, nothing left|data f|signal INT|InputFile=f SubFilesNumber=3 Split|130/|names "error 18: User interrupt occurred" && same
SIGHUP mid-split: exit 129, nothing left|data f|signal HUP|InputFile=f SubFilesNumber=3 Split|129/|names "error 18: User interrupt occurred" && same
SIGTERM mid-join: exit 143, the older output as it was|set_of 3|signal TERM|OutputFile=f Join|143/|names "error 18: User interrupt occurred" && same
f.3 held by another program: False, the older output as it was|set_of 3|flock f.3|OutputFile=f Join|1/False|names f.3 && same
SIGKILL mid-join: the older output as it was; the next join clears what is left|set_of 3|signal KILL|OutputFile=f Join|137/|same '\./\.tessik-' && call OutputFile=f Join >/dev/null && cmp -s f whole && ! left_over
rotated logs where an older set was: refused, each log as it was|data app.log; call InputFile=app.log SubFilesNumber=5 Split; rm app.log.?; for n in 1 2 3 4 5; do echo log >app.log.$n; done||InputFile=app.log SubFilesNumber=2 Split|1/False|names app.log.1 && same
f.sha256 a folder: refused, the older set as it was|set_of 3; data f; rm f.sha256; mkdir f.sha256||InputFile=f SubFilesNumber=3 Split|1/False|same
f.sha256 a dangling link: refused, the older set as it was|set_of 3; data f; ln -sf nowhere f.sha256||InputFile=f SubFilesNumber=3 Split|1/False|same
f.2 a link to the older f.2: refused, the older set as it was|set_of 3; data f; mv f.2 real.2; ln -s real.2 f.2||InputFile=f SubFilesNumber=3 Split|1/False|same
an older f.2 held with lockf: refused, the older set as it was|set_of 3; data f|lockf f.2|InputFile=f SubFilesNumber=3 Split|1/False|names "f.2 is in use by another program" && same
f.4, f.5 of a set without checksums beside a split in 3 without: refused, naming f.4|set_of 5 Checksums=False; rm f.[123]; data f||Checksums=False InputFile=f SubFilesNumber=3 Split|1/False|names "f.4 is in the way" && same
a FIFO as the last f.3 of a set without a checksum file: the join fails|set_of 3 Checksums=False; rm f.3; mkfifo f.3||OutputFile=f Join|1/False|names "f.3 is not a regular file" && same
a dangling link as f.2 of a set without a checksum file: the join fails|set_of 3 Checksums=False; ln -sf nowhere f.2||OutputFile=f Join|[12]/*|same
a hole at f.2, f.3 there, no checksum file: refused, naming both|set_of 3 Checksums=False; rm f.2||OutputFile=f Join|1/False|names "f.2 is missing; f.3 exists" && same
a hole at f.2, f.9 there, no checksum file: refused, naming both|set_of 3 Checksums=False; rm f.2 f.3; echo z >f.9||OutputFile=f Join|1/False|names "f.2 is missing; f.9 exists" && same
a set without a checksum file that ends at f.2: joined|set_of 3 Checksums=False; rm f.3||OutputFile=f Join|0/True|cat f.1 f.2 | cmp -s - f
a missing input to SplitFiles: error 53, nothing made|||'SplitFiles(missing.bin,1000)'|2/|names "error 53: " && same
an input of mode 0444 splits exactly|data f; chmod 0444 f||InputFile=f SubFilesNumber=3 Split|0/True|pieces_hold && sha256sum --quiet -c f.sha256
fragments of mode 0444 join exactly|set_of 3; rm f; chmod 0444 f.*||OutputFile=f Join|0/True|cmp -s f whole
a split into d: the input's folder as it was, d's set joins and checks exactly|data f; mkdir d||InputFile=f SetFolder=d SubFilesNumber=3 Split|0/True|same '\./d' && ! (cd d && left_over) && call OutputFile=d/f Join >/dev/null && cmp -s d/f whole && (cd d && sha256sum --quiet -c f.sha256)
a set in d split again into d in 2: the older d/f.3 gone|data f; mkdir d; call InputFile=f SetFolder=d SubFilesNumber=3 Split||InputFile=f SetFolder=d SubFilesNumber=2 Split|0/True|same '\./d' && [ ! -e d/f.3 ] && cat d/f.[12] | cmp -s - whole
files at d/f.1, d/f.2 of no set: refused, each as it was|data f; mkdir d; echo a >d/f.1; echo b >d/f.2||InputFile=f SetFolder=d SubFilesNumber=2 Split|1/False|names f.1 && same
the input linked in as d/f.2: refused|data f; mkdir d; ln f d/f.2||InputFile=f SetFolder=d SubFilesNumber=3 Split|1/False|names "f.2 is the input file itself" && same
a missing SetFolder: error 76, nothing written|data f||InputFile=f SetFolder=d SubFilesNumber=3 Split|2/|names "error 76: Path not found" && same
a SetFolder that is a file: refused, nothing written|data f; echo x >d||InputFile=f SetFolder=d SubFilesNumber=3 Split|1/False|names "d is not a folder" && same
a set made and joined under umask 0222 joins exactly|data f && umask 0222 && call InputFile=f SubFilesNumber=3 Split && rm f||OutputFile=f Join|0/True|cmp -s f whole
Verify of a whole set: True, an empty report, nothing written|set_of 3||OutputFile=f Verify VerifyReport|0/True|same
Verify of f.2 missing and f.3 damaged: False, nothing written|set_of 3; rm f.2; damage f.3||OutputFile=f Verify VerifyReport|1/False|same
EOF

# The file a set member rebuilds: n.1 is a file, d.1 a folder, m.1 nothing.
mkdir -p "$work/names/d.1" && touch "$work/names/n.1"
for row in "m.1 m" "m.7 m.7" "n.7 n" "d.7 d.7" "m.sha256 m" "m m" "/dados/copias.1/filme.avi.1 /dados/copias.1/filme.avi"; do
  read -r name expected <<<"$row"
  check "SetNameOf($name) is $expected" test "$(cd "$work/names" && call "SetNameOf($name)")" = "$expected"
done

check "gets print values; names in any case, identifiers in any form" test \
  "$(run call tessik.filesplit '#0x68030002=a,b' inputfile '#1745027072' '#0x68030000=7' SUBFILESNUMBER) $(tr '\n' ' ' <"$work/out")" = "0 a,b 2 7 "
truncate -s 3G "$work/3g"  # 32767 parts would cut it into 32767 fragments, one past a set
check "LargestSubFilesNumber of a 3 GiB input and of a small one" test \
  "$(said "InputFile=$work/3g" LargestSubFilesNumber "InputFile=$work/original" LargestSubFilesNumber)" = "0|32766/32767/|"

# Quoting: a quote counts only around a whole argument, "" in it standing for
# one; a put's value is taken as written. Names reach the files exactly; any
# other quote stops the call before its first step runs.
name='say "hi", (now)'
quoted=${name//\"/\"\"}
cp "$work/original" "$work/$name"
check "a quoted name with quotes, a comma and parentheses splits into fragments of that very name" eval '
  [ "$(run call Tessik.FileSplit "SplitFiles(\"$work/$quoted\",1000000)")" = 0 ] && [ -e "$work/$name.3" ] && [ ! -e "$work/$name.4" ]'
rm "$work/$name"
check "and joins exactly" eval '[ "$(run call Tessik.FileSplit "JoinFiles(\"$work/$quoted\")")" = 0 ] &&
  cmp -s "$work/$name" "$work/original"'
check "a put's value keeps its quotes" test "$(said 'InputFile="a,""b"' InputFile)" = '0|"a,""b"/|'
for list in "$work/a\"b" "\"$work/a\"b" "\"$work/a" " \"$work/a\"" "\"$work/a\" "; do
  check "malformed quoting ($list) exits 3 before anything ran" eval '[ "$(run call Tessik.FileSplit \
    "InputFile=$work/original" SubFilesNumber=2 Split "JoinFiles($list)")" = 3 ] && [ ! -e "$work/original.1" ]'
done

# With a display the About box shows, and stays until closed: SIGTERM closes
# it and the call ends as interrupted. Other steps keep their boxes off it.
check "with a display the about box shows until SIGTERM ends the call" eval '[ "$(DISPLAY=:0 QT_QPA_PLATFORM=offscreen \
  timeout --preserve-status 2 "$tool" call Tessik.FileSplit ShowAboutBox 2>"$work/err"; echo $?)" = 143 ] &&
  [ "$(tail -1 "$work/err")" = "error 18: User interrupt occurred" ]'
check "with a display, a component's box still goes to standard error" test "$(DISPLAY=:0 \
  QT_QPA_PLATFORM=offscreen timeout 5 "$tool" call Tessik.FileSplit "OutputFile=$work/none" Join 2>&1 >/dev/null |
  head -1)" = "Tessik: Error joining files!"
for usage in "" "call" "call Tessik.FileSplit" "list extra" "frobnicate" "call Tessik.FileSplit Join(1" \
  "call Tessik.FileSplit InputFile=$work/none Split #zz"; do
  # shellcheck disable=SC2086
  check "bad usage '$usage'" test "$(run $usage)" = 3
done

check "--help prints the usage and the quoting rules" eval '[ "$(run --help)" = 0 ] && [ ! -s "$work/err" ] &&
  grep -qF "JoinFiles(\"a\"\"b\")" "$work/out"'
check "--version prints the version" eval '[ "$(run --version)" = 0 ] && grep -qxE "component [0-9]+\.[0-9]+\.[0-9]+" "$work/out"'
check "after --, --help is no option; -- before a command and a call's class" eval '[ "$(run -- --help)" = 3 ] &&
  [ ! -s "$work/out" ] && [ "$(run -- call -- Tessik.FileSplit Checksums)" = 0 ]'

check "unregister leaves the other class and nothing of Tessik's" eval '[ "$(run unregister "$module")" = 0 ] &&
  [ "$(grep -c "^\[" "$COMPONENT_REGISTRY") $(run list >/dev/null; cut -f1,3 "$work/out")" = "3 Other.Thing	" ]'
check "creating it now fails with 429" test "$(run call Tessik.FileSplit Join) $(head -c 9 "$work/err")" = "2 error 429"
cp "$module" "$work/moved.so" && run register "$work/moved.so" >/dev/null && rm "$work/moved.so"
check "a registered module that is gone exits 2, saying it does not load" eval '
  [ "$(run call Tessik.FileSplit Join)" = 2 ] && grep -q "^error 429: .*does not load" "$work/err"'
printf '[CLSID]\n"broken\n' >"$COMPONENT_REGISTRY"
check "a damaged registry exits 2, naming the file and the line" eval '[ "$(run list)" = 2 ] &&
  grep -qF "$COMPONENT_REGISTRY" "$work/err" && grep -qF "at line 2" "$work/err"'
check "and is not written over" eval '[ "$(run register "$module")" = 2 ] && [ "$(cat "$COMPONENT_REGISTRY")" = "$(printf "[CLSID]\n\"broken")" ]'
rm "$COMPONENT_REGISTRY"
check "a module that is no component" test "$(run register /bin/true)" = 2

# The registry file: made with its folders for the user only, with nothing
# left beside it; a write cut short (here by the file size limit) leaves it
# as it was; a file where a folder should be is error 76, a folder where
# the file should be 75.
made=$work/made/here
check "register makes the registry and its folders for the user only" eval '
  [ "$(COMPONENT_REGISTRY=$made/registry.reg run register "$module")" = 0 ] &&
  [ "$(stat -c %a "$work/made" "$made" "$made/registry.reg" | tr "\n" " ")" = "700 700 644 " ] &&
  [ "$(ls -A "$made" | tr "\n" " ")" = "registry.reg registry.reg.lock " ]'
cp "$made/registry.reg" "$work/kept.reg"
check "a failed write: error 61, the registry as it was, nothing beside it" eval '[ "$( (ulimit -f 1
  COMPONENT_REGISTRY=$made/registry.reg run register "$module") ) $(cut -d: -f1 "$work/err")" = "2 error 61" ] &&
  cmp -s "$made/registry.reg" "$work/kept.reg" && [ "$(ls -A "$made" | tr "\n" " ")" = "registry.reg registry.reg.lock " ]'
: >"$work/plain" && mkdir "$work/folder.reg"
for row in "plain/registry.reg 76" "folder.reg 75"; do
  read -r at number <<<"$row"
  check "register with the registry at $at: error $number" test \
    "$(COMPONENT_REGISTRY=$work/$at run register "$module") $(cut -d: -f1 "$work/err")" = "2 error $number"
done

# Layers: the user's file first, then each $XDG_DATA_DIRS folder's drop-ins
# in order, relative entries passed over; a class found earlier hides a
# later one. A relative module path is resolved in its drop-in's folder and
# must stay in its prefix. Nothing that others than root and the user could
# have changed is loaded: not the module, a folder above it, a link on the way.
drop_ins=share/components/registry.d
umask 022 && mkdir -p "$work/one/$drop_ins" "$work/two/$drop_ins" "$work/f" "$work/open" "$work/sticky"
touch "$work/f/group.so" "$work/f/ok.so" "$work/open/any.so" "$work/sticky/theirs.so"
ln -s ../f/ok.so "$work/open/link.so"
chmod 664 "$work/f/group.so" && chmod 777 "$work/open" && chmod 1777 "$work/sticky"
# Giving a file away needs root: that row is left out for others.
sticky=$([ "$(id -u)" = 0 ] && chown 65534 "$work/sticky/theirs.so" && echo "T.Sticky	$work/sticky/theirs.so	refused: $work/sticky/theirs.so belongs to another user")
{
  registration T.User 11 /opt/user.so
  registration T.Ok 14 "$work/f/ok.so"
  registration T.Group 15 "$work/f/group.so"
  registration T.Open 16 "$work/open/any.so"
  registration T.Link 17 "$work/open/link.so"
  [ -z "$sticky" ] || registration T.Sticky 18 "$work/sticky/theirs.so"
} >"$COMPONENT_REGISTRY"
{ registration T.User 11 /opt/hidden.so; registration T.First 12 ../../../lib/first.so; } >"$work/one/$drop_ins/b.reg"
{ registration T.First 12 /opt/later.so; registration T.Second 13 ../../../../out.so; } >"$work/two/$drop_ins/c.reg"
export XDG_DATA_DIRS=$work/one/share:relative:$work/two/share/
run list >/dev/null
check "layers in their order, modules others could have changed and paths leaving their prefix refused" \
  test "$(cut -f1,3,5 "$work/out")" = "T.User	/opt/user.so
T.Ok	$work/f/ok.so
T.Group	$work/f/group.so	refused: $work/f/group.so may be written by other users
T.Open	$work/open/any.so	refused: $work/open may be written by other users
T.Link	$work/open/link.so	refused: $work/open may be written by other users
${sticky:+$sticky
}T.First	$work/one/lib/first.so
T.Second	$work/out.so	refused: the module path ../../../../out.so leaves $work/two"
check "and not created" test "$(run call T.Second Join) $(head -c 9 "$work/err")" = "2 error 429"

report
